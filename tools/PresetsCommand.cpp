// vok presets FILE: the names of the file's user presets, one per line, in list order.

#include "Command.h"

namespace
{
    class PresetsCommand  : public Command
    {
    public:
        PresetsCommand()
            : Command ({ "presets", "FILE",
                         "list the preset names of FILE, one per line, in list order", 1 })
        {
        }

        int run (const juce::StringArray& arguments) override
        {
            VOK_ImpulseFile impulse;
            loadImpulse (impulse, getFileArgument (arguments[0]), VOK_ImpulseFile::SampleReading::skip);

            for (auto& name : impulse.getPresetNames())
                print (name + "\n");

            return success;
        }
    };
}

std::unique_ptr<Command> createPresetsCommand()
{
    return std::make_unique<PresetsCommand>();
}
