// vok install DIR: installs the pack inside this program into DIR, as "Install" in VOK Setup
// does, with the log on stdout and the text of each warning box on stderr.

#include "Command.h"

#include <EmbeddedPack.h>
#include <InstallationRun.h>
#include <PluginSettings.h>

#include <cstdio>

namespace
{
    class InstallCommand  : public Command,
                            private InstallReporter
    {
    public:
        InstallCommand()
            : Command ({ "install", "DIR [--user-settings FILE] [--common-settings FILE]",
                         "install the pack into DIR and record DIR in the plug-in's settings (default: the real settings files)", anyNumber })
        {
        }

        bool acceptsArguments (const juce::StringArray& arguments) const override
        {
            Options options;
            return parse (arguments, options);
        }

        int run (const juce::StringArray& arguments) override
        {
            Options options;
            parse (arguments, options);

            InstallationRun installation (*this);

            if (! installation.runInstallation (options.directory, EmbeddedPack::getEntries(),
                                                options.userSettings, options.commonSettings))
                return failure;

            print ("Installation successfully!\n");
            return success;
        }

    private:
        struct Options
        {
            juce::File directory;
            juce::File userSettings   = PluginSettings::getUserSettingsFile();
            juce::File commonSettings = PluginSettings::getCommonSettingsFile();
        };

        static bool parse (const juce::StringArray& arguments, Options& options)
        {
            bool haveDirectory = false;

            for (int i = 0; i < arguments.size(); ++i)
            {
                const auto& argument = arguments[i];

                if (argument == "--user-settings" || argument == "--common-settings")
                {
                    if (++i >= arguments.size() || arguments[i].isEmpty())
                        return false;

                    (argument == "--user-settings" ? options.userSettings : options.commonSettings) = getFileArgument (arguments[i]);
                }
                else if (haveDirectory || argument.isEmpty() || argument.startsWith ("--"))
                {
                    return false;
                }
                else
                {
                    options.directory = getFileArgument (argument);
                    haveDirectory = true;
                }
            }

            return haveDirectory;
        }

        void logMessage (const juce::String& message, bool showBox) override
        {
            print (message + "\n");

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

std::unique_ptr<Command> createInstallCommand()
{
    return std::make_unique<InstallCommand>();
}
