#pragma once

#include <juce_core/juce_core.h>

/**
    The pack's licence agreement, shown before anything can be installed.

    It is kept as 8-bit Latin-1 text, the way the plug-in's other documents are kept, and
    converted character by character when it is shown.
*/
class AgreementText
{
public:
    /** The agreement as the framework's Unicode string. */
    static juce::String get();

    /** The stored Latin-1 bytes, without a terminating zero. */
    static juce::MemoryBlock getLatin1Bytes();

    /** Latin-1 maps every byte to the code point of the same value. */
    static juce::String fromLatin1 (const char* bytes, size_t numBytes);
};
