#pragma once

#include <juce_core/juce_core.h>

/**
    The primitive fields of an impulse file: string fields (UTF-8 text ended by one
    zero byte), decimal fields and the 4-byte samples, plain or scrambled.

    Everything here works in bulk on memory or in chunks on streams, because a file
    holds millions of samples and its picture text can be hundreds of kilobytes long.
*/
class ImpulseFileFields
{
public:
    /** XORed onto the little-endian bit pattern of every sample of a scrambled file. */
    static constexpr juce::uint32 scramblingKey = 0x5A17C3E6;

    /** Reads a string field: the text up to the first zero byte or the end of the stream,
        leaving the stream just past that zero byte.
    */
    static juce::String readString (juce::InputStream& input);

    /** Reads a string field from memory at offset and moves offset past its zero byte
        (or to the end when the text has none).
    */
    static juce::String readString (const juce::MemoryBlock& data, size_t& offset);

    /** The number of bytes a string field of this text takes, its zero byte included. */
    static size_t getStringFieldSize (const juce::String& text);

    /** Copies a string field into memory at offset and moves offset past it. */
    static void writeString (juce::MemoryBlock& data, size_t& offset, const juce::String& text);

    /** True when the text holds nothing but the digits 0 to 9 (the empty text passes). */
    static bool isDecimalText (const juce::String& text);

    /** The integer the text stands for, read as the framework reads integers (leading white
        space, an optional sign, then digits up to the first other character), but without
        wrapping: values beyond 32 bits come out as +/- (2^40), which every range check rejects.
    */
    static juce::int64 parseInteger (const juce::String& text);

    /** Converts numSamples stored samples into floats; source and dest may be the same memory. */
    static void decodeSamples (const void* source, float* dest, int numSamples, bool scrambled) noexcept;

    /** Converts numSamples floats into their stored form. */
    static void encodeSamples (const float* source, void* dest, int numSamples, bool scrambled) noexcept;
};
