#include <impulse/VOK_VokSampleBuffer.h>

namespace
{
    int checkedChannelCount (int numChannels)
    {
        if (numChannels < 0 || numChannels > VOK_VokSampleBuffer::maxChannels)
            throw VokMemoryException();

        return numChannels;
    }

    int checkedLength (int numSamples)
    {
        if (numSamples < 0)
            throw VokMemoryException();

        return numSamples;
    }

    // A channel block is never empty, so that its pointer is never null.
    size_t getBlockBytes (int numSamples) noexcept
    {
        return (size_t) juce::jmax (1, numSamples) * sizeof (float);
    }

    // A channel starts on a cache line: the system copies a file's samples into it faster
    // than into the 16-byte alignment malloc gives. Freed with free, as every block.
    float* allocateChannelBlock (int numSamples) noexcept
    {
       #if JUCE_WINDOWS
        return static_cast<float*> (std::malloc (getBlockBytes (numSamples)));
       #else
        void* block = nullptr;
        return posix_memalign (&block, 64, getBlockBytes (numSamples)) == 0 ? static_cast<float*> (block) : nullptr;
       #endif
    }
}

// The base class throws std::bad_alloc when its one block of sample memory can't be had;
// callers of the pool know only VokMemoryException.
VOK_VokSampleBuffer::VOK_VokSampleBuffer (int numChannels, int numSamples, double rate)
try : juce::AudioBuffer<float> (checkedChannelCount (numChannels), checkedLength (numSamples))
{
    if (numChannels > 0 && numSamples > 0 && getWritePointer (0) == nullptr)
        throw VokMemoryException();

    sampleRate = rate;
}
catch (const std::bad_alloc&)
{
    throw VokMemoryException();
}

// The framework's copy of a buffer that refers to outside memory would refer to the same
// memory, which dies with the original here.
VOK_VokSampleBuffer::VOK_VokSampleBuffer (const VOK_VokSampleBuffer& other)
    : VOK_VokSampleBuffer (other.getNumChannels(), other.getNumSamples(), other.sampleRate)
{
    for (int c = 0; c < other.getNumChannels(); ++c)
        copyFrom (c, 0, other, c, 0, other.getNumSamples());
}

VOK_VokSampleBuffer& VOK_VokSampleBuffer::operator= (const VOK_VokSampleBuffer& other)
{
    juce::AudioBuffer<float>::operator= (other);
    sampleRate = other.sampleRate;
    return *this;
}

VOK_VokSampleBuffer::~VOK_VokSampleBuffer() = default;

bool VOK_VokSampleBuffer::growTo (int minNumChannels, int minNumSamples) noexcept
{
    return growToFill (minNumChannels, minNumSamples, -1, 0);
}

bool VOK_VokSampleBuffer::growToFill (int minNumChannels, int minNumSamples, int channelToFill, int numSamplesToFill) noexcept
{
    const auto newNumChannels = juce::jmax (minNumChannels, getNumChannels());
    const auto newNumSamples  = juce::jmax (minNumSamples, getNumSamples());

    if (newNumChannels > maxChannels)
        return false;

    if (newNumChannels == getNumChannels() && newNumSamples == getNumSamples())
        return true;

    if (! refersToChannelBlocks() && ! takeOverSamples (getNumChannels(), getNumSamples()))
        return false;

    return extendChannelBlocks (newNumChannels, newNumSamples, { channelToFill, numSamplesToFill });
}

bool VOK_VokSampleBuffer::refersToChannelBlocks() const noexcept
{
    if ((size_t) getNumChannels() > channelBlocks.size())
        return false;

    for (int c = 0; c < getNumChannels(); ++c)
        if (getReadPointer (c) != channelBlocks[(size_t) c].get())
            return false;

    return true;
}

// Moves the samples out of the base buffer's own memory into channel blocks of the new
// shape; on failure the base buffer is left as it was.
bool VOK_VokSampleBuffer::takeOverSamples (int newNumChannels, int newNumSamples) noexcept
{
    std::vector<ChannelBlock> blocks;

    try
    {
        blocks.reserve ((size_t) maxChannels);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }

    for (int c = 0; c < newNumChannels; ++c)
    {
        ChannelBlock block (allocateChannelBlock (newNumSamples));

        if (block == nullptr)
            return false;

        const auto numKept = c < getNumChannels() ? getNumSamples() : 0;

        if (numKept > 0)
            std::memcpy (block.get(), getReadPointer (c), (size_t) numKept * sizeof (float));

        std::fill (block.get() + numKept, block.get() + juce::jmax (1, newNumSamples), 0.0f);

        blocks.push_back (std::move (block));
    }

    channelBlocks = std::move (blocks);
    referToChannelBlocks (newNumChannels, newNumSamples);
    return true;
}

// Lengthens each channel block in place where the allocator can, then adds zeroed channels.
// A failure part way leaves some blocks longer than the pool, which costs nothing: the pool
// keeps its old shape. Zeroing is skipped only where the caller is about to write.
bool VOK_VokSampleBuffer::extendChannelBlocks (int newNumChannels, int newNumSamples, FillRange toFill) noexcept
{
    const auto oldNumChannels = getNumChannels();
    const auto oldNumSamples  = getNumSamples();
    bool succeeded = true;

    if (channelBlocks.capacity() < (size_t) maxChannels)
    {
        try
        {
            channelBlocks.reserve ((size_t) maxChannels);
        }
        catch (const std::bad_alloc&)
        {
            return false;
        }
    }

    channelBlocks.resize ((size_t) oldNumChannels);

    if (newNumSamples > oldNumSamples)
    {
        for (int c = 0; c < oldNumChannels && succeeded; ++c)
        {
            // An empty channel has nothing to keep and starts afresh, on a cache line; one that
            // holds samples is lengthened in place where the allocator can.
            auto& block = channelBlocks[(size_t) c];
            auto* extended = oldNumSamples == 0 ? allocateChannelBlock (newNumSamples)
                                                : static_cast<float*> (std::realloc (block.get(), getBlockBytes (newNumSamples)));

            if (extended == nullptr)
            {
                succeeded = false;
                break;
            }

            if (oldNumSamples != 0)
                block.release();

            block.reset (extended);
            const auto zeroFrom = c == toFill.channel ? juce::jmax (oldNumSamples, toFill.numSamples) : oldNumSamples;
            std::fill (extended + juce::jmin (zeroFrom, newNumSamples), extended + newNumSamples, 0.0f);
        }
    }

    for (int c = oldNumChannels; c < newNumChannels && succeeded; ++c)
    {
        const auto zeroFrom = c == toFill.channel ? juce::jlimit (0, newNumSamples, toFill.numSamples) : 0;
        ChannelBlock block (allocateChannelBlock (newNumSamples));

        if (block == nullptr)
        {
            succeeded = false;
        }
        else
        {
            std::fill (block.get() + zeroFrom, block.get() + newNumSamples, 0.0f);
            channelBlocks.push_back (std::move (block));
        }
    }

    if (! succeeded)
    {
        channelBlocks.resize ((size_t) oldNumChannels);
        referToChannelBlocks (oldNumChannels, oldNumSamples);
        return false;
    }

    referToChannelBlocks (newNumChannels, newNumSamples);
    return true;
}

void VOK_VokSampleBuffer::referToChannelBlocks (int numChannelsToUse, int numSamplesToUse) noexcept
{
    float* pointers[maxChannels + 1] = {};

    for (int c = 0; c < numChannelsToUse; ++c)
        pointers[c] = channelBlocks[(size_t) c].get();

    setDataToReferTo (pointers, numChannelsToUse, numSamplesToUse);
}
