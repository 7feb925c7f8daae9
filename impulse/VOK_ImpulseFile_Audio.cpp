// Building an impulse from an ordinary audio file; part of VOK_ImpulseFile.

#include "VOK_ImpulseFile.h"
#include "VOK_NewImpulseHeader.h"

#include <juce_audio_formats/juce_audio_formats.h>

namespace
{
    // Sample counts are 32-bit signed in the format; longer files are cut to this length.
    constexpr juce::int64 maxAudioFileSamples = 0x7ffffffe;

    bool isCompressedFormat (const juce::AudioFormatManager& formats, const juce::AudioFormatReader& reader)
    {
        for (int i = 0; i < formats.getNumKnownFormats(); ++i)
            if (auto* format = formats.getKnownFormat (i))
                if (format->getFormatName() == reader.getFormatName())
                    return format->isCompressed();

        return true;
    }

    // An uncompressed file can't hold more frames than its bytes allow; a header that
    // claims more (a cut-off recording, or a hostile length) must not make us allocate
    // and write gigabytes of silence.
    juce::int64 getFramesTheFileCanHold (const juce::AudioFormatManager& formats,
                                         const juce::AudioFormatReader& reader,
                                         const juce::File& file)
    {
        const auto bitsPerFrame = (juce::int64) reader.numChannels * (juce::int64) reader.bitsPerSample;

        if (isCompressedFormat (formats, reader) || bitsPerFrame <= 0)
            return reader.lengthInSamples;

        return juce::jmin (reader.lengthInSamples, file.getSize() * 8 / bitsPerFrame);
    }

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
}

//==============================================================================
std::unique_ptr<VOK_VokSampleBuffer> loadAudioFile (const juce::String& path)
{
    const juce::File file (path);

    juce::AudioFormatManager formats;
    formats.registerBasicFormats();

    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (file));

    if (reader == nullptr)
        return nullptr;

    const auto numChannels = (int) reader->numChannels;

    // Channel indices of the format end at 31.
    if (numChannels <= 0 || numChannels > VOK_VokSampleBuffer::maxChannels)
        return nullptr;

    const auto numFrames = getFramesTheFileCanHold (formats, *reader, file);

    if (numFrames <= 0)
        return nullptr;

    const auto numSamples = (int) juce::jmin (numFrames, maxAudioFileSamples);
    auto pool = createPool (numChannels, numSamples, reader->sampleRate);

    // Reading into the whole buffer fills every channel of the file, not only the first two.
    if (! reader->read (pool.get(), 0, numSamples, 0, true, true))
        return nullptr;

    return pool;
}

bool VOK_ImpulseFile::createFromAudioFile (const juce::String& path)
{
    const juce::ScopedLock sl (lock);
    lastError = {};

    const juce::File file (path);

    if (! file.exists())
    {
        lastError = "File not found: " + file.getFullPathName();
        return false;
    }

    samplePool.reset();
    samplePool = loadAudioFile (path);

    if (samplePool == nullptr)
        return false;

    header = VOK_NewImpulseHeader::create (*samplePool, path);
    formatState = builtFromAudio;
    return true;
}
