#include "AudioFrameCounter.h"

#include <FLAC/stream_decoder.h>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <memory>

juce::int64 AudioFrameCounter::countFrames (const juce::File& file, juce::AudioFormatReader& reader)
{
    const auto format = reader.getFormatName();

    if (format.containsIgnoreCase ("FLAC"))
        return countFlacFrames (file, reader.lengthInSamples);

    if (format.containsIgnoreCase ("Ogg"))
        return countVorbisFrames (file, reader.lengthInSamples);

    return countUncompressedFrames (reader);
}

// Reading the first frame leaves the stream just past it, which shows where the samples start;
// every byte from there to the end of the file can hold samples, and no more.
juce::int64 AudioFrameCounter::countUncompressedFrames (juce::AudioFormatReader& reader)
{
    const auto bytesPerFrame = (juce::int64) reader.numChannels * (juce::int64) reader.bitsPerSample / 8;

    if (reader.lengthInSamples <= 0 || bytesPerFrame <= 0 || reader.input == nullptr)
        return juce::jmax ((juce::int64) 0, reader.lengthInSamples);

    juce::AudioBuffer<float> oneFrame ((int) reader.numChannels, 1);
    reader.read (&oneFrame, 0, 1, 0, true, true);

    const auto totalBytes = reader.input->getTotalLength();

    if (totalBytes < 0)
        return reader.lengthInSamples;

    // When the first frame could not be read, the whole file is the most it can hold.
    const auto dataStart = juce::jmax ((juce::int64) 0, reader.input->getPosition() - bytesPerFrame);
    return juce::jlimit ((juce::int64) 0, reader.lengthInSamples, (totalBytes - dataStart) / bytesPerFrame);
}

namespace
{
    struct FlacCount
    {
        juce::int64 frames = 0;
        juce::int64 atMost = 0;
    };

    FLAC__StreamDecoderWriteStatus countFlacBlock (const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                   const FLAC__int32* const[], void* clientData)
    {
        auto& count = *static_cast<FlacCount*> (clientData);
        count.frames += frame->header.blocksize;

        return count.frames < count.atMost ? FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE
                                           : FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }

    void ignoreFlacError (const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

    struct FlacDecoderDeleter
    {
        void operator() (FLAC__StreamDecoder* decoder) const noexcept  { FLAC__stream_decoder_delete (decoder); }
    };
}

juce::int64 AudioFrameCounter::countFlacFrames (const juce::File& file, juce::int64 atMost)
{
    std::unique_ptr<FLAC__StreamDecoder, FlacDecoderDeleter> decoder (FLAC__stream_decoder_new());

    if (decoder == nullptr || atMost <= 0)
        return 0;

    FlacCount count { 0, atMost };

    if (FLAC__stream_decoder_init_file (decoder.get(), file.getFullPathName().toRawUTF8(), countFlacBlock,
                                        nullptr, ignoreFlacError, &count) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
        return 0;

    FLAC__stream_decoder_process_until_end_of_stream (decoder.get());
    FLAC__stream_decoder_finish (decoder.get());
    return juce::jmin (count.frames, atMost);
}

juce::int64 AudioFrameCounter::countVorbisFrames (const juce::File& file, juce::int64 atMost)
{
    OggVorbis_File vorbis;

    if (atMost <= 0 || ov_fopen (file.getFullPathName().toRawUTF8(), &vorbis) != 0)
        return 0;

    juce::int64 frames = 0;
    float** pcm = nullptr;
    int section = 0;

    while (frames < atMost)
    {
        const auto decoded = ov_read_float (&vorbis, &pcm, 4096, &section);

        // A hole in the data is passed over; the end or any other fault ends the count.
        if (decoded == OV_HOLE)
            continue;

        if (decoded <= 0)
            break;

        frames += decoded;
    }

    ov_clear (&vorbis);
    return juce::jmin (frames, atMost);
}
