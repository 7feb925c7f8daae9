#include "FloatWavReplacement.h"
#include "Command.h"
#include "ForwardingStream.h"

FloatWavReplacement::FloatWavReplacement (const juce::File& target, double sampleRate, int numChannels)
    : replacement (target), cantWrite ("Can't write " + target.getFullPathName())
{
    if (! replacement.openedOk())
        throw Command::Failure { cantWrite };

    // The writer takes a stream it deletes; this one only passes the bytes on.
    auto* forwarding = new ForwardingStream (replacement.getStream());
    juce::WavAudioFormat wav;
    writer.reset (wav.createWriterFor (forwarding, sampleRate, (unsigned int) numChannels, 32, {}, 0));

    if (writer == nullptr)
    {
        delete forwarding;
        throw Command::Failure { cantWrite };
    }
}

FloatWavReplacement::~FloatWavReplacement() = default;

void FloatWavReplacement::replaceTarget (bool everythingWritten, const juce::String& reasonNotWritten)
{
    // The writer fills in the header's sizes as it goes.
    const auto written = everythingWritten && writer->flush();
    writer.reset();

    if (! written || ! replacement.replaceTarget())
        throw Command::Failure { cantWrite + ": " + (replacement.getFailureReason().isNotEmpty() ? replacement.getFailureReason()
                                                                                                 : reasonNotWritten) };
}
