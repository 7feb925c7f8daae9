#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>

/** Audio fixtures written with JUCE's own format writers. */
struct AudioTestFiles
{
    /** Channels that differ from one another: a decaying sine per channel, each its own frequency. */
    static juce::AudioBuffer<float> createSignal (int numChannels, int numFrames, double sampleRate);

    /** Writes the buffer with the format; false when the format refuses the parameters. */
    static bool writeAudioFile (const juce::File& file, juce::AudioFormat& format,
                                const juce::AudioBuffer<float>& samples, double sampleRate, int bitsPerSample);

    /** The file as JUCE's own reader delivers it: what the pool must hold, sample for sample. */
    static std::unique_ptr<juce::AudioBuffer<float>> readWithJuce (const juce::File& file);

    /** A small FLAC file of 8 channels whose stream info claims 2^36 - 1 frames, far more
        than any machine's memory holds as float samples. */
    static bool writeFlacClaimingHugeLength (const juce::File& file);

    /** The huge FLAC needs 64 GB as floats: more than half the memory of machines below 100 GB. */
    static bool canClaimMoreThanMemory();

    /** The offset of the first occurrence of the bytes in the block, or -1. */
    static int findBytes (const juce::MemoryBlock& block, const char* bytes, size_t numBytes);

    /** True when both hold the same channels, lengths and bit patterns. */
    static bool haveSameSamples (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b);
};
