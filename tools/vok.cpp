// vok: command-line access to impulse files (inspect, convert, edit presets).

#include "ToolHelp.h"
#include <safeio/Utf8Text.h>
#include <install/ProcessMemory.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#if JUCE_WINDOWS
 #include <windows.h>
 #include <shellapi.h>
#endif

namespace
{
    void printError (const juce::String& line)
    {
        std::fprintf (stderr, "%s\n", line.toRawUTF8());
    }

    int runCommand (const Command& command, const juce::StringArray& arguments)
    {
        if (! command.acceptsArguments (arguments))
        {
            printError (command.getUsage());
            return Command::wrongUsage;
        }

        try
        {
            return command.run (arguments);
        }
        catch (const Command::Failure& failure)
        {
            printError (failure.message);
        }
        catch (const VokMemoryException&)
        {
            printError ("not enough memory");
        }
        catch (const std::bad_alloc&)
        {
            printError ("not enough memory");
        }

        return Command::failure;
    }

    /** The arguments after the program's name, or false after saying why they can't be taken. */
    bool readArguments (int argc, char* argv[], juce::StringArray& arguments)
    {
       #if JUCE_WINDOWS
        // Windows hands a program its arguments as UTF-16 text; the bytes of argv are that text
        // in the ANSI code page, where a name such as "Jürgen" is not UTF-8.
        juce::ignoreUnused (argc, argv);
        int count = 0;
        auto** wide = CommandLineToArgvW (GetCommandLineW(), &count);

        if (wide == nullptr)
        {
            printError ("can't read the command line");
            return false;
        }

        for (int i = 1; i < count; ++i)
            arguments.add (juce::String (wide[i]));

        LocalFree (wide);
       #else
        for (int i = 1; i < argc; ++i)
        {
            // Text that is not UTF-8 would reach files and settings altered (a path could even
            // gain a separator), so it is refused before anything is done.
            if (! Utf8Text::isWellFormed (argv[i], std::strlen (argv[i])))
            {
                printError ("argument " + juce::String (i) + " is not UTF-8 text; paths and names must be UTF-8");
                return false;
            }

            arguments.add (juce::String::fromUTF8 (argv[i]));
        }
       #endif
        return true;
    }
}

int main (int argc, char* argv[])
{
    ProcessMemory::keepFreedBuffersForReuse();
    juce::StringArray arguments;

    if (! readArguments (argc, argv, arguments))
        return Command::failure;

    const auto& commands = Command::getAll();

    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h"))
    {
        Command::print (ToolHelp::getOverview (commands));
        return Command::success;
    }

    if (arguments.size() == 1 && (arguments[0] == "--version" || arguments[0] == "-V"))
    {
        Command::print (ToolHelp::getVersionLine());
        return Command::success;
    }

    auto* command = arguments.isEmpty() ? nullptr : ToolHelp::findCommand (commands, arguments[0]);

    if (command == nullptr)
    {
        printError (arguments.isEmpty() ? juce::String ("Usage: vok COMMAND ARGUMENTS (vok --help lists the commands)")
                                        : ToolHelp::describeUnknownCommand (arguments[0]));
        return Command::wrongUsage;
    }

    // "vok COMMAND --help": no command takes "--help" as an argument of its own.
    if (arguments.size() == 2 && (arguments[1] == "--help" || arguments[1] == "-h"))
    {
        Command::print (ToolHelp::getCommandHelp (*command));
        return Command::success;
    }

    arguments.remove (0);
    const auto status = runCommand (*command, arguments);
    std::fflush (stdout);
    return status;
}
