// vok from-audio AUDIO OUT.vok: builds a new impulse from an audio file and saves it.

#include "Command.h"

int Command::runFromAudio (const juce::StringArray& arguments) const
{
    const auto audioFile = getFileArgument (arguments[0]);
    const auto output    = getFileArgument (arguments[1]);

    VOK_ImpulseFile impulse;

    if (! impulse.createFromAudioFile (audioFile.getFullPathName()))
        throw Failure { describeLoadFailure (impulse, audioFile) };

    const auto lock = lockToReplace (output);
    saveImpulse (impulse, output);
    return success;
}
