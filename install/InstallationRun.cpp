#include "InstallationRun.h"

#include "ImpulseFileInstaller.h"
#include "PluginSettings.h"

InstallationRun::InstallationRun (InstallReporter& reporterToUse)
    : reporter (reporterToUse)
{
}

bool InstallationRun::runInstallation (const juce::File& directory,
                                       const juce::Array<ImpulseFileEntry>& entries,
                                       const juce::File& userSettingsFile,
                                       const juce::File& commonSettingsFile)
{
    const auto directoryPath = directory.getFullPathName();

    auto userSettings   = PluginSettings::open (userSettingsFile, false);
    auto commonSettings = PluginSettings::open (commonSettingsFile, true);

    if (userSettings != nullptr)
        PluginSettings::writeDefaultImpulsePath (*userSettings, directoryPath);
    else
        reporter.logMessage ("No location for the user settings file: skipped", false);

    if (commonSettings != nullptr)
        PluginSettings::writeDefaultImpulsePath (*commonSettings, directoryPath);
    else
        reporter.logMessage ("No location for the all-users settings file: skipped", false);

    if (directory == juce::File() || directory.createDirectory().failed())
    {
        reporter.logMessage ("Can't Create Directory " + directoryPath + " . Installation aborted.", true);
        return false;
    }

    ImpulseFileInstaller installer (reporter);

    for (auto& entry : entries)
    {
        if (! installer.installImpulseFile (directory.getChildFile (entry.fileName), entry.data, entry.size))
        {
            reporter.logMessage ("Installation aborted", true);
            return false;
        }
    }

    // Deleting the objects retries a write that failed, so the user file goes first as when set.
    userSettings.reset();
    commonSettings.reset();
    return true;
}
