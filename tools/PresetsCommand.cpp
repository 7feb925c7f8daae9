// vok presets FILE: the names of the file's user presets, one per line, in list order.

#include "Command.h"

int Command::runPresets (const juce::StringArray& arguments) const
{
    VOK_ImpulseFile impulse;
    loadImpulse (impulse, getFileArgument (arguments[0]), VOK_ImpulseFile::SampleReading::skip);

    for (auto& name : impulse.getPresetNames())
        print (name + "\n");

    return success;
}
