#include "PresetNameOrder.h"

namespace
{
    juce::String::CharPointerType skipLeadingNonAlphanumerics (juce::String::CharPointerType text)
    {
        while (! text.isEmpty() && ! PresetNameOrder::isLetterOrDigit (*text))
            ++text;

        return text;
    }

    bool isPunctuationOrSymbolAboveAscii (juce::juce_wchar character) noexcept
    {
        return (character >= 0x80 && character <= 0xbf)        // Latin-1 controls, punctuation and signs
            || character == 0xd7 || character == 0xf7          // multiplication and division signs
            || (character >= 0x2000 && character <= 0x206f)    // general punctuation: dashes, quotes, spaces
            || (character >= 0x3000 && character <= 0x303f);   // CJK punctuation
    }
}

bool PresetNameOrder::isLetterOrDigit (juce::juce_wchar character) noexcept
{
    // The C library classifies nothing beyond ASCII in the "C" locale that a program
    // starts in, so names like "Ébène" would lose their first letter. Above ASCII only
    // the punctuation blocks are treated as skippable.
    if (character < 0x80)
        return juce::CharacterFunctions::isLetterOrDigit (static_cast<char> (character));

    return ! isPunctuationOrSymbolAboveAscii (character);
}

int PresetNameOrder::compare (const juce::String& first, const juce::String& second)
{
    const auto firstText  = skipLeadingNonAlphanumerics (first.getCharPointer());
    const auto secondText = skipLeadingNonAlphanumerics (second.getCharPointer());

    return firstText.compareIgnoreCase (secondText);
}
