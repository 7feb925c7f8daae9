#pragma once

#include <install/ImpulseFileEntry.h>
#include <install/InstallReporter.h>

#include <juce_core/juce_core.h>

/**
    The whole installation: creates the directory, records it as the plug-in's default impulse
    path in both settings files, and installs the entries one after another in their order,
    in the directory opened once and locked against other writers for the whole run. The
    first failure ends the run; it has then been reported with a box, and "Installation
    aborted" follows.

    The directory is recorded only once it exists, so a directory that can't be created never
    takes the place of the one the plug-in uses. A settings file without a location (File()),
    or one that can't be read in full or written, is left as it is with a log line saying why,
    and the run goes on: the impulse files are what the user asked for. A directory of File()
    (no path given) fails before anything is written.
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
    bool abort();
    bool failToCreate (const juce::String& directoryPath, const juce::String& reason = {});
    void recordDirectory (const juce::File& settingsFile, const juce::String& whose, const juce::String& directoryPath);

    InstallReporter& reporter;

    JUCE_DECLARE_NON_COPYABLE (InstallationRun)
};
