// vok get-preset FILE NAME: prints the data of one user preset, exactly as stored.

#include "Command.h"

int Command::runGetPreset (const juce::StringArray& arguments) const
{
    const auto file = getFileArgument (arguments[0]);
    const auto& presetName = arguments[1];

    VOK_ImpulseFile impulse;
    loadImpulse (impulse, file, VOK_ImpulseFile::SampleReading::skip);

    // An empty data text and a missing preset look alike through getPresetData.
    if (! impulse.getPresetNames().contains (presetName, true))
        throw Failure { "No preset named " + presetName + " in " + file.getFullPathName() };

    print (impulse.getPresetData (presetName));
    return success;
}
