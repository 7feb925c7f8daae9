#pragma once

#include "InstallReporter.h"

#include <FolderLock.h>
#include <RegularFileInput.h>
#include <VOK_ImpulseFile.h>

#include <juce_core/juce_core.h>

#include <functional>

/**
    Installs one impulse file at its target path, keeping the user presets of a file that
    is already there.

    An existing target gets a second name as its backup (the target's path followed by
    ".setup_backupfile"; a copy where the file system has no second names), its presets are
    read from its header, and the new file, with every old preset it lacks (names compared
    ignoring case) added in memory, replaces it by a rename in one write. The backup is deleted only once the
    target is complete, so a run that stops at any moment leaves every user preset in the
    target or in the backup. A backup left by such a run is never overwritten: its presets
    go into the target before anything else happens.

    Only regular files are read or replaced: a link, FIFO, device or socket where the target
    or its backup goes stops the file's installation, as does a target the user has marked
    read-only. The folder is locked while the file is installed (FolderLock), so the tool or
    a second installation changing the same folder waits.

    Every step is reported as a log line; the first failure is reported once more with a
    box and ends the call with false.
*/
class ImpulseFileInstaller
{
public:
    explicit ImpulseFileInstaller (InstallReporter& reporterToUse, int lockTimeoutMs = FolderLock::defaultTimeoutMs);

    /** Installs size bytes of data as target. True when the file is complete and no backup
        of it is left; false after the first failure, which has been reported.
    */
    bool installImpulseFile (const juce::File& target, const char* data, int size);

    /** The target's full path followed by ".setup_backupfile", beside the target. */
    static juce::File getBackupFile (const juce::File& target);

    /** Appended to the failures that another program holding the file can cause. */
    static const char* const retryAdvice;

private:
    using PresetElements = juce::OwnedArray<juce::XmlElement>;

    void log (const juce::String& message);
    bool fail (const juce::String& message);

    using Kind = RegularFileInput::Kind;

    bool checkPlaces (const juce::File& target, Kind targetKind, const juce::File& backup, Kind backupKind);
    bool installLocked (const juce::File& target, Kind targetKind, const juce::File& backup, Kind backupKind,
                        const char* data, int size);

    bool takeOverEarlierBackup (const juce::File& target, const juce::File& backup);
    bool restoreFromBackup (const juce::File& target, const juce::File& backup);
    bool mergeBackupIntoTarget (const juce::File& target, const juce::File& backup);
    static bool loadClosedAgain (VOK_ImpulseFile& impulse, const juce::File& file, VOK_ImpulseFile::SampleReading samples);

    bool readOldFile (const juce::File& target, const juce::File& backup, PresetElements& oldPresets);
    bool createBackup (RegularFileInput& old, const juce::File& backup);
    bool writeNewFile (const juce::File& target, bool replacing, const std::function<bool (juce::OutputStream&)>& writeContents);
    bool writeNewBytes (const juce::File& target, const char* data, int size, bool replacing);
    bool writeMerged (const juce::File& target, const PresetElements& oldPresets, const char* data, int size, bool replacing);
    bool carryOverPresets (const PresetElements& from, VOK_ImpulseFile& into, const juce::StringArray& intoNames,
                           juce::StringArray& lines);
    static juce::String getOpenFailureAdvice (const VOK_ImpulseFile& file);
    bool saveMerged (VOK_ImpulseFile& merged, const juce::File& target);
    bool deleteBackup (const juce::File& backup);

    InstallReporter& reporter;
    const int lockTimeoutMs;

    JUCE_DECLARE_NON_COPYABLE (ImpulseFileInstaller)
};
