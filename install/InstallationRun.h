#pragma once

#include "ImpulseFileEntry.h"
#include "InstallReporter.h"

#include <juce_core/juce_core.h>

/**
    The whole installation: records the directory as the plug-in's default impulse path in
    both settings files, creates the directory and installs the entries one after another in
    their order. The first failure ends the run; it has then been reported with a box, and
    "Installation aborted" follows.

    The settings are written before anything else, so a run that fails still leaves the new
    path recorded. A settings file without a location (File()) is skipped with a log line.
    A user settings file that can't be read in full or can't be written stops the run with a
    box naming it, before any impulse file is touched; the all-users file, which only an
    administrator can usually write, is then left as it is with a log line saying why. A directory of File() (no path given) fails before
    anything is written.
*/
class InstallationRun
{
public:
    explicit InstallationRun (InstallReporter& reporterToUse);

    bool runInstallation (const juce::File& directory,
                          const juce::Array<ImpulseFileEntry>& entries,
                          const juce::File& userSettingsFile,
                          const juce::File& commonSettingsFile);

private:
    enum class SettingsFile { required, whereWritable };

    bool failToCreate (const juce::String& directoryPath);
    bool recordDirectory (const juce::File& settingsFile, const juce::String& whose,
                          const juce::String& directoryPath, SettingsFile kind);

    InstallReporter& reporter;

    JUCE_DECLARE_NON_COPYABLE (InstallationRun)
};
