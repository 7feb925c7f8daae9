#include "ImpulseFileInstaller.h"

#include <FileReplacement.h>
#include <ReadAheadInputStream.h>
#include <unordered_set>

#include <VOK_ImpulseFile.h>

const char* const ImpulseFileInstaller::retryAdvice = "\nClose all other audio applications and try the installation again!";

namespace
{
    // The bytes go to the file in pieces of this size, each straight from the caller's memory
    // (the pack's, from the program's own file), so that no copy of a whole impulse is made.
    constexpr size_t writeChunkSize = 1 << 20;

    bool writeInChunks (juce::OutputStream& out, const char* data, size_t size)
    {
        for (size_t written = 0; written < size;)
        {
            const auto chunk = juce::jmin (writeChunkSize, size - written);

            if (! out.write (data + written, chunk))
                return false;

            written += chunk;
        }

        return true;
    }

    // The backup of every existing impulse file is copied (where it can't be linked) in the
    // same large pieces as the new bytes.
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

ImpulseFileInstaller::ImpulseFileInstaller (InstallReporter& reporterToUse, int lockTimeout)
    : reporter (reporterToUse), lockTimeoutMs (lockTimeout)
{
}

juce::File ImpulseFileInstaller::getBackupFile (const juce::File& target)
{
    return juce::File (target.getFullPathName() + ".setup_backupfile");
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
bool ImpulseFileInstaller::installImpulseFile (const juce::File& target, const char* data, int size)
{
    const auto backup = getBackupFile (target);

    log ({});
    log ("Write IR " + target.getFileName());

    // Another installation or a vok command in this folder would read a file while this one
    // replaces it, and one of the two would lose what the other wrote.
    const auto folder = target.getParentDirectory();
    const FolderLock folderLock (folder, lockTimeoutMs);

    if (folderLock.isHeldByAnother())
        return fail (FolderLock::describeFailure (folder));

    const auto targetKind = RegularFileInput::getKindOf (target);
    const auto backupKind = RegularFileInput::getKindOf (backup);

    return checkPlaces (target, targetKind, backup, backupKind)
        && installLocked (target, targetKind, backup, backupKind, data, size);
}

// Only regular files are read or replaced: a link where the target or the backup goes could
// make a privileged run read or write someone else's file, and a FIFO would never answer.
bool ImpulseFileInstaller::checkPlaces (const juce::File& target, Kind targetKind, const juce::File& backup, Kind backupKind)
{
    if (targetKind == Kind::directory)
        return fail (target.getFullPathName() + " is a Directory");

    for (auto [file, kind] : { std::make_pair (target, targetKind), std::make_pair (backup, backupKind) })
        if (kind == Kind::link || kind == Kind::special || kind == Kind::unknown)
            return fail (RegularFileInput::describe (file, kind));

    if (targetKind == Kind::missing)
        return true;

    // A file the user marked read-only stays as it is, whatever else is beside it.
    const RegularFileInput existing (target);

    if (existing.openedOk() && existing.isMarkedReadOnly())
        return fail ("Can't overwrite " + target.getFullPathName() + retryAdvice);

    return true;
}

bool ImpulseFileInstaller::installLocked (const juce::File& target, Kind targetKind, const juce::File& backup,
                                          Kind backupKind, const char* data, int size)
{
    if (backupKind == Kind::regularFile)
    {
        if (! takeOverEarlierBackup (target, backup))
            return false;

        // The backup may have become the target.
        targetKind = RegularFileInput::getKindOf (target);
    }

    const bool targetExists = targetKind != Kind::missing;
    PresetElements oldPresets;

    if (targetExists && ! readOldFile (target, backup, oldPresets))
        return false;

    if (data == nullptr || size < 0)
        return writeNewFile (target, targetExists, [] (juce::OutputStream&) { return false; });

    const bool installed = oldPresets.isEmpty() ? writeNewBytes (target, data, size, targetExists)
                                                : writeMerged (target, oldPresets, data, size, targetExists);

    return installed && (! targetExists || deleteBackup (backup));
}

//==============================================================================
// A backup beside the target means an earlier run stopped half-way, and it may hold the only
// copy of some user presets. Its presets are put into the target first (the target's own
// win), and only then is it deleted; the installation then goes on as over any old file.
bool ImpulseFileInstaller::takeOverEarlierBackup (const juce::File& target, const juce::File& backup)
{
    log ("Found backupfile of an earlier installation " + backup.getFullPathName());

    // Closing other programs can't make it readable, and nothing here may replace or delete it.
    if (! RegularFileInput (backup).openedOk())
        return fail ("Can't read backupfile " + backup.getFullPathName()
                       + " of an earlier installation\nMove it out of the folder and try the installation again!");

    if (RegularFileInput::getKindOf (target) == RegularFileInput::Kind::missing)
        return restoreFromBackup (target, backup);

    return mergeBackupIntoTarget (target, backup);
}

bool ImpulseFileInstaller::restoreFromBackup (const juce::File& target, const juce::File& backup)
{
    log ("Restore " + target.getFullPathName() + " from backupfile");

    if (! backup.moveFileTo (target))
        return fail ("Can't restore " + target.getFullPathName() + " from backupfile " + backup.getFullPathName());

    return true;
}

bool ImpulseFileInstaller::mergeBackupIntoTarget (const juce::File& target, const juce::File& backup)
{
    const auto path = target.getFullPathName();
    const auto backupPath = backup.getFullPathName();

    log ("Read old " + path);

    VOK_ImpulseFile targetFile;

    if (! loadClosedAgain (targetFile, target, VOK_ImpulseFile::SampleReading::keepStored))
        return fail ("Can't open old " + path + getOpenFailureAdvice (targetFile));

    log ("Read backup " + backupPath);

    VOK_ImpulseFile backupFile;

    if (! loadClosedAgain (backupFile, backup, VOK_ImpulseFile::SampleReading::skip))
        return fail ("Can't open old " + backupPath + getOpenFailureAdvice (backupFile));

    juce::StringArray mergeLines;
    const bool merged = carryOverPresets (backupFile.getPresetElements(), targetFile, targetFile.getPresetNames(), mergeLines);

    for (auto& line : mergeLines)
        log (line);

    if (merged && ! saveMerged (targetFile, target))
        return false;

    return deleteBackup (backup);
}

// Windows neither replaces nor deletes a file that is still open, so neither file stays open
// while the merged one is saved over the target and the backup is deleted.
bool ImpulseFileInstaller::loadClosedAgain (VOK_ImpulseFile& impulse, const juce::File& file,
                                            VOK_ImpulseFile::SampleReading samples)
{
    RegularFileInput input (file);

    if (! input.openedOk())
        return false;

    return impulse.loadFromStream (input, file.getFullPathName(), samples);
}

//==============================================================================
// The old file is opened once, without following a link, and that very file is backed up
// and read, whatever its name points at meanwhile.
bool ImpulseFileInstaller::readOldFile (const juce::File& target, const juce::File& backup, PresetElements& oldPresets)
{
    const auto path = target.getFullPathName();
    RegularFileInput old (target);

    if (! old.openedOk() && old.getKind() == RegularFileInput::Kind::missing)
        return fail ("Can't open old " + path + retryAdvice);

    if (! old.openedOk() && old.getKind() != RegularFileInput::Kind::regularFile)
        return fail (RegularFileInput::describe (target, old.getKind()));

    if (! createBackup (old, backup))
        return false;

    log ("Read old " + path);

    // Only the old file's presets are taken over, so its samples are passed over. Its header
    // and block frames are short fields, read through a buffer rather than one call each.
    VOK_ImpulseFile oldFile;
    const bool rewound = old.setPosition (0);
    ReadAheadInputStream oldFields (old);

    if (! rewound || ! oldFile.loadFromStream (oldFields, path, VOK_ImpulseFile::SampleReading::skip))
        return fail ("Can't open old " + path + getOpenFailureAdvice (oldFile));

    oldPresets = oldFile.getPresetElements();

    for (auto* preset : oldPresets)
        log ("Read old Preset " + VOK_ImpulseFile::getPresetName (*preset));

    // The old file goes when the new one is renamed over it, so that it stays in place
    // until the new one is complete.
    log ("Delete old " + path);
    return true;
}

bool ImpulseFileInstaller::createBackup (RegularFileInput& old, const juce::File& backup)
{
    const auto backupPath = backup.getFullPathName();

    log ("Create backup " + backupPath);

    // A file that can't be read can't be copied either; no second name is made for it.
    if (! old.openedOk())
        return fail ("Can't write backupfile " + backupPath);

    // Anything still at the backup's name is not a file of ours (a file there was taken over
    // above), so it is left alone rather than replaced.
    if (RegularFileInput::getKindOf (backup) != RegularFileInput::Kind::missing)
        return fail ("Can't write backupfile " + backupPath);

    // The old file is never changed in place once backed up, so a second name for it holds
    // its bytes as well as a copy would, made at once and without copying them.
    if (old.linkAs (backup))
        return true;

    FileReplacement copy (backup);

    if (copy.openedOk() && old.setPosition (0) && copyInChunks (old, copy.getStream()) && copy.createTarget())
        return true;

    return fail ("Can't write backupfile " + backupPath);
}

bool ImpulseFileInstaller::writeNewFile (const juce::File& target, bool replacing,
                                         const std::function<bool (juce::OutputStream&)>& writeContents)
{
    const auto path = target.getFullPathName();

    log ("Write " + path);

    FileReplacement newFile (target);

    if (! newFile.openedOk())
        return fail ("Can't write (1)" + path);

    if (! writeContents (newFile.getStream()) || ! newFile.finishWriting())
        return fail ("Can't write (2) " + path);

    if (replacing ? newFile.replaceTarget() : newFile.createTarget())
        return true;

    return fail (replacing ? "Can't overwrite " + path + retryAdvice : "Can't write (2) " + path);
}

bool ImpulseFileInstaller::writeNewBytes (const juce::File& target, const char* data, int size, bool replacing)
{
    return writeNewFile (target, replacing, [data, size] (juce::OutputStream& out)
    {
        return writeInChunks (out, data, (size_t) size);
    });
}

// The new file and the old presets it lacks are put together in memory and written once,
// the new file's samples copied as they are. The log tells the steps in the order in which
// a reader of it expects them: the new file written, then the presets merged into it and saved.
bool ImpulseFileInstaller::writeMerged (const juce::File& target, const PresetElements& oldPresets,
                                        const char* data, int size, bool replacing)
{
    const auto path = target.getFullPathName();

    // The samples are written from the new bytes themselves, which outlive newFile.
    VOK_ImpulseFile newFile;
    auto newBytes = std::make_shared<juce::MemoryInputStream> (data, (size_t) size, false);

    if (! newFile.loadFromStream (newBytes, path, VOK_ImpulseFile::SampleReading::keepStored))
    {
        // The new bytes go in as they are, so that the old file is not left in between.
        if (! writeNewBytes (target, data, size, replacing))
            return false;

        log ("Preset merging");
        log ("Read new " + path);
        return fail ("Can't open new " + path + getOpenFailureAdvice (newFile));
    }

    juce::StringArray mergeLines { "Preset merging", "Read new " + path };
    const auto newNames = newFile.getPresetNames();

    for (auto& name : newNames)
        mergeLines.add ("Read new Preset " + name);

    const bool merged = carryOverPresets (oldPresets, newFile, newNames, mergeLines);

    if (merged)
        mergeLines.add ("Save " + path);

    const bool written = merged ? writeNewFile (target, replacing, [&newFile] (juce::OutputStream& out) { return newFile.writeToStream (out); })
                                : writeNewBytes (target, data, size, replacing);

    if (! written)
        return false;

    for (auto& line : mergeLines)
        log (line);

    return true;
}

// Closing other programs helps with a file that is busy, never with one the installer may not read.
juce::String ImpulseFileInstaller::getOpenFailureAdvice (const VOK_ImpulseFile& file)
{
    if (file.getReadFailure() != VOK_ImpulseFile::ReadFailure::unreadable)
        return retryAdvice;

    const auto logLines = juce::StringArray::fromLines (file.getReadLog().trimEnd());
    return "\nThe file can't be read: " + logLines[logLines.size() - 1];
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

bool ImpulseFileInstaller::saveMerged (VOK_ImpulseFile& merged, const juce::File& target)
{
    const auto path = target.getFullPathName();

    log ("Save " + path);

    if (! merged.saveToFile (path))
        return fail ("Can't save " + path + "for merging");

    return true;
}

bool ImpulseFileInstaller::deleteBackup (const juce::File& backup)
{
    const auto backupPath = backup.getFullPathName();

    log ("Delete BackupFile " + backupPath);

    if (! backup.deleteFile())
        return fail ("Can't delete backupfile " + backupPath);

    return true;
}
