#include "AudioFrameCounter.h"

#include <FLAC/stream_decoder.h>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <memory>

juce::int64 AudioFrameCounter::countFrames (const RegularFileInput& file, juce::AudioFormatReader& reader)
{
    const auto format = reader.getFormatName();
    const bool flac = format.containsIgnoreCase ("FLAC"), vorbis = format.containsIgnoreCase ("Ogg");

    if (! flac && ! vorbis)
        return countUncompressedFrames (reader);

    const auto input = file.openAgain();

    if (input == nullptr)
        return 0;

    return flac ? countFlacFrames (*input, reader.lengthInSamples)
                : countVorbisFrames (*input, reader.lengthInSamples);
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
        juce::InputStream& input;
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

    // The decoder reads the stream it is given, through these.
    FLAC__StreamDecoderReadStatus readFlac (const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes, void* clientData)
    {
        auto& input = static_cast<FlacCount*> (clientData)->input;
        const auto numRead = input.read (buffer, (int) juce::jmin (*bytes, (size_t) (1 << 20)));
        *bytes = (size_t) juce::jmax (0, numRead);
        return numRead > 0 ? FLAC__STREAM_DECODER_READ_STATUS_CONTINUE : FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
    }

    FLAC__StreamDecoderSeekStatus seekFlac (const FLAC__StreamDecoder*, FLAC__uint64 offset, void* clientData)
    {
        auto& input = static_cast<FlacCount*> (clientData)->input;
        return input.setPosition ((juce::int64) offset) ? FLAC__STREAM_DECODER_SEEK_STATUS_OK : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
    }

    FLAC__StreamDecoderTellStatus tellFlac (const FLAC__StreamDecoder*, FLAC__uint64* offset, void* clientData)
    {
        *offset = (FLAC__uint64) static_cast<FlacCount*> (clientData)->input.getPosition();
        return FLAC__STREAM_DECODER_TELL_STATUS_OK;
    }

    FLAC__StreamDecoderLengthStatus lengthOfFlac (const FLAC__StreamDecoder*, FLAC__uint64* length, void* clientData)
    {
        *length = (FLAC__uint64) static_cast<FlacCount*> (clientData)->input.getTotalLength();
        return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
    }

    FLAC__bool isFlacAtEnd (const FLAC__StreamDecoder*, void* clientData)
    {
        return static_cast<FlacCount*> (clientData)->input.isExhausted();
    }

    size_t readVorbis (void* buffer, size_t size, size_t count, void* source)
    {
        const auto wanted = (juce::int64) size * (juce::int64) count;

        if (size == 0 || wanted <= 0)
            return 0;

        const auto numRead = static_cast<juce::InputStream*> (source)->read (buffer, (int) juce::jmin (wanted, (juce::int64) (1 << 20)));
        return (size_t) juce::jmax (0, numRead) / size;
    }

    int seekVorbis (void* source, ogg_int64_t offset, int whence)
    {
        auto& input = *static_cast<juce::InputStream*> (source);
        const auto base = whence == SEEK_CUR ? input.getPosition() : whence == SEEK_END ? input.getTotalLength() : 0;
        return input.setPosition (base + offset) ? 0 : -1;
    }

    long tellVorbis (void* source)
    {
        return (long) static_cast<juce::InputStream*> (source)->getPosition();
    }

    struct FlacDecoderDeleter
    {
        void operator() (FLAC__StreamDecoder* decoder) const noexcept  { FLAC__stream_decoder_delete (decoder); }
    };
}

juce::int64 AudioFrameCounter::countFlacFrames (juce::InputStream& input, juce::int64 atMost)
{
    std::unique_ptr<FLAC__StreamDecoder, FlacDecoderDeleter> decoder (FLAC__stream_decoder_new());

    if (decoder == nullptr || atMost <= 0)
        return 0;

    FlacCount count { input, 0, atMost };

    if (FLAC__stream_decoder_init_stream (decoder.get(), readFlac, seekFlac, tellFlac, lengthOfFlac, isFlacAtEnd,
                                          countFlacBlock, nullptr, ignoreFlacError, &count) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
        return 0;

    FLAC__stream_decoder_process_until_end_of_stream (decoder.get());
    FLAC__stream_decoder_finish (decoder.get());
    return juce::jmin (count.frames, atMost);
}

juce::int64 AudioFrameCounter::countVorbisFrames (juce::InputStream& input, juce::int64 atMost)
{
    OggVorbis_File vorbis;
    const ov_callbacks callbacks { readVorbis, seekVorbis, nullptr, tellVorbis };

    if (atMost <= 0 || ov_open_callbacks (&input, &vorbis, nullptr, 0, callbacks) != 0)
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
