#include <safeio/Utf8Text.h>

#include <cstring>
#include <vector>

namespace
{
    /** The length of the well-formed UTF-8 sequence starting at text[i], or 0 if it is not one. */
    size_t getSequenceLength (const juce::uint8* text, size_t i, size_t numBytes) noexcept
    {
        const auto lead = text[i];
        const size_t length = lead < 0x80 ? 1 : lead < 0xc2 ? 0 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : lead < 0xf5 ? 4 : 0;

        if (length == 0 || i + length > numBytes)
            return 0;

        for (size_t k = 1; k < length; ++k)
            if ((text[i + k] & 0xc0) != 0x80)
                return 0;

        if (length < 3)
            return length;

        // Overlong forms, UTF-16 surrogates and values past U+10FFFF are not characters.
        const auto second = text[i + 1];

        if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second >= 0xa0)
             || (lead == 0xf0 && second < 0x90) || (lead == 0xf4 && second >= 0x90))
            return 0;

        return length;
    }

    juce::juce_wchar decodeSequence (const juce::uint8* sequence, size_t length) noexcept
    {
        if (length == 1)
            return sequence[0];

        auto c = (juce::juce_wchar) (sequence[0] & (0x7f >> length));

        for (size_t k = 1; k < length; ++k)
            c = (c << 6) | (juce::juce_wchar) (sequence[k] & 0x3f);

        return c;
    }
}

juce::String Utf8Text::toString (const char* text, size_t numBytes)
{
    const auto* bytes = reinterpret_cast<const juce::uint8*> (text);
    size_t i = 0;

    // Picture texts are long and plain ASCII: pass over those eight bytes at a time.
    for (juce::uint64 word; i + 8 <= numBytes; i += 8)
    {
        std::memcpy (&word, bytes + i, sizeof (word));

        if ((word & 0x8080808080808080ull) != 0)
            break;
    }

    while (i < numBytes)
    {
        const auto length = getSequenceLength (bytes, i, numBytes);

        if (length == 0)
            break;

        i += length;
    }

    // Well-formed text is taken over as it is, in one copy: constructing a String from a range
    // would decode and encode it again character by character, and picture texts are long.
    if (i == numBytes)
    {
        juce::String wellFormed;
        wellFormed.appendCharPointer (juce::CharPointer_UTF8 (text), juce::CharPointer_UTF8 (text + numBytes));
        return wellFormed;
    }

    // JUCE keeps UTF-8 bytes as they come and later steps over multi-byte sequences without
    // checking them, so malformed text must never reach a String. A byte that starts no
    // well-formed sequence stands for the character of its own value.
    std::vector<juce::juce_wchar> characters;
    characters.reserve (numBytes + 1);

    for (i = 0; i < numBytes;)
    {
        const auto length = getSequenceLength (bytes, i, numBytes);
        characters.push_back (length == 0 ? (juce::juce_wchar) bytes[i] : decodeSequence (bytes + i, length));
        i += juce::jmax ((size_t) 1, length);
    }

    characters.push_back (0);
    return juce::String (juce::CharPointer_UTF32 (reinterpret_cast<juce::CharPointer_UTF32::CharType*> (characters.data())));
}

bool Utf8Text::isWellFormed (const char* text, size_t numBytes) noexcept
{
    const auto* bytes = reinterpret_cast<const juce::uint8*> (text);

    for (size_t i = 0; i < numBytes;)
    {
        const auto length = getSequenceLength (bytes, i, numBytes);

        if (length == 0)
            return false;

        i += length;
    }

    return true;
}
