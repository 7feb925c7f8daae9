#pragma once

#include <safeio/RegularFileInput.h>

#include <juce_audio_formats/juce_audio_formats.h>

/**
    How many frames an audio file really holds. A file's header can claim any length: a WAV
    or AIFF file whose data size is overstated, or a FLAC or Ogg Vorbis file whose header or
    last page promises more than its data decodes to. The framework's readers give silence for
    the frames that aren't there, so the length is checked against the file itself: the bytes
    after the sample data's start for uncompressed formats, a decoding pass for compressed ones,
    which reads the file already opened (never its name again).
*/
class AudioFrameCounter
{
public:
    /** The smaller of the reader's claimed length and what the file holds; the reader is left
        positioned anywhere (callers read by frame index).
    */
    static juce::int64 countFrames (const RegularFileInput& file, juce::AudioFormatReader& reader);

private:
    static juce::int64 countUncompressedFrames (juce::AudioFormatReader& reader);
    static juce::int64 countFlacFrames (juce::InputStream& input, juce::int64 atMost);
    static juce::int64 countVorbisFrames (juce::InputStream& input, juce::int64 atMost);
};
