#pragma once

#include <juce_core/juce_core.h>

/**
    The order of preset names: characters at the start of a name that are neither
    letters nor digits don't count ("-Bright" files under B), and the rest compares
    ignoring case.

    Usable with juce::Array and juce::StringArray sorting through compareElements.
*/
struct PresetNameOrder
{
    /** Negative when first goes before second, 0 when they are equal in this order. */
    static int compare (const juce::String& first, const juce::String& second);

    /** Letters and digits of any script count; only ASCII case is folded when comparing. */
    static bool isLetterOrDigit (juce::juce_wchar character) noexcept;

    int compareElements (const juce::String& first, const juce::String& second) const
    {
        return compare (first, second);
    }
};
