/** @file
    VOK_VokSampleBuffer, the sample pool of an impulse file, and VokMemoryException.
*/
#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <memory>
#include <vector>

/** Thrown by value when the sample memory of a new pool can't be had. Carries no message. */
class VokMemoryException
{
};

/**
    The sample pool of an impulse file: channels of equal length holding 32-bit float
    samples, together with their sample rate.

    A pool holds at most maxChannels channels (channel indices 0 to 31).

    A pool that grows while a file is read keeps each channel in a block of its own, so
    that widening it never copies the channels it already has and lengthening it can
    extend each channel in place; the base buffer then refers to those blocks.
*/
class VOK_VokSampleBuffer : public juce::AudioBuffer<float>
{
public:
    /** The most channels a pool holds (channel indices 0 to 31). */
    static constexpr int maxChannels = 32;

    /** Creates a pool; the samples are not initialised.
        @throws VokMemoryException if a non-empty pool can't get its sample memory, or if
                the channel count is outside 0 to maxChannels or the length is negative.
    */
    VOK_VokSampleBuffer (int numChannels, int numSamples, double sampleRate);

    /** Copies the samples into memory of the copy's own. */
    VOK_VokSampleBuffer (const VOK_VokSampleBuffer& other);

    /** Takes the other pool's shape, samples and sample rate, the samples copied into memory
        of this pool's own.
    */
    VOK_VokSampleBuffer& operator= (const VOK_VokSampleBuffer& other);

    ~VOK_VokSampleBuffer();

    /** Widens the pool to at least minNumChannels channels and lengthens it to at least
        minNumSamples samples, keeping every sample and zeroing the new space; never shrinks.
        Returns false, with the pool's shape and samples unchanged, when the request is
        beyond maxChannels or the memory can't be had.
    */
    bool growTo (int minNumChannels, int minNumSamples) noexcept;

    /** Like growTo, for a caller that overwrites samples 0 to numSamplesToFill - 1 of
        channelToFill right away: that range of new space is left unzeroed.
    */
    bool growToFill (int minNumChannels, int minNumSamples, int channelToFill, int numSamplesToFill) noexcept;

    /** The samples' rate in Hz. */
    double sampleRate = 0.0;

private:
    struct FreeDeleter  { void operator() (float* block) const noexcept { std::free (block); } };
    using ChannelBlock = std::unique_ptr<float, FreeDeleter>;

    std::vector<ChannelBlock> channelBlocks;

    bool refersToChannelBlocks() const noexcept;
    struct FillRange  { int channel = -1, numSamples = 0; };

    bool takeOverSamples (int newNumChannels, int newNumSamples) noexcept;
    bool extendChannelBlocks (int newNumChannels, int newNumSamples, FillRange toFill) noexcept;
    void referToChannelBlocks (int numChannelsToUse, int numSamplesToUse) noexcept;

    JUCE_LEAK_DETECTOR (VOK_VokSampleBuffer)
};
