// vok to-wav IN.vok OUT.wav: the sample pool as a 32-bit float WAV file, for any audio tool.

#include "Command.h"
#include "FloatWavReplacement.h"

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
    FloatWavReplacement wav (output, pool->sampleRate, pool->getNumChannels());
    wav.replaceTarget (wav.getWriter().writeFromAudioSampleBuffer (*pool, 0, pool->getNumSamples()));
    return success;
}
