#include "ImpulseFileInstaller.h"

#include <unordered_map>
#include <unordered_set>

#include <VOK_ImpulseFile.h>

#include <filesystem>

const char* const ImpulseFileInstaller::retryAdvice = "\nClose all other audio applications and try the installation again!";

namespace
{
    constexpr size_t outputBufferSize = 16384;

    // The bytes go to the file in pieces of this size, each straight from the caller's memory.
    // One write of a whole file is slower: when the source pages aren't mapped in yet (the
    // pack's data when the program has just started), the system stops the copy at each of
    // them and prepares the file's pages again, which costs three times the copy itself.
    constexpr size_t writeChunkSize = 1 << 20;

    // Reading one byte of every page maps the piece in before the system copies it, which
    // spares the interrupted copies described above (a fresh install gets about 15 % faster).
    void touchPages (const char* data, size_t size)
    {
        constexpr size_t pageSize = 4096;
        volatile char sink = 0;

        for (size_t i = 0; i < size; i += pageSize)
            sink = sink + data[i];
    }

    bool writeInChunks (juce::OutputStream& out, const char* data, size_t size)
    {
        for (size_t written = 0; written < size;)
        {
            const auto chunk = juce::jmin (writeChunkSize, size - written);
            touchPages (data + written, chunk);

            if (! out.write (data + written, chunk))
                return false;

            written += chunk;
        }

        return true;
    }

    // File::copyFileTo moves the bytes 8 KB at a time; the backup of every existing impulse file
    // is copied on each reinstall, so it goes in the same large pieces as the new bytes.
    bool copyInChunks (const juce::File& source, const juce::File& destination)
    {
        juce::FileInputStream in (source);
        juce::FileOutputStream out (destination, outputBufferSize);

        if (in.failedToOpen() || out.failedToOpen() || out.getPosition() != 0)
            return false;

        juce::HeapBlock<char> buffer (writeChunkSize);

        for (;;)
        {
            const auto numRead = in.read (buffer, (int) writeChunkSize);

            if (numRead < 0 || (numRead > 0 && ! out.write (buffer, (size_t) numRead)))
                return false;

            if (numRead == 0)
                return in.isExhausted();
        }
    }

    // The old file is never changed in place once backed up: it is deleted, and the new file
    // is written under its name as a file of its own. So a second name for the old file holds
    // its bytes as well as a copy would, and is made at once and without copying them. Where
    // the file system has no such names, the backup is copied.
    bool linkAsBackup (const juce::File& target, const juce::File& backup)
    {
        const auto toPath = [] (const juce::File& f) { return std::filesystem::u8path (f.getFullPathName().toRawUTF8()); };

        std::error_code error;
        std::filesystem::create_hard_link (toPath (target), toPath (backup), error);
        return ! error;
    }
}

ImpulseFileInstaller::ImpulseFileInstaller (InstallReporter& reporterToUse)
    : reporter (reporterToUse)
{
}

juce::File ImpulseFileInstaller::getBackupFile (const juce::File& target)
{
    return juce::File (target.getFullPathName() + ".setup_backupfile");
}

juce::File ImpulseFileInstaller::getPartialFile (const juce::File& file)
{
    return juce::File (file.getFullPathName() + ".setup_partial");
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
    const auto path = target.getFullPathName();
    const auto backup = getBackupFile (target);

    log ({});
    log ("Write IR " + target.getFileName());

    if (target.isDirectory())
        return fail (path + " is a Directory");

    if (backup.existsAsFile() && ! takeOverEarlierBackup (target, backup))
        return false;

    bool backupMade = false;
    VOK_ImpulseFile oldFile;
    juce::StringArray oldNames;

    if (target.exists())
    {
        if (! createBackup (target, backup))
            return false;

        backupMade = true;

        log ("Read old " + path);

        if (! oldFile.loadFromFile (path))
            return fail ("Can't open old " + path + getOpenFailureAdvice (oldFile));

        oldNames = oldFile.getPresetNames();

        // Only the old presets are carried over: its samples can make room for the new file's.
        oldFile.setSamplePool (nullptr);

        for (auto& name : oldNames)
            log ("Read old Preset " + name);

        log ("Delete old " + path);

        if (! target.deleteFile())
            return fail ("Can't overwrite " + path + retryAdvice);
    }

    if (! writeNewFile (target, data, size))
        return false;

    if (! oldNames.isEmpty() && ! mergeOldPresets (target, oldFile, oldNames))
        return false;

    return ! backupMade || deleteBackup (backup);
}

//==============================================================================
// A backup beside the target means an earlier run stopped half-way, and it may hold the only
// copy of some user presets. Its presets are put into the target first (the target's own
// win), and only then is it deleted; the installation then goes on as over any old file.
bool ImpulseFileInstaller::takeOverEarlierBackup (const juce::File& target, const juce::File& backup)
{
    log ("Found backupfile of an earlier installation " + backup.getFullPathName());

    if (! target.exists())
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

    if (! targetFile.loadFromFile (path))
        return fail ("Can't open old " + path + getOpenFailureAdvice (targetFile));

    log ("Read backup " + backupPath);

    VOK_ImpulseFile backupFile;

    // Read as what it is, an impulse file: loading by path would go by its suffix.
    if (! backupFile.readFile (backupPath))
        return fail ("Can't open old " + backupPath + getOpenFailureAdvice (backupFile));

    if (carryOverPresets (backupFile, backupFile.getPresetNames(), targetFile, targetFile.getPresetNames())
         && ! saveMerged (targetFile, target))
        return false;

    return deleteBackup (backup);
}

//==============================================================================
bool ImpulseFileInstaller::createBackup (const juce::File& target, const juce::File& backup)
{
    const auto backupPath = backup.getFullPathName();

    log ("Create backup " + backupPath);

    // Anything still at the backup's name is not a file of ours (a file there was taken over
    // above), so it is left alone rather than replaced.
    if (backup.exists())
        return fail ("Can't write backupfile " + backupPath);

    if (linkAsBackup (target, backup))
        return true;

    // Copied under another name first: a backup is either complete or absent.
    const auto partial = getPartialFile (backup);

    partial.deleteFile();

    if (copyInChunks (target, partial) && partial.getSize() == target.getSize() && partial.moveFileTo (backup))
        return true;

    partial.deleteFile();
    return fail ("Can't write backupfile " + backupPath);
}

bool ImpulseFileInstaller::writeNewFile (const juce::File& target, const char* data, int size)
{
    const auto path = target.getFullPathName();
    const auto partial = getPartialFile (target);

    log ("Write " + path);

    partial.deleteFile();

    bool written = false;

    {
        juce::FileOutputStream out (partial, outputBufferSize);

        // The stream appends to a file it finds; a leftover that could not be deleted is not
        // a place to write to.
        if (out.failedToOpen() || out.getPosition() != 0)
            return fail ("Can't write (1)" + path);

        written = data != nullptr && size >= 0 && writeInChunks (out, data, (size_t) size);
    }

    // Closing the stream writes out what it still holds, and that can fail too: only a file
    // of exactly size bytes counts as written.
    if (written && partial.getSize() == (juce::int64) size && partial.moveFileTo (target))
        return true;

    partial.deleteFile();
    return fail ("Can't write (2) " + path);
}

bool ImpulseFileInstaller::mergeOldPresets (const juce::File& target, VOK_ImpulseFile& oldFile,
                                            const juce::StringArray& oldNames)
{
    const auto path = target.getFullPathName();

    log ("Preset merging");
    log ("Read new " + path);

    VOK_ImpulseFile newFile;

    if (! newFile.loadFromFile (path))
        return fail ("Can't open new " + path + getOpenFailureAdvice (newFile));

    const auto newNames = newFile.getPresetNames();

    for (auto& name : newNames)
        log ("Read new Preset " + name);

    if (! carryOverPresets (oldFile, oldNames, newFile, newNames))
        return true;

    return saveMerged (newFile, target);
}

// Adds to into every preset of from whose name intoNames lacks (ignoring case); the list is
// not refreshed meanwhile, so a name is only ever checked against into's own presets.
// Closing other programs helps with a file that is busy, never with one the installer may not read.
juce::String ImpulseFileInstaller::getOpenFailureAdvice (const VOK_ImpulseFile& file)
{
    if (file.getReadFailure() != VOK_ImpulseFile::ReadFailure::unreadable)
        return retryAdvice;

    const auto logLines = juce::StringArray::fromLines (file.getReadLog().trimEnd());
    return "\nThe file can't be read: " + logLines[logLines.size() - 1];
}

bool ImpulseFileInstaller::carryOverPresets (VOK_ImpulseFile& from, const juce::StringArray& fromNames,
                                             VOK_ImpulseFile& into, const juce::StringArray& intoNames)
{
    // Names and data go through maps and the list is sorted once, so that files with
    // thousands of presets merge in time that grows with their number, not its square.
    std::unordered_set<juce::String> namesInto;

    for (auto& name : intoNames)
        namesInto.insert (name.toLowerCase());

    std::unordered_map<juce::String, juce::String> dataFrom;

    for (auto& [name, data] : from.getPresets())
        dataFrom.emplace (name.toLowerCase(), data);

    std::vector<VOK_ImpulseFile::NamedPreset> carried;

    for (auto& name : fromNames)
    {
        log ("Check " + name);

        if (namesInto.count (name.toLowerCase()) != 0)
            continue;

        log ("Merge user preset " + name);
        const auto data = dataFrom.find (name.toLowerCase());
        carried.emplace_back (name, data != dataFrom.end() ? data->second : juce::String());
    }

    into.addPresets (carried);
    return ! carried.empty();
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
