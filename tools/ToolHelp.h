#pragma once

#include "Command.h"

/**
    What the vok tool tells its user about itself: the list of its commands ("vok --help",
    from which the build also makes the manual page vok(1) and the shell's completion reads
    the commands), one command's help ("vok help COMMAND", "vok COMMAND --help"), and its
    version ("vok --version", the project's one version).
*/
class ToolHelp
{
public:
    /** Every command on one line of its own, the options, and the exit statuses. */
    static juce::String getOverview (const std::vector<Command>& commands);

    /** One command's usage line, what it does, and the exit statuses. */
    static juce::String getCommandHelp (const Command& command);

    /** "vok" and the project's version, on one line. */
    static juce::String getVersionLine();

    /** The command named, or nullptr. */
    static const Command* findCommand (const std::vector<Command>& commands, const juce::String& name);

    /** The one line for a name that is no command. */
    static juce::String describeUnknownCommand (const juce::String& name);
};
