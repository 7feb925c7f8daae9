// Building an impulse from an ordinary audio file; part of VOK_ImpulseFile.

#include <impulse/VOK_ImpulseFile.h>
#include <impulse/CheckedAudioReader.h>
#include <impulse/NewImpulseHeader.h>

#include <algorithm>
#include <cmath>

#include <juce_audio_formats/juce_audio_formats.h>

namespace
{
    // The allocation of a pool is refused before it is tried when it would take more than
    // half of the machine's memory: with overcommit the allocation itself would "succeed"
    // and the process be killed later while the samples are filled in.
    bool canAllocateSafely (int numChannels, int numSamples)
    {
        const auto bytesNeeded = (juce::uint64) numChannels * (juce::uint64) numSamples * sizeof (float);
        const auto memoryBytes = (juce::uint64) juce::SystemStats::getMemorySizeInMegabytes() * 1024 * 1024;

        return memoryBytes == 0 || bytesNeeded <= memoryBytes / 2;
    }

    std::unique_ptr<VOK_VokSampleBuffer> createPool (int numChannels, int numSamples, double sampleRate)
    {
        if (! canAllocateSafely (numChannels, numSamples))
            throw VokMemoryException();

        return std::make_unique<VOK_VokSampleBuffer> (numChannels, numSamples, sampleRate);
    }

    bool holdsOnlyFiniteSamples (const VOK_VokSampleBuffer& pool)
    {
        for (int channel = 0; channel < pool.getNumChannels(); ++channel)
        {
            const auto* samples = pool.getReadPointer (channel);

            if (! std::all_of (samples, samples + pool.getNumSamples(), [] (float s) { return std::isfinite (s); }))
                return false;
        }

        return true;
    }

    std::unique_ptr<VOK_VokSampleBuffer> failWith (juce::String* failure, const juce::String& reason)
    {
        if (failure != nullptr)
            *failure = reason;

        return nullptr;
    }
}

//==============================================================================
std::unique_ptr<VOK_VokSampleBuffer> loadAudioFile (const juce::String& path, juce::String* failure)
{
    const CheckedAudioReader audio ((juce::File (path)));
    auto* reader = audio.getReader();

    if (reader == nullptr)
        return audio.getFailure().isNotEmpty() ? failWith (failure, audio.getFailure()) : nullptr;

    const auto numChannels = audio.getNumChannels();

    // Channel indices of the format end at 31.
    if (numChannels <= 0 || numChannels > VOK_VokSampleBuffer::maxChannels)
        return failWith (failure, "Audio file with " + juce::String (numChannels) + " channels: an impulse has 1 to "
                                    + juce::String (VOK_VokSampleBuffer::maxChannels));

    // Only frames the file really holds are allocated, never what its header claims.
    const auto numFrames = audio.countFrames();

    if (numFrames <= 0)
        return nullptr;

    if (numFrames > maxImpulseFrames)
        return failWith (failure, "Audio file of " + juce::String (numFrames) + " frames: an impulse can be at most "
                                    + juce::String (maxImpulseFrames) + " frames long");

    auto pool = createPool (numChannels, (int) numFrames, reader->sampleRate);

    // Reading into the whole buffer fills every channel of the file, not only the first two.
    if (! reader->read (pool.get(), 0, (int) numFrames, 0, true, true))
        return nullptr;

    // Such samples would make every later calculation on the impulse meaningless.
    if (! holdsOnlyFiniteSamples (*pool))
        return failWith (failure, "Audio file holds samples that are not finite numbers (NaN or infinity)");

    return pool;
}

bool VOK_ImpulseFile::createFromAudioFile (const juce::String& path)
{
    const juce::ScopedLock sl (lock);
    reader.setLastError ({});

    const juce::File file (path);

    if (! file.exists())
    {
        reader.setLastError ("File not found: " + file.getFullPathName());
        return false;
    }

    model.setSamplePool (nullptr);

    juce::String failure;
    auto pool = loadAudioFile (path, &failure);
    reader.setLastError (failure);

    if (pool == nullptr)
        return false;

    model.setHeader (NewImpulseHeader::create (*pool, path));
    model.setSamplePool (std::move (pool));
    model.formatState = builtFromAudio;
    return true;
}
