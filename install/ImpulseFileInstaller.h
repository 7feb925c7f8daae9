#pragma once

#include "InstallReporter.h"

#include <juce_core/juce_core.h>

class VOK_ImpulseFile;

/**
    Installs one impulse file at its target path, keeping the user presets of a file that
    is already there.

    An existing target is copied to its backup file (the target's path followed by
    ".setup_backupfile"), its presets are read, it is replaced by the new bytes, and every
    old preset the new file lacks (names compared ignoring case) is added to it. The backup
    is deleted only once the target is complete, so a run that stops at any moment leaves
    every user preset in the target or in the backup. A backup left by such a run is never
    overwritten: its presets go into the target before anything else happens.

    Every step is reported as a log line; the first failure is reported once more with a
    box and ends the call with false.
*/
class ImpulseFileInstaller
{
public:
    explicit ImpulseFileInstaller (InstallReporter& reporterToUse);

    /** Installs size bytes of data as target. True when the file is complete and no backup
        of it is left; false after the first failure, which has been reported.
    */
    bool installImpulseFile (const juce::File& target, const char* data, int size);

    /** The target's full path followed by ".setup_backupfile", beside the target. */
    static juce::File getBackupFile (const juce::File& target);

    /** Where a file is assembled before it is renamed into its place, so that its real name
        never holds a half-written file. A killed run leaves at most this one sibling, which
        the next run reuses.
    */
    static juce::File getPartialFile (const juce::File& file);

    /** Appended to the failures that another program holding the file can cause. */
    static const char* const retryAdvice;

private:
    void log (const juce::String& message);
    bool fail (const juce::String& message);

    bool takeOverEarlierBackup (const juce::File& target, const juce::File& backup);
    bool restoreFromBackup (const juce::File& target, const juce::File& backup);
    bool mergeBackupIntoTarget (const juce::File& target, const juce::File& backup);

    bool createBackup (const juce::File& target, const juce::File& backup);
    bool writeNewFile (const juce::File& target, const char* data, int size);
    bool mergeOldPresets (const juce::File& target, VOK_ImpulseFile& oldFile, const juce::StringArray& oldNames);
    static juce::String getOpenFailureAdvice (const VOK_ImpulseFile& file);
    bool carryOverPresets (VOK_ImpulseFile& from, const juce::StringArray& fromNames,
                           VOK_ImpulseFile& into, const juce::StringArray& intoNames);
    bool saveMerged (VOK_ImpulseFile& merged, const juce::File& target);
    bool deleteBackup (const juce::File& backup);

    InstallReporter& reporter;

    JUCE_DECLARE_NON_COPYABLE (ImpulseFileInstaller)
};
