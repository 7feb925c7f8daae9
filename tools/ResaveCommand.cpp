// vok resave IN OUT: reads an impulse file and writes it again in the current layout.

#include "Command.h"

int Command::runResave (const juce::StringArray& arguments) const
{
    const auto input  = getFileArgument (arguments[0]);
    const auto output = getFileArgument (arguments[1]);

    // Locked before reading: a file resaved over itself must not lose what another
    // writer adds meanwhile.
    const auto lock = lockToReplace (output);

    VOK_ImpulseFile impulse;

    // A file that doesn't read cleanly is not written: its copy would lose samples.
    if (! impulse.readFile (input.getFullPathName(), VOK_ImpulseFile::SampleReading::keepStored))
        throw Failure { describeLoadFailure (impulse, input) };

    saveImpulse (impulse, output);
    return success;
}
