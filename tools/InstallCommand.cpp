// vok install DIR: installs the pack (see PackToInstall) into DIR, as "Install" in VOK Setup
// does, with the log on stdout and the text of each warning box on stderr.

#include "Command.h"
#include "PackToInstall.h"

#include <install/InstallationRun.h>
#include <install/PluginSettings.h>

#include <cstdio>

namespace
{
    struct Options
    {
        juce::File directory;
        juce::File userSettings   = PluginSettings::getUserSettingsFile();
        juce::File commonSettings = PluginSettings::getCommonSettingsFile();
    };

    bool parse (const juce::StringArray& arguments, Options& options)
    {
        bool haveDirectory = false;

        for (int i = 0; i < arguments.size(); ++i)
        {
            const auto& argument = arguments[i];

            if (argument == "--user-settings" || argument == "--common-settings")
            {
                if (++i >= arguments.size() || arguments[i].isEmpty())
                    return false;

                (argument == "--user-settings" ? options.userSettings : options.commonSettings) = Command::getFileArgument (arguments[i]);
            }
            else if (haveDirectory || argument.isEmpty() || argument.startsWith ("--"))
            {
                return false;
            }
            else
            {
                options.directory = Command::getFileArgument (argument);
                haveDirectory = true;
            }
        }

        return haveDirectory;
    }

    /** The log on stdout; a box's text follows its log line on stderr. */
    class ConsoleReporter  : public InstallReporter
    {
    public:
        void logMessage (const juce::String& message, bool showBox) override
        {
            Command::print (message + "\n");

            if (showBox)
            {
                // The box text follows its log line, also when both streams go to one place.
                std::fflush (stdout);
                std::fprintf (stderr, "%s\n", message.toRawUTF8());
                std::fflush (stderr);
            }
        }
    };
}

bool Command::acceptsInstallArguments (const juce::StringArray& arguments)
{
    Options options;
    return parse (arguments, options);
}

int Command::runInstall (const juce::StringArray& arguments) const
{
    Options options;
    parse (arguments, options);

    const PackToInstall pack;
    ConsoleReporter reporter;
    InstallationRun installation (reporter);

    if (! installation.runInstallation (options.directory, pack.getEntries(),
                                        options.userSettings, options.commonSettings))
        return failure;

    print ("Installation successfully!\n");
    return success;
}
