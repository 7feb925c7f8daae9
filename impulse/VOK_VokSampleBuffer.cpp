#include "VOK_VokSampleBuffer.h"

VOK_VokSampleBuffer::VOK_VokSampleBuffer (int numChannels, int numSamples, double rate)
    : juce::AudioBuffer<float> (numChannels, numSamples)
{
    if (numChannels > 0 && numSamples > 0 && getWritePointer (0) == nullptr)
        throw VokMemoryException();

    sampleRate = rate;
}
