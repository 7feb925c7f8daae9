#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

/** Thrown by value when the sample memory of a new pool can't be had. Carries no message. */
class VokMemoryException
{
};

/**
    The sample pool of an impulse file: channels of equal length holding 32-bit float
    samples, together with their sample rate.

    A pool holds at most maxChannels channels (channel indices 0 to 31).
*/
class VOK_VokSampleBuffer : public juce::AudioBuffer<float>
{
public:
    static constexpr int maxChannels = 32;

    /** Creates a pool; the samples are not initialised.
        @throws VokMemoryException if a non-empty pool can't get its sample memory.
    */
    VOK_VokSampleBuffer (int numChannels, int numSamples, double sampleRate);

    double sampleRate = 0.0;

private:
    JUCE_LEAK_DETECTOR (VOK_VokSampleBuffer)
};
