#include "InstallationRun.h"

#include "ImpulseFileInstaller.h"
#include "PluginSettings.h"

#include <ImpulseFileFields.h>

#include <cstring>

namespace
{
    bool isWellFormedText (const juce::String& text)
    {
        const auto* bytes = text.toRawUTF8();
        return ImpulseFileFields::isWellFormedUTF8 (bytes, std::strlen (bytes));
    }
}

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

    // No path at all is no directory, and recording it would take the plug-in's default away.
    // A path that is not UTF-8 text would be recorded and created altered (an overlong form
    // can even stand for a separator), so it is refused before anything is written.
    if (directory == juce::File() || ! isWellFormedText (directoryPath))
        return failToCreate (directoryPath);

    if (! recordDirectory (userSettingsFile, "user", directoryPath, SettingsFile::required)
         || ! recordDirectory (commonSettingsFile, "all-users", directoryPath, SettingsFile::whereWritable))
        return false;

    if (directory.createDirectory().failed())
        return failToCreate (directoryPath);

    ImpulseFileInstaller installer (reporter);

    for (auto& entry : entries)
    {
        if (! installer.installImpulseFile (directory.getChildFile (entry.fileName), entry.data, entry.size))
        {
            reporter.logMessage ("Installation aborted", true);
            return false;
        }
    }

    return true;
}

// A user settings file that can't be read in full or written stops the run before any
// impulse file is touched: the plug-in would otherwise go on looking in the old folder while
// the run reported success. The all-users file is only writable for an administrator, so an
// ordinary user's run says in the log that it was left as it was and goes on; the plug-in
// takes the user's own file first.
bool InstallationRun::recordDirectory (const juce::File& settingsFile, const juce::String& whose,
                                       const juce::String& directoryPath, SettingsFile kind)
{
    if (settingsFile == juce::File())
    {
        reporter.logMessage ("No location for the " + whose + " settings file: skipped", false);
        return true;
    }

    const auto failure = PluginSettings::writeDefaultImpulsePath (settingsFile, directoryPath);

    if (failure.isEmpty())
        return true;

    if (kind == SettingsFile::whereWritable)
    {
        reporter.logMessage (failure + " (the " + whose + " settings keep their old directory)", false);
        return true;
    }

    reporter.logMessage (failure, true);
    reporter.logMessage ("Installation aborted", true);
    return false;
}

bool InstallationRun::failToCreate (const juce::String& directoryPath)
{
    const auto* bytes = directoryPath.toRawUTF8();
    const auto shownPath = ImpulseFileFields::textFromUTF8 (bytes, std::strlen (bytes));

    reporter.logMessage ("Can't Create Directory " + shownPath + " . Installation aborted.", true);
    return false;
}
