#include <install/InstallationRun.h>

#include "ImpulseFileInstaller.h"
#include <install/PluginSettings.h>

#include <safeio/Utf8Text.h>

#include <cstring>

namespace
{
    bool isWellFormedText (const juce::String& text)
    {
        const auto* bytes = text.toRawUTF8();
        return Utf8Text::isWellFormed (bytes, std::strlen (bytes));
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

    juce::String failure;
    const auto folder = OpenFolder::open (directory, OpenFolder::Missing::create, failure);

    if (folder == nullptr)
        return failToCreate (directoryPath, failure);

    recordDirectory (userSettingsFile, "user", directoryPath);
    recordDirectory (commonSettingsFile, "all-users", directoryPath);

    ImpulseFileInstaller installer (reporter);
    const auto lock = installer.lockFolder (*folder);

    if (lock == nullptr)
        return abort();

    juce::StringArray names;

    for (auto& entry : entries)
        names.add (entry.fileName);

    ImpulseFileInstaller::removeStaleFiles (*folder, names);

    for (auto& entry : entries)
        if (! installer.installImpulseFile (*folder, entry.fileName, entry.data, entry.size))
            return abort();

    return true;
}

bool InstallationRun::abort()
{
    reporter.logMessage ("Installation aborted", true);
    return false;
}

// A settings file that can't be read in full or written is left as it is: the run goes on,
// and the log says why. The plug-in then keeps looking where it did.
void InstallationRun::recordDirectory (const juce::File& settingsFile, const juce::String& whose, const juce::String& directoryPath)
{
    if (settingsFile == juce::File())
    {
        reporter.logMessage ("No location for the " + whose + " settings file: skipped", false);
        return;
    }

    bool toldWaiting = false;
    const auto failure = PluginSettings::writeDefaultImpulsePath (settingsFile, directoryPath, [&] (const juce::String& holder)
    {
        if (! std::exchange (toldWaiting, true))
            reporter.logMessage (FolderLock::describeWaiting (settingsFile.getParentDirectory(), holder), false);

        return reporter.waitAMoment();
    });

    if (failure.isNotEmpty())
        reporter.logMessage (failure + " (the " + whose + " settings keep their old directory)", false);
}

bool InstallationRun::failToCreate (const juce::String& directoryPath, const juce::String& reason)
{
    const auto* bytes = directoryPath.toRawUTF8();
    const auto shownPath = Utf8Text::toString (bytes, std::strlen (bytes));

    reporter.logMessage ("Can't Create Directory " + shownPath + " . Installation aborted."
                           + (reason.isNotEmpty() ? "\n" + reason : juce::String()), true);
    return false;
}
