// vok to-wav IN.vok OUT.wav: the sample pool as a 32-bit float WAV file, for any audio tool.

#include "Command.h"
#include "ForwardingStream.h"
#include <safeio/FileReplacement.h>

#include <juce_audio_formats/juce_audio_formats.h>

namespace
{
    // Written beside the target and renamed over it, so a failed run never leaves a
    // half-written WAV under the requested name.
    void writeWav (const VOK_VokSampleBuffer& pool, const juce::File& output)
    {
        const auto cantWrite = Command::Failure { "Can't write " + output.getFullPathName() };

        FileReplacement replacement (output);

        if (! replacement.openedOk())
            throw cantWrite;

        // The writer takes a stream it deletes; this one only passes the bytes on.
        auto* forwarding = new ForwardingStream (replacement.getStream());

        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (forwarding, pool.sampleRate,
                                                                              (unsigned int) pool.getNumChannels(),
                                                                              32, {}, 0));
        if (writer == nullptr)
        {
            delete forwarding;
            throw cantWrite;
        }

        const auto written = writer->writeFromAudioSampleBuffer (pool, 0, pool.getNumSamples()) && writer->flush();
        writer.reset();

        if (! written || ! replacement.replaceTarget())
            throw Command::Failure { cantWrite.message + ": " + replacement.getFailureReason() };
    }
}

int Command::runToWav (const juce::StringArray& arguments) const
{
    const auto input  = getFileArgument (arguments[0]);
    const auto output = getFileArgument (arguments[1]);

    VOK_ImpulseFile impulse;
    loadImpulse (impulse, input);

    const auto* pool = impulse.getSamplePool();

    if (pool == nullptr || pool->getNumChannels() == 0)
        throw Failure { "No samples in " + input.getFullPathName() };

    // A WAV file stores the rate as a whole number of Hz; without one no player can use it.
    if (! (pool->sampleRate >= 1.0 && pool->sampleRate < 4294967296.0))
        throw Failure { "No usable sample rate (" + juce::String (pool->sampleRate) + ") in " + input.getFullPathName() };

    const auto lock = lockToReplace (output);
    writeWav (*pool, output);
    return success;
}
