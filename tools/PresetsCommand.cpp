// vok presets FILE: the names of the file's user presets, one per line, in list order.

#include "Command.h"

namespace
{
    class PresetsCommand  : public Command
    {
    public:
        juce::String getName() const override             { return "presets"; }
        juce::String getArgumentSyntax() const override   { return "FILE"; }
        juce::String getDescription() const override      { return "list the preset names of FILE, one per line, in list order"; }

        bool acceptsArguments (const juce::StringArray& arguments) const override
        {
            return arguments.size() == 1;
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
