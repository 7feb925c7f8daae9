// vok help [COMMAND]: the list of commands, or one command's help.

#include "ToolHelp.h"

#include <cstdio>

bool Command::acceptsHelpArguments (const juce::StringArray& arguments)
{
    return arguments.size() <= 1;
}

int Command::runHelp (const juce::StringArray& arguments) const
{
    const auto& commands = getAll();

    if (arguments.isEmpty())
    {
        print (ToolHelp::getOverview (commands));
        return success;
    }

    if (auto* command = ToolHelp::findCommand (commands, arguments[0]))
    {
        print (ToolHelp::getCommandHelp (*command));
        return success;
    }

    std::fprintf (stderr, "%s\n", ToolHelp::describeUnknownCommand (arguments[0]).toRawUTF8());
    return wrongUsage;
}
