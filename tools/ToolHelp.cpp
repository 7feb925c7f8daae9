#include "ToolHelp.h"

namespace
{
    // The statuses every command ends with (Command::ExitStatus), stated once for both texts.
    juce::String getExitStatuses()
    {
        return "Exit status:\n"
               "  0  success\n"
               "  1  failure: the command could not do its work; one line on stderr says why\n"
               "  2  wrong usage: an unknown command or wrong arguments; the usage line on stderr\n";
    }

    // A paragraph broken between words into lines a terminal shows whole.
    juce::String wrap (const juce::String& paragraph, int width = 78)
    {
        juce::String wrapped, line;

        for (auto& word : juce::StringArray::fromTokens (paragraph, " ", ""))
        {
            if (line.isNotEmpty() && line.length() + 1 + word.length() > width)
            {
                wrapped << line << "\n";
                line.clear();
            }

            line << (line.isEmpty() ? "" : " ") << word;
        }

        return wrapped + line + "\n";
    }

    juce::String asSentence (const juce::String& summary)
    {
        return summary.substring (0, 1).toUpperCase() + summary.substring (1) + ".";
    }
}

juce::String ToolHelp::getOverview (const std::vector<Command>& commands)
{
    juce::String help ("Usage: vok COMMAND ARGUMENTS\n"
                       "Inspects, converts and edits the impulse files (.vok) of the VOK2 convolution reverb,\n"
                       "and installs the Rooms pack.\n"
                       "\n"
                       "Commands:\n");

    for (auto& command : commands)
        help << "  vok " << command.getName() << " " << command.getArgumentSyntax()
             << "  -  " << command.getDescription() << "\n";

    help << "  vok COMMAND --help  -  show one command's help\n"
            "  vok --help  -  list the commands\n"
            "  vok --version  -  print the version\n"
            "\n"
         << getExitStatuses();

    return help;
}

juce::String ToolHelp::getCommandHelp (const Command& command)
{
    juce::String help (command.getUsage() + "\n" + wrap (asSentence (command.getDescription())));

    if (command.getDetails().isNotEmpty())
        help << wrap (command.getDetails());

    return help << "\n" << getExitStatuses();
}

juce::String ToolHelp::getVersionLine()
{
    return "vok " VOK_INSTALL_VERSION "\n";
}

const Command* ToolHelp::findCommand (const std::vector<Command>& commands, const juce::String& name)
{
    for (auto& command : commands)
        if (command.getName() == name)
            return &command;

    return nullptr;
}

juce::String ToolHelp::describeUnknownCommand (const juce::String& name)
{
    return "unknown command: " + name + " (vok --help lists the commands)";
}
