/** @file
    Utf8Text: UTF-8 bytes checked before they become text.
*/
#pragma once

#include <juce_core/juce_core.h>

/**
    UTF-8 bytes from a file, a folder name or a settings file, checked before they become text.

    JUCE keeps UTF-8 bytes as they come and later steps over multi-byte sequences without
    checking them, so bytes that no one vouches for pass through here first.
*/
class Utf8Text
{
public:
    /** Text from UTF-8 bytes (no zero among them). Malformed sequences are taken byte by byte,
        each byte as the character of its value, so the result is always well-formed.
    */
    static juce::String toString (const char* text, size_t numBytes);

    /** True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past
        U+10FFFF); a zero byte counts as well-formed here.
    */
    static bool isWellFormed (const char* text, size_t numBytes) noexcept;
};
