#include <impulse/CheckedAudioReader.h>
#include "AudioChunkCheck.h"
#include "AudioFrameCounter.h"

CheckedAudioReader::CheckedAudioReader (const juce::File& file)
    : opened (file, RegularFileInput::Links::followedIfTrusted)
{
    if (! opened.openedOk())
    {
        failure = opened.getFailure().isNotEmpty() ? opened.getFailure() : "Can't read " + file.getFullPathName();
        return;
    }

    chunks = std::make_unique<AudioChunkCheck> (opened);

    if (chunks->getProblem().isNotEmpty())
    {
        failure = chunks->getProblem();
        return;
    }

    createReader (file);

    // The framework's readers take any sample size a header states, and loop for ever on
    // frames too wide for their buffers; no real file has other sizes than these.
    if (reader != nullptr && reader->bitsPerSample != 8 && reader->bitsPerSample != 16
         && reader->bitsPerSample != 24 && reader->bitsPerSample != 32)
    {
        failure = "Audio file with " + juce::String (reader->bitsPerSample)
                    + "-bit samples: only 8, 16, 24 and 32 bits are read";
        reader.reset();
    }
}

CheckedAudioReader::~CheckedAudioReader() = default;

// As the framework's manager picks a reader for a file (by its extension), but reading the
// input the chunk check made for the readers.
void CheckedAudioReader::createReader (const juce::File& file)
{
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();

    for (int i = 0; i < formats.getNumKnownFormats(); ++i)
    {
        auto* format = formats.getKnownFormat (i);

        if (! format->canHandleFile (file))
            continue;

        if (auto input = chunks->createInputForReaders())
        {
            if (auto* created = format->createReaderFor (input.release(), true))
            {
                reader.reset (created);
                return;
            }
        }
    }
}

int CheckedAudioReader::getNumChannels() const noexcept
{
    // Every format read here stores the channel count in 16 bits at most.
    return reader != nullptr ? (int) (reader->numChannels & 0xffff) : 0;
}

juce::int64 CheckedAudioReader::countFrames() const
{
    return reader != nullptr ? AudioFrameCounter::countFrames (opened, *reader) : 0;
}
