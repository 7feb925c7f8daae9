#pragma once

#include <safeio/FileReplacement.h>

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>

/**
    A 32-bit float WAV file written beside its target and renamed over it once it is complete,
    so that a failed command never leaves a half-written file under the requested name.
*/
class FloatWavReplacement
{
public:
    /** @throws Command::Failure "Can't write " + path, when the file or its writer can't be made */
    FloatWavReplacement (const juce::File& target, double sampleRate, int numChannels);
    ~FloatWavReplacement();

    juce::AudioFormatWriter& getWriter()        { return *writer; }

    /** Finishes the file and puts it in place, when everything was written.
        @throws Command::Failure "Can't write " + path + ": " and the system's reason, or
                reasonNotWritten when the caller's writing failed and the system gave none
    */
    void replaceTarget (bool everythingWritten, const juce::String& reasonNotWritten = {});

private:
    FileReplacement replacement;
    std::unique_ptr<juce::AudioFormatWriter> writer;
    juce::String cantWrite;

    JUCE_DECLARE_NON_COPYABLE (FloatWavReplacement)
};
