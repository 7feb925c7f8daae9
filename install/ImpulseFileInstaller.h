#pragma once

#include <install/InstallReporter.h>

#include <safeio/FolderLock.h>
#include <safeio/OpenFolder.h>
#include <safeio/RegularFileInput.h>
#include <safeio/ReplaceableTarget.h>
#include <impulse/VOK_ImpulseFile.h>

#include <juce_core/juce_core.h>

#include <functional>
#include <memory>

/**
    Installs one impulse file at its target path, keeping the user presets of a file that
    is already there.

    An existing target gets a second name as its backup (the target's name followed by
    ".setup_backupfile"; a copy with the same permissions where the file system has no second
    names), its presets are read from its header (its samples are not needed, and may be
    damaged), and the new file, with every old preset it lacks (names compared ignoring case)
    added in memory, replaces it by a rename in one write, its data on the disk before the
    rename. The backup is deleted only once the target is complete and its name is on the
    disk, so a run that stops at any moment, even by a power cut, leaves every user preset in
    the target or in the backup.

    A backup left by such a run is never overwritten: its presets join the old file's (the old
    file's win), or it becomes the target again where there is none. A backup that can't be
    read is kept aside under a name that says so, and the installation goes on.

    Everything happens relative to the folder opened once (OpenFolder), with the rights of the
    folder's owner for a privileged run. Only regular files are read or replaced: a link, FIFO,
    device or socket where the target or its backup goes stops the file's installation, as
    does a target that is read-only or another user's. The folder is locked while files are
    installed (FolderLock), so the tool or a second installation changing the same folder
    waits; stale files of writers that were killed are removed meanwhile.

    Every step is reported as a log line; the first failure is reported once more with a
    box and ends the call with false.
*/
class ImpulseFileInstaller
{
public:
    explicit ImpulseFileInstaller (InstallReporter& reporterToUse, int lockTimeoutMs = FolderLock::defaultTimeoutMs);

    /** Installs size bytes of data as name in folder, which the caller has locked with
        lockFolder (and cleared with removeStaleFiles). True when the file is complete and no backup of it is left; false after
        the first failure, which has been reported.
    */
    bool installImpulseFile (const OpenFolder& folder, const juce::String& name, const char* data, int size);

    /** Opens and locks target's folder, then installs as above. */
    bool installImpulseFile (const juce::File& target, const char* data, int size);

    /** Locks folder for the installation, logging the wait for another writer while the
        reporter keeps its window answering; nullptr after reporting why it could not be had.
    */
    std::unique_ptr<FolderLock> lockFolder (const OpenFolder& folder);

    /** Removes what writers that were killed left of the files names (and of their backups)
        in folder, which the caller has locked: under the lock none of those writers is alive.
    */
    static void removeStaleFiles (const OpenFolder& folder, const juce::StringArray& names);

    /** The target's full path followed by ".setup_backupfile", beside the target. */
    static juce::File getBackupFile (const juce::File& target);

    /** Where a backup that can't be read is kept aside: the backup's name followed by ".damaged". */
    static juce::String getDamagedBackupName (const juce::String& targetName);

    /** Appended to the failures that another program holding the file can cause. */
    static const char* const retryAdvice;

private:
    using PresetElements = juce::OwnedArray<juce::XmlElement>;
    using Kind = RegularFileInput::Kind;

    struct Place;

    void log (const juce::String& message);
    bool fail (const juce::String& message);

    bool checkPlaces (const Place& place, const ReplaceableTarget& target, Kind backupKind);
    bool installLocked (const Place& place, Kind targetKind, Kind backupKind, const char* data, int size);

    bool takeOverEarlierBackup (const Place& place, bool& targetExists, bool& backupKept, PresetElements& backupPresets);
    bool setBackupAside (const Place& place);
    bool readOldFile (const Place& place, bool makeBackup, PresetElements& oldPresets);
    bool readPresets (RegularFileInput& input, const juce::String& path, PresetElements& presets, juce::String& failure);
    bool createBackup (const Place& place, RegularFileInput& old);
    bool writeNewFile (const Place& place, bool replacing, const juce::String& writeFailure,
                       const std::function<bool (juce::OutputStream&)>& writeContents);
    bool writeNewBytes (const Place& place, const char* data, int size, bool replacing);
    bool writeMerged (const Place& place, const PresetElements& oldPresets, const char* data, int size, bool replacing);
    bool carryOverPresets (const PresetElements& from, VOK_ImpulseFile& into, const juce::StringArray& intoNames,
                           juce::StringArray& lines);
    static void addMissingPresets (PresetElements& into, const PresetElements& from);
    static juce::String getOpenFailureAdvice (const ReadFailure& failure);
    static juce::String withReason (const juce::String& message, const juce::String& reason);
    bool deleteBackup (const Place& place);

    InstallReporter& reporter;
    const int lockTimeoutMs;

    JUCE_DECLARE_NON_COPYABLE (ImpulseFileInstaller)
};
