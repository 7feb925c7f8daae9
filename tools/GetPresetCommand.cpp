// vok get-preset FILE NAME: prints the data of one user preset, exactly as stored.

#include "Command.h"

namespace
{
    class GetPresetCommand  : public Command
    {
    public:
        GetPresetCommand()
            : Command ({ "get-preset", "FILE NAME",
                         "print the data of the preset NAME (matched ignoring case) of FILE", 2 })
        {
        }

        int run (const juce::StringArray& arguments) override
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
    };
}

std::unique_ptr<Command> createGetPresetCommand()
{
    return std::make_unique<GetPresetCommand>();
}
