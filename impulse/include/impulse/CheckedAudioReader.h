/** @file
    CheckedAudioReader, an audio file opened and checked before the framework's readers take it.
*/
#pragma once

#include <safeio/RegularFileInput.h>

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>

class AudioChunkCheck;

/**
    An audio file (WAV, AIFF, FLAC, Ogg Vorbis) opened for the framework's readers as every input
    is opened: once, a regular file only, through a link only where its maker could have followed
    it anyway; its chunks checked before a reader takes it (see AudioChunkCheck), and its sample
    size one the readers can read. Everything the reader reads comes from that opened file.

    Importing a whole impulse and streaming a long recording both start here, so a hostile file
    meets the same checks whichever reads it.
*/
class CheckedAudioReader
{
public:
    /** Opens and checks the file; getReader is null when that failed. */
    explicit CheckedAudioReader (const juce::File& file);
    ~CheckedAudioReader();

    /** The reader, or nullptr: the file is missing or unreadable, its chunks or sample size
        were refused (getFailure says why), or it is of no known format (getFailure is empty).
    */
    juce::AudioFormatReader* getReader() const noexcept     { return reader.get(); }

    /** Why the file was refused; empty when it was opened, or is just of no known format. */
    const juce::String& getFailure() const noexcept         { return failure; }

    /** The channel count as the file stores it, in 16 bits (the framework's WAV and AIFF
        readers widen it as a signed number, so 65535 came out as -1).
    */
    int getNumChannels() const noexcept;

    /** How many frames the file really holds, whatever its header claims (a decoding pass for
        FLAC and Ogg Vorbis); the reader is left positioned anywhere.
    */
    juce::int64 countFrames() const;

private:
    RegularFileInput opened;
    std::unique_ptr<AudioChunkCheck> chunks;
    std::unique_ptr<juce::AudioFormatReader> reader;
    juce::String failure;

    void createReader (const juce::File& file);

    JUCE_DECLARE_NON_COPYABLE (CheckedAudioReader)
};
