#include "ImpulseFileInstaller.h"
#include "CarriedBytes.h"

#include <safeio/FileReplacement.h>
#include <safeio/ReadAheadInputStream.h>
#include <impulse/VOK_ImpulseFile.h>

#include <unordered_set>

const char* const ImpulseFileInstaller::retryAdvice = "\nClose all other audio applications and try the installation again!";

namespace
{
    // The backup of an existing impulse file is copied (where it can't be linked) in pieces
    // this large, so that no copy of a whole impulse is made.
    constexpr size_t writeChunkSize = 1 << 20;

    bool copyInChunks (juce::InputStream& source, juce::OutputStream& destination)
    {
        juce::HeapBlock<char> buffer (writeChunkSize);

        for (;;)
        {
            const auto numRead = source.read (buffer, (int) writeChunkSize);

            if (numRead < 0 || (numRead > 0 && ! destination.write (buffer, (size_t) numRead)))
                return false;

            if (numRead == 0)
                return source.isExhausted();
        }
    }
}

struct ImpulseFileInstaller::Place
{
    Place (const OpenFolder& f, const juce::String& n)
        : folder (f), name (n), backupName (n + backupSuffix),
          path (f.getChildFile (n).getFullPathName()), backupPath (path + backupSuffix)
    {
    }

    static constexpr const char* backupSuffix = ".setup_backupfile";

    const OpenFolder& folder;
    const juce::String name, backupName, path, backupPath;
};

ImpulseFileInstaller::ImpulseFileInstaller (InstallReporter& reporterToUse, int lockTimeout)
    : reporter (reporterToUse), lockTimeoutMs (lockTimeout)
{
}

juce::File ImpulseFileInstaller::getBackupFile (const juce::File& target)
{
    return juce::File (target.getFullPathName() + Place::backupSuffix);
}

juce::String ImpulseFileInstaller::getDamagedBackupName (const juce::String& targetName)
{
    return targetName + Place::backupSuffix + ".damaged";
}

void ImpulseFileInstaller::log (const juce::String& message)
{
    reporter.logMessage (message, false);
}

bool ImpulseFileInstaller::fail (const juce::String& message)
{
    reporter.logMessage (message, true);
    return false;
}

//==============================================================================
std::unique_ptr<FolderLock> ImpulseFileInstaller::lockFolder (const OpenFolder& folder)
{
    bool toldWaiting = false;

    // The wait is logged once; meanwhile the reporter's window goes on answering.
    auto lock = std::make_unique<FolderLock> (folder, "VOK Setup", lockTimeoutMs, [&] (const juce::String& holder)
    {
        if (! std::exchange (toldWaiting, true))
            log (FolderLock::describeWaiting (folder.getFile(), holder));

        return reporter.waitAMoment();
    });

    if (lock->wasGivenUp())
    {
        fail ("Gave up waiting for the files in " + folder.getFile().getFullPathName());
        return {};
    }

    if (lock->isHeldByAnother())
    {
        fail (FolderLock::describeFailure (folder.getFile()));
        return {};
    }

    return lock;
}

bool ImpulseFileInstaller::installImpulseFile (const juce::File& target, const char* data, int size)
{
    juce::String failure;
    const auto folder = OpenFolder::openParentOf (target, OpenFolder::Missing::fail, failure);

    if (folder == nullptr)
    {
        log ({});
        log ("Write IR " + target.getFileName());
        return fail (withReason ("Can't write (1)" + target.getFullPathName(), failure));
    }

    const auto lock = lockFolder (*folder);

    if (lock == nullptr)
        return false;

    removeStaleFiles (*folder, { target.getFileName() });
    return installImpulseFile (*folder, target.getFileName(), data, size);
}

bool ImpulseFileInstaller::installImpulseFile (const OpenFolder& folder, const juce::String& name, const char* data, int size)
{
    const Place place (folder, name);

    log ({});
    log ("Write IR " + name);

    const ReplaceableTarget target (folder, place.name);
    const auto backupKind = folder.getKindOf (place.backupName);

    return checkPlaces (place, target, backupKind)
        && installLocked (place, target.getKind(), backupKind, data, size);
}

void ImpulseFileInstaller::removeStaleFiles (const OpenFolder& folder, const juce::StringArray& names)
{
    juce::StringArray withBackups (names);

    for (auto& name : names)
        withBackups.add (name + Place::backupSuffix);

    FileReplacement::removeStaleSiblings (folder, withBackups);
}

// Only regular files are read or replaced: a link where the target or the backup goes could
// make a privileged run read or write someone else's file, and a FIFO would never answer. A
// file the user protected stays as it is, whatever else is beside it; closing other programs
// would not help, so no such advice is given.
bool ImpulseFileInstaller::checkPlaces (const Place& place, const ReplaceableTarget& target, Kind backupKind)
{
    if (target.getRefusal() == ReplaceableTarget::Refusal::notRegularFile)
        return fail (target.describeRefusal());

    if (backupKind == Kind::link || backupKind == Kind::special || backupKind == Kind::unknown)
        return fail (RegularFileInput::describe (place.folder.getChildFile (place.backupName), backupKind));

    const auto refusal = target.describeRefusal();
    return refusal.isEmpty() || fail (refusal);
}

bool ImpulseFileInstaller::installLocked (const Place& place, Kind targetKind, Kind backupKind, const char* data, int size)
{
    bool targetExists = targetKind != Kind::missing;
    bool backupKept = false;
    PresetElements oldPresets, backupPresets;

    if (backupKind == Kind::regularFile && ! takeOverEarlierBackup (place, targetExists, backupKept, backupPresets))
        return false;

    // An earlier backup that is kept holds the old file's place as its backup: the old file's
    // presets join its own in the new file, and it goes once that is complete.
    if (targetExists && ! readOldFile (place, ! backupKept, oldPresets))
        return false;

    addMissingPresets (oldPresets, backupPresets);

    if (data == nullptr || size < 0)
        return log ("Write " + place.path), writeNewFile (place, targetExists, "Can't write (2) " + place.path, [] (juce::OutputStream&) { return false; });

    const bool installed = oldPresets.isEmpty() ? writeNewBytes (place, data, size, targetExists)
                                                : writeMerged (place, oldPresets, data, size, targetExists);

    return installed && (! (targetExists || backupKept) || deleteBackup (place));
}

//==============================================================================
// A backup beside the target means an earlier run stopped half-way, and it may hold the only
// copy of some user presets. Where there is no target it becomes the target again; otherwise
// its presets are carried into the new file with the old file's, and it is deleted only once
// that is complete. One that can't be read is kept aside, so that it neither stops every run
// nor is lost.
bool ImpulseFileInstaller::takeOverEarlierBackup (const Place& place, bool& targetExists, bool& backupKept,
                                                  PresetElements& backupPresets)
{
    log ("Found backupfile of an earlier installation " + place.backupPath);

    RegularFileInput backup (place.folder, place.backupName);

    // Closing other programs can't make it readable, and nothing here may replace or delete it.
    if (! backup.openedOk())
        return fail ("Can't read backupfile " + place.backupPath
                       + " of an earlier installation\nMove it out of the folder and try the installation again!");

    log ("Read backup " + place.backupPath);
    juce::String failure;

    if (! readPresets (backup, place.backupPath, backupPresets, failure))
        return setBackupAside (place);

    if (! targetExists)
    {
        log ("Restore " + place.path + " from backupfile");

        // Renamed, never copied, and only while nothing has taken the target's name.
        if (! place.folder.renameToNewName (place.backupName, place.name))
            return fail ("Can't restore " + place.path + " from backupfile " + place.backupPath);

        targetExists = true;
        backupPresets.clear();
        return true;
    }

    backupKept = true;
    return true;
}

bool ImpulseFileInstaller::setBackupAside (const Place& place)
{
    const auto damagedName = getDamagedBackupName (place.name);

    for (int attempt = 1; attempt <= 100; ++attempt)
    {
        const auto asideName = attempt == 1 ? damagedName : damagedName + "-" + juce::String (attempt);

        if (place.folder.renameToNewName (place.backupName, asideName))
        {
            log ("The backupfile can't be read; it is kept as " + place.folder.getChildFile (asideName).getFullPathName());
            return true;
        }
    }

    return fail ("Can't read backupfile " + place.backupPath
                   + " of an earlier installation\nMove it out of the folder and try the installation again!");
}

// Only an impulse file's header holds its presets: its samples are passed over, and may be
// damaged or missing without losing them.
bool ImpulseFileInstaller::readPresets (RegularFileInput& input, const juce::String& path, PresetElements& presets,
                                        juce::String& failure)
{
    VOK_ImpulseFile file;
    const bool rewound = input.setPosition (0);
    ReadAheadInputStream fields (input);

    if (! rewound || ! file.loadFromStream (fields, path, VOK_ImpulseFile::SampleReading::skip))
    {
        failure = "Can't open old " + path + getOpenFailureAdvice (file.getReadFailure());
        return false;
    }

    presets = file.getPresetElements();
    return true;
}

// The old file is opened once, without following a link, and that very file is backed up
// and read, whatever its name points at meanwhile.
bool ImpulseFileInstaller::readOldFile (const Place& place, bool makeBackup, PresetElements& oldPresets)
{
    RegularFileInput old (place.folder, place.name);

    if (! old.openedOk() && old.getKind() == Kind::missing)
        return fail ("Can't open old " + place.path);

    if (! old.openedOk() && old.getKind() != Kind::regularFile && old.getKind() != Kind::unknown)
        return fail (old.getFailure());

    if (makeBackup && ! createBackup (place, old))
        return false;

    if (! old.openedOk())
        return fail (withReason ("Can't open old " + place.path, old.getFailure()));

    log ("Read old " + place.path);
    juce::String failure;

    if (! readPresets (old, place.path, oldPresets, failure))
        return fail (failure);

    for (auto* preset : oldPresets)
        log ("Read old Preset " + VOK_ImpulseFile::getPresetName (*preset));

    // The old file goes when the new one is renamed over it, so that it stays in place
    // until the new one is complete.
    log ("Delete old " + place.path);
    return true;
}

bool ImpulseFileInstaller::createBackup (const Place& place, RegularFileInput& old)
{
    log ("Create backup " + place.backupPath);

    // A file that can't be read can't be copied either; no second name is made for it.
    if (! old.openedOk())
        return fail ("Can't write backupfile " + place.backupPath);

    // The old file is never changed in place once backed up, so a second name for it holds
    // its bytes as well as a copy would, made at once and without copying them.
    if (old.linkAs (place.folder, place.backupName))
        return true;

    // A copy keeps the old file's permissions, and is on the disk before the old file can go.
    FileReplacement copy (place.folder, place.backupName);

    if (copy.openedOk() && copy.setPermissions (old) && old.setPosition (0)
         && copyInChunks (old, copy.getStream()) && copy.createTarget (FileReplacement::Flush::toDisk))
        return true;

    return fail ("Can't write backupfile " + place.backupPath);
}

bool ImpulseFileInstaller::writeNewFile (const Place& place, bool replacing, const juce::String& writeFailure,
                                         const std::function<bool (juce::OutputStream&)>& writeContents)
{
    FileReplacement newFile (place.folder, place.name);

    if (! newFile.openedOk())
        return fail (withReason ("Can't write (1)" + place.path, newFile.getFailureReason()));

    if (! writeContents (newFile.getStream()) || ! newFile.finishWriting())
        return fail (withReason (writeFailure, newFile.getFailureReason()));

    if (replacing ? newFile.replaceTarget() : newFile.createTarget())
        return true;

    if (! replacing)
        return fail (withReason (writeFailure, newFile.getFailureReason()));

    // Only where another program may hold the file is closing it any help.
    return fail (newFile.failedBecauseInUse() ? "Can't overwrite " + place.path + retryAdvice
                                             : withReason ("Can't overwrite " + place.path, newFile.getFailureReason()));
}

bool ImpulseFileInstaller::writeNewBytes (const Place& place, const char* data, int size, bool replacing)
{
    log ("Write " + place.path);

    return writeNewFile (place, replacing, "Can't write (2) " + place.path, [data, size] (juce::OutputStream& out)
    {
        return CarriedBytes::write (out, data, (size_t) size);
    });
}

// The new file and the old presets it lacks are put together in memory and written once,
// the new file's samples copied as they are. The log tells the steps in the order in which
// a reader of it expects them: the new file written, then the presets merged into it and saved.
bool ImpulseFileInstaller::writeMerged (const Place& place, const PresetElements& oldPresets,
                                        const char* data, int size, bool replacing)
{
    // The samples are written from the new bytes themselves, which outlive newFile.
    VOK_ImpulseFile newFile;
    auto newBytes = std::make_shared<juce::MemoryInputStream> (data, (size_t) size, false);

    if (! newFile.loadFromStream (newBytes, place.path, VOK_ImpulseFile::SampleReading::keepStored))
    {
        // The new bytes go in as they are, so that the old file is not left in between.
        if (! writeNewBytes (place, data, size, replacing))
            return false;

        log ("Preset merging");
        log ("Read new " + place.path);
        return fail ("Can't open new " + place.path + getOpenFailureAdvice (newFile.getReadFailure()));
    }

    juce::StringArray mergeLines { "Preset merging", "Read new " + place.path };
    const auto newNames = newFile.getPresetNames();

    for (auto& name : newNames)
        mergeLines.add ("Read new Preset " + name);

    const bool merged = carryOverPresets (oldPresets, newFile, newNames, mergeLines);

    if (! merged)
    {
        if (! writeNewBytes (place, data, size, replacing))
            return false;

        for (auto& line : mergeLines)
            log (line);

        return true;
    }

    log ("Write " + place.path);

    for (auto& line : mergeLines)
        log (line);

    log ("Save " + place.path);

    // The merged header is new; the samples are the carried ones, copied by the system.
    return writeNewFile (place, replacing, "Can't save " + place.path + "for merging", [&newFile] (juce::OutputStream& out)
    {
        CarriedBytes::Output carried (out);
        return newFile.writeToStream (carried);
    });
}

// A line more for a failure, where the system gave a reason.
juce::String ImpulseFileInstaller::withReason (const juce::String& message, const juce::String& reason)
{
    return reason.isEmpty() ? message : message + "\n" + reason;
}

// Closing other programs can't mend a file's bytes, nor give the installer rights, so no such
// advice is given: the advice says which of the two it is.
juce::String ImpulseFileInstaller::getOpenFailureAdvice (const ReadFailure& failure)
{
    const auto& reason = failure.reason;

    switch (failure.cause)
    {
        case ReadFailure::Cause::notFound:
        case ReadFailure::Cause::unreadable:
            return "\nThe file can't be read" + (reason.isNotEmpty() ? ": " + reason : juce::String());

        case ReadFailure::Cause::none:
        case ReadFailure::Cause::headerNotParsed:
        case ReadFailure::Cause::recordRefused:
        case ReadFailure::Cause::disagreesWithHeader:
        default:
            return "\nThe file is damaged" + (reason.isNotEmpty() ? ": " + reason : juce::String());
    }
}

// Adds to into every preset of from whose name intoNames lacks (ignoring case). The preset
// elements themselves are carried over, so two old presets whose names differ only in case
// both arrive with their own data. The list is not refreshed meanwhile, so a name is only
// ever checked against into's own presets.
bool ImpulseFileInstaller::carryOverPresets (const PresetElements& from, VOK_ImpulseFile& into,
                                             const juce::StringArray& intoNames, juce::StringArray& lines)
{
    // Names go through a set and the list is sorted once, so that files with thousands of
    // presets merge in time that grows with their number, not its square.
    std::unordered_set<juce::String> namesInto;

    for (auto& name : intoNames)
        namesInto.insert (name.toLowerCase());

    PresetElements carried;

    for (auto* preset : from)
    {
        const auto name = VOK_ImpulseFile::getPresetName (*preset);
        lines.add ("Check " + name);

        if (namesInto.count (name.toLowerCase()) != 0)
            continue;

        lines.add ("Merge user preset " + name);
        carried.add (new juce::XmlElement (*preset));
    }

    into.addPresetElements (carried);
    return ! carried.isEmpty();
}

// Presets of from whose names into lacks (ignoring case) join into: the old file's presets
// win over those of an earlier backup.
void ImpulseFileInstaller::addMissingPresets (PresetElements& into, const PresetElements& from)
{
    std::unordered_set<juce::String> names;

    for (auto* preset : into)
        names.insert (VOK_ImpulseFile::getPresetName (*preset).toLowerCase());

    for (auto* preset : from)
        if (names.insert (VOK_ImpulseFile::getPresetName (*preset).toLowerCase()).second)
            into.add (new juce::XmlElement (*preset));
}

bool ImpulseFileInstaller::deleteBackup (const Place& place)
{
    log ("Delete BackupFile " + place.backupPath);

    // The new file's name must be on the disk before the last other copy of the user's
    // presets goes.
    if (! place.folder.sync() || ! place.folder.remove (place.backupName))
        return fail ("Can't delete backupfile " + place.backupPath);

    return true;
}
