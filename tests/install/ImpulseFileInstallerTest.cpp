#include "InstallTestFiles.h"
#include "RecordingReporter.h"

#include <install/ImpulseFileInstaller.h>
#include <impulse/VOK_ImpulseFile.h>

#include <gtest/gtest.h>

#if ! JUCE_WINDOWS
 #include <csignal>
 #include <sys/resource.h>
 #include <sys/stat.h>
#endif

using namespace InstallTestFiles;

namespace
{
    //==============================================================================
    // The impulse files of the cases, made once.
    struct Files
    {
        juce::MemoryBlock newPlain         = makeImpulseFileBytes (2, 2000, {});
        juce::MemoryBlock newWithPresets   = makeImpulseFileBytes (2, 2000, { { "Ambient", "new-a" }, { "VOCAL", "new-v" }, { "-Bright", "new-b" } });
        juce::MemoryBlock oldPlain         = makeImpulseFileBytes (2, 500, {});
        juce::MemoryBlock oldCaseOnly      = makeImpulseFileBytes (2, 500, { { "ambient", "old-a" }, { "vocal", "old-v" } });
        juce::MemoryBlock oldWithUser      = makeImpulseFileBytes (2, 500, { { "vocal", "old-v" }, { "Cathedral", "old-c" } });
        juce::MemoryBlock oldWithLargeUser = makeImpulseFileBytes (1, 100, { { "Cathedral", makeIncompressibleText (8000, 42) } });
        juce::MemoryBlock tinyNew          = makeImpulseFileBytes (1, 100, {}, {});
        juce::MemoryBlock garbage          = juce::MemoryBlock ("not an impulse file", 19);
    };

    const Files& files()
    {
        static const Files made;
        return made;
    }

    bool immutableFlagWorks()
    {
        static const bool works = []
        {
            const auto folder = createTemporaryFolder ("install-probe");
            const auto probe = folder.getChildFile ("probe");
            probe.create();
            const bool set = setImmutable (probe, true);
            const bool locked = set && ! probe.deleteFile();
            setImmutable (probe, false);
            folder.deleteRecursively();
            return locked;
        }();

        return works;
    }

   #if JUCE_WINDOWS
    // Windows has no file-size limit per process: the scenes that need one are skipped there.
    using rlim_t = juce::uint64;
    constexpr bool fileSizeLimitWorks = false;

    struct FileSizeLimit
    {
        explicit FileSizeLimit (rlim_t) {}
    };
   #else
    constexpr bool fileSizeLimitWorks = true;

    /** Lowers the file-size limit of this process for its lifetime: writes past it fail with
        EFBIG instead of a signal. The one way to make a write fail for root without a full disk.
    */
    class FileSizeLimit
    {
    public:
        explicit FileSizeLimit (rlim_t maximumBytes)
        {
            getrlimit (RLIMIT_FSIZE, &previous);
            previousHandler = std::signal (SIGXFSZ, SIG_IGN);
            rlimit lowered = previous;
            lowered.rlim_cur = maximumBytes;
            setrlimit (RLIMIT_FSIZE, &lowered);
        }

        ~FileSizeLimit()
        {
            setrlimit (RLIMIT_FSIZE, &previous);
            std::signal (SIGXFSZ, previousHandler);
        }

    private:
        rlimit previous {};
        void (*previousHandler) (int) = SIG_DFL;
    };
   #endif

    //==============================================================================
    struct Scene
    {
        juce::File folder, target, backup, outside;
        juce::MemoryBlock entry;
        const char* entryData = nullptr;
        RecordingReporter reporter;
        rlim_t fileSizeLimit = 0;
        bool needsImmutableFlag = false;
        juce::Array<juce::File> immutableFiles;

        bool linksUnavailable = false;

        /** A symbolic link at place; where the system can't make one, the case is skipped. */
        void makeLink (const juce::File& linkTarget, const juce::File& place)
        {
            if (! linkTarget.createSymbolicLink (place, true))
                linksUnavailable = true;
        }

        void makeImmutable (const juce::File& file)
        {
            if (setImmutable (file, true))
                immutableFiles.add (file);
        }

        juce::String expand (juce::String line) const
        {
            return line.replace ("{P}", target.getFullPathName())
                       .replace ("{F}", target.getParentDirectory().getFullPathName())
                       .replace ("{B}", backup.getFullPathName())
                       .replace ("{N}", target.getFileName())
                       .replace ("{A}", ImpulseFileInstaller::retryAdvice);
        }

        void put (const juce::File& file, const juce::MemoryBlock& bytes) const  { writeBytes (file, bytes); }

        void expectBytes (const juce::File& file, const juce::MemoryBlock& bytes) const
        {
            EXPECT_TRUE (file.existsAsFile()) << file.getFullPathName();
            EXPECT_TRUE (readBytes (file) == bytes) << file.getFullPathName() << " does not hold the expected bytes";
        }

        /** The folder holds exactly these names (no backup, no partial file left behind) besides
            the writers' lock file, which stays for the next writer.
        */
        void expectFolderHolds (juce::StringArray names) const
        {
            names.sort (false);
            EXPECT_EQ (namesIn (folder).joinIntoString (" | "), names.joinIntoString (" | "));
        }

        /** A failure after the backup was made leaves the old file in place, its backup beside
            it, and nothing else.
        */
        void expectOldFileKeptWithBackup (const juce::MemoryBlock& old) const
        {
            expectBytes (target, old);
            expectBytes (backup, old);
            expectFolderHolds ({ target.getFileName(), backup.getFileName() });
        }
    };

    juce::String damagedBackupName (const Scene& s)
    {
        return ImpulseFileInstaller::getDamagedBackupName (s.target.getFileName());
    }

    struct InstallCase
    {
        const char* name;
        std::function<void (Scene&)> arrange;
        std::vector<const char*> expectedLines;
        bool expectedResult;
        std::function<void (Scene&)> check;
    };

    /** The lines up to the deletion of an old file whose presets give these lines. */
    std::vector<const char*> oldFileSteps (std::initializer_list<const char*> oldPresetLines)
    {
        std::vector<const char*> lines { "", "Write IR {N}", "Create backup {B}", "Read old {P}" };
        lines.insert (lines.end(), oldPresetLines);
        lines.push_back ("Delete old {P}");
        return lines;
    }

    std::vector<const char*> operator+ (std::vector<const char*> a, std::initializer_list<const char*> b)
    {
        a.insert (a.end(), b);
        return a;
    }

    const auto mergingOldWithUser = std::initializer_list<const char*> {
        "Write {P}", "Preset merging", "Read new {P}",
        "Read new Preset Ambient", "Read new Preset -Bright", "Read new Preset VOCAL",
        "Check Cathedral", "Merge user preset Cathedral", "Check vocal", "Save {P}" };

    // The same with a new file that has no presets of its own.
    const auto mergingOldWithUserIntoPlain = std::initializer_list<const char*> {
        "Write {P}", "Preset merging", "Read new {P}",
        "Check Cathedral", "Merge user preset Cathedral", "Check vocal", "Merge user preset vocal", "Save {P}" };

    const PresetList mergedWithCathedral { { "Ambient", "new-a" }, { "-Bright", "new-b" }, { "Cathedral", "old-c" }, { "VOCAL", "new-v" } };

    //==============================================================================
    const std::vector<InstallCase> installCases
    {
        { "TargetAbsent",
          [] (Scene& s) { s.entry = files().newPlain; },
          { "", "Write IR {N}", "Write {P}" }, true,
          [] (Scene& s) { s.expectBytes (s.target, s.entry); s.expectFolderHolds ({ s.target.getFileName() }); } },

        { "TargetWithoutPresets",
          [] (Scene& s) { s.entry = files().newWithPresets; s.put (s.target, files().oldPlain); },
          oldFileSteps ({}) + std::initializer_list<const char*> { "Write {P}", "Delete BackupFile {B}" }, true,
          [] (Scene& s) { s.expectBytes (s.target, s.entry); s.expectFolderHolds ({ s.target.getFileName() }); } },

        { "PresetsAllInNewFileInOtherCase",
          [] (Scene& s) { s.entry = files().newWithPresets; s.put (s.target, files().oldCaseOnly); },
          oldFileSteps ({ "Read old Preset ambient", "Read old Preset vocal" })
              + std::initializer_list<const char*> { "Write {P}", "Preset merging", "Read new {P}",
                  "Read new Preset Ambient", "Read new Preset -Bright", "Read new Preset VOCAL",
                  "Check ambient", "Check vocal", "Delete BackupFile {B}" }, true,
          // Nothing merged, so the file is not written again: it keeps the new file's bytes.
          [] (Scene& s) { s.expectBytes (s.target, s.entry); s.expectFolderHolds ({ s.target.getFileName() }); } },

        { "PresetMissingFromNewFile",
          [] (Scene& s) { s.entry = files().newWithPresets; s.put (s.target, files().oldWithUser); },
          oldFileSteps ({ "Read old Preset Cathedral", "Read old Preset vocal" })
              + mergingOldWithUser + std::initializer_list<const char*> { "Delete BackupFile {B}" }, true,
          [] (Scene& s)
          {
              EXPECT_EQ (readPresets (s.target), mergedWithCathedral);
              VOK_ImpulseFile merged;
              ASSERT_TRUE (merged.readFile (s.target.getFullPathName()));
              EXPECT_EQ (merged.getHeader().getStringAttribute ("filename"), s.target.getFullPathName());
              s.expectFolderHolds ({ s.target.getFileName() });
          } },

        //==============================================================================
        { "TargetIsDirectory",
          [] (Scene& s) { s.entry = files().newPlain; s.target.createDirectory(); s.put (s.target.getChildFile ("inside"), files().garbage); },
          { "", "Write IR {N}", "{P} is a Directory" }, false,
          [] (Scene& s)
          {
              EXPECT_TRUE (s.target.isDirectory());
              s.expectBytes (s.target.getChildFile ("inside"), files().garbage);
              s.expectFolderHolds ({ s.target.getFileName() });
          } },

        { "BackupNameTakenByDirectory",
          [] (Scene& s) { s.entry = files().newPlain; s.put (s.target, files().oldWithUser); s.put (s.backup.getChildFile ("inside"), files().garbage); },
          { "", "Write IR {N}", "Create backup {B}", "Can't write backupfile {B}" }, false,
          [] (Scene& s)
          {
              s.expectBytes (s.target, files().oldWithUser);
              s.expectBytes (s.backup.getChildFile ("inside"), files().garbage);
          } },

        { "BackupNameTakenByEmptyDirectory",
          [] (Scene& s) { s.entry = files().newPlain; s.put (s.target, files().oldWithUser); s.backup.createDirectory(); },
          { "", "Write IR {N}", "Create backup {B}", "Can't write backupfile {B}" }, false,
          [] (Scene& s)
          {
              s.expectBytes (s.target, files().oldWithUser);
              EXPECT_TRUE (s.backup.isDirectory()) << "a directory in the backup's place is not ours to remove";
              s.expectFolderHolds ({ s.target.getFileName(), s.backup.getFileName() });
          } },

        { "FolderReadOnly",
          [] (Scene& s) { s.entry = files().newPlain; s.put (s.target, files().oldWithUser); s.needsImmutableFlag = true; s.makeImmutable (s.folder); },
          { "", "Write IR {N}", "Create backup {B}", "Can't write backupfile {B}" }, false,
          [] (Scene& s) { s.expectBytes (s.target, files().oldWithUser); s.expectFolderHolds ({ s.target.getFileName() }); } },

        { "OldFileNotAnImpulseFile",
          [] (Scene& s) { s.entry = files().newPlain; s.put (s.target, files().garbage); },
          { "", "Write IR {N}", "Create backup {B}", "Read old {P}", "Can't open old {P}\nThe file is damaged: Header: syntax error at line 1" }, false,
          [] (Scene& s) { s.expectBytes (s.target, files().garbage); s.expectBytes (s.backup, files().garbage); } },

        { "OldFileCantBeDeleted",
          [] (Scene& s) { s.entry = files().newPlain; s.put (s.target, files().oldWithUser); s.needsImmutableFlag = true; s.makeImmutable (s.target); },
          // The new file is complete before it is renamed over the old one, which refuses.
          // Nothing another program holds: the system's reason is given, not advice to close programs.
          oldFileSteps ({ "Read old Preset Cathedral", "Read old Preset vocal" }) + mergingOldWithUserIntoPlain
              + std::initializer_list<const char*> { "Can't overwrite {P}\nOperation not permitted" }, false,
          [] (Scene& s) { s.expectOldFileKeptWithBackup (files().oldWithUser); } },

        { "ParentIsAPlainFile",
          [] (Scene& s)
          {
              s.entry = files().newPlain;
              s.put (s.folder.getChildFile ("plain"), files().garbage);
              s.target = s.folder.getChildFile ("plain").getChildFile (s.target.getFileName());
              s.backup = ImpulseFileInstaller::getBackupFile (s.target);
          },
          // The target's folder is opened before anything is written in it.
          { "", "Write IR {N}", "Can't write (1){P}\n{F} is not a folder" }, false,
          [] (Scene& s) { s.expectBytes (s.folder.getChildFile ("plain"), files().garbage); s.expectFolderHolds ({ "plain" }); } },

        { "FolderReadOnlyAfterOldDeleted",
          [] (Scene& s)
          {
              s.entry = files().newPlain;
              s.put (s.target, files().oldWithUser);
              s.needsImmutableFlag = true;
              s.reporter.onLine = [&s] (const juce::String& line) { if (line.startsWith ("Write /")) s.makeImmutable (s.folder); };
          },
          oldFileSteps ({ "Read old Preset Cathedral", "Read old Preset vocal" }) + mergingOldWithUserIntoPlain
              + std::initializer_list<const char*> { "Can't write (1){P}\nOperation not permitted" }, false,
          // The old file goes only when the new one takes its place.
          [] (Scene& s) { s.expectOldFileKeptWithBackup (files().oldWithUser); } },

        { "WriteFailsPartWay",
          [] (Scene& s) { s.entry = files().newPlain; s.put (s.target, files().oldPlain); s.fileSizeLimit = (rlim_t) files().newPlain.getSize() - 100; },
          oldFileSteps ({}) + std::initializer_list<const char*> { "Write {P}", "Can't write (2) {P}\nFile too large" }, false,
          // No half-written file is left, and a full disk leaves the old file in its place.
          [] (Scene& s) { s.expectOldFileKeptWithBackup (files().oldPlain); } },

        { "WriteFailsWhenStreamIsClosed",
          // Smaller than the stream's buffer: the write itself succeeds, and only closing the
          // stream reaches the disk.
          [] (Scene& s) { s.entry = files().tinyNew; s.fileSizeLimit = (rlim_t) files().tinyNew.getSize() - 10; },
          { "", "Write IR {N}", "Write {P}", "Can't write (2) {P}\nFile too large" }, false,
          [] (Scene& s) { s.expectFolderHolds ({}); } },

        { "NewFileNotAnImpulseFile",
          [] (Scene& s) { s.entry = files().garbage; s.put (s.target, files().oldWithUser); },
          oldFileSteps ({ "Read old Preset Cathedral", "Read old Preset vocal" })
              + std::initializer_list<const char*> { "Write {P}", "Preset merging", "Read new {P}", "Can't open new {P}\nThe file is damaged: Header: syntax error at line 1" }, false,
          [] (Scene& s) { s.expectBytes (s.target, files().garbage); s.expectBytes (s.backup, files().oldWithUser); } },

        { "MergedFileCantBeWritten",
          [] (Scene& s)
          {
              s.entry = files().newWithPresets;
              s.put (s.target, files().oldWithLargeUser);
              s.fileSizeLimit = (rlim_t) juce::jmax (files().newWithPresets.getSize(), files().oldWithLargeUser.getSize()) + 1000;
          },
          // The new file and the merged presets are written at once, so the old file stays
          // in place when that fails; the backup keeps the user's preset too.
          oldFileSteps ({ "Read old Preset Cathedral" })
              + std::initializer_list<const char*> { "Write {P}", "Preset merging", "Read new {P}",
                  "Read new Preset Ambient", "Read new Preset -Bright", "Read new Preset VOCAL",
                  "Check Cathedral", "Merge user preset Cathedral", "Save {P}", "Can't save {P}for merging\nFile too large" }, false,
          [] (Scene& s) { s.expectOldFileKeptWithBackup (files().oldWithLargeUser); } },

        { "BackupCantBeDeleted",
          [] (Scene& s)
          {
              s.entry = files().newWithPresets;
              s.put (s.target, files().oldWithUser);
              s.needsImmutableFlag = true;
              s.reporter.onLine = [&s] (const juce::String& line) { if (line.startsWith ("Delete BackupFile")) s.makeImmutable (s.backup); };
          },
          oldFileSteps ({ "Read old Preset Cathedral", "Read old Preset vocal" })
              + mergingOldWithUser + std::initializer_list<const char*> { "Delete BackupFile {B}", "Can't delete backupfile {B}" }, false,
          [] (Scene& s) { EXPECT_EQ (readPresets (s.target), mergedWithCathedral); s.expectBytes (s.backup, files().oldWithUser); } },

        //==============================================================================
        // What an earlier run that stopped half-way leaves behind.
        { "BackupOfEarlierRunBesideTarget",
          [] (Scene& s)
          {
              s.entry = files().newWithPresets;
              s.put (s.target, makeImpulseFileBytes (2, 300, { { "Cathedral", "old-c" }, { "Organ", "target-o" } }));
              s.put (s.backup, makeImpulseFileBytes (2, 300, { { "Organ", "backup-o" }, { "Hall", "backup-h" } }));
          },
          // The backup stands for the old file's backup: the presets of both go into the one new
          // file, and it goes once that is complete.
          { "", "Write IR {N}", "Found backupfile of an earlier installation {B}", "Read backup {B}",
            "Read old {P}", "Read old Preset Cathedral", "Read old Preset Organ",
            "Delete old {P}", "Write {P}", "Preset merging", "Read new {P}",
            "Read new Preset Ambient", "Read new Preset -Bright", "Read new Preset VOCAL",
            "Check Cathedral", "Merge user preset Cathedral", "Check Organ", "Merge user preset Organ",
            "Check Hall", "Merge user preset Hall", "Save {P}", "Delete BackupFile {B}" }, true,
          // The old file's own presets win over the backup's of the same name.
          [] (Scene& s)
          {
              EXPECT_EQ (readPresets (s.target), (PresetList { { "Ambient", "new-a" }, { "-Bright", "new-b" }, { "Cathedral", "old-c" },
                                                               { "Hall", "backup-h" }, { "Organ", "target-o" }, { "VOCAL", "new-v" } }));
              s.expectFolderHolds ({ s.target.getFileName() });
          } },

        { "BackupOfEarlierRunWithoutTarget",
          [] (Scene& s) { s.entry = files().newWithPresets; s.put (s.backup, files().oldWithUser); },
          std::vector<const char*> { "", "Write IR {N}", "Found backupfile of an earlier installation {B}", "Read backup {B}",
                                     "Restore {P} from backupfile",
                                     "Create backup {B}", "Read old {P}", "Read old Preset Cathedral", "Read old Preset vocal",
                                     "Delete old {P}" }
              + mergingOldWithUser + std::initializer_list<const char*> { "Delete BackupFile {B}" }, true,
          [] (Scene& s) { EXPECT_EQ (readPresets (s.target), mergedWithCathedral); s.expectFolderHolds ({ s.target.getFileName() }); } },

        // A backup that is no impulse file neither stops every run nor is lost: it is kept aside
        // under a name that says so, and the old file gets a backup of its own.
        { "BackupOfEarlierRunUnreadable",
          [] (Scene& s) { s.entry = files().newPlain; s.put (s.target, files().oldWithUser); s.put (s.backup, files().garbage); },
          std::vector<const char*> { "", "Write IR {N}", "Found backupfile of an earlier installation {B}", "Read backup {B}",
                                     "The backupfile can't be read; it is kept as {B}.damaged",
                                     "Create backup {B}", "Read old {P}", "Read old Preset Cathedral", "Read old Preset vocal", "Delete old {P}" }
              + mergingOldWithUserIntoPlain + std::initializer_list<const char*> { "Delete BackupFile {B}" }, true,
          [] (Scene& s)
          {
              EXPECT_EQ (readPresets (s.target), (PresetList { { "Cathedral", "old-c" }, { "vocal", "old-v" } }));
              s.expectBytes (s.folder.getChildFile (damagedBackupName (s)), files().garbage);
              s.expectFolderHolds ({ s.target.getFileName(), damagedBackupName (s) });
          } },

        { "BackupOfEarlierRunUnreadableBesideOneKeptAside",
          [] (Scene& s)
          {
              s.entry = files().newPlain;
              s.put (s.backup, files().garbage);
              s.put (s.folder.getChildFile (damagedBackupName (s)), files().oldPlain);
          },
          { "", "Write IR {N}", "Found backupfile of an earlier installation {B}", "Read backup {B}",
            "The backupfile can't be read; it is kept as {B}.damaged-2", "Write {P}" }, true,
          [] (Scene& s)
          {
              s.expectBytes (s.target, s.entry);
              s.expectBytes (s.folder.getChildFile (damagedBackupName (s)), files().oldPlain);
              s.expectBytes (s.folder.getChildFile (damagedBackupName (s) + "-2"), files().garbage);
              s.expectFolderHolds ({ s.target.getFileName(), damagedBackupName (s), damagedBackupName (s) + "-2" });
          } },

        // Under the folder's lock no other writer is alive: the unfinished files of the target and
        // of its backup are a killed writer's, and go. Another file's stays.
        { "SiblingsOfAKilledWriterAreRemoved",
          [] (Scene& s)
          {
              s.entry = files().newPlain;
              s.put (s.folder.getChildFile (s.target.getFileName() + ".0123456789abcdef.saving"), files().garbage);
              s.put (s.folder.getChildFile (s.backup.getFileName() + ".fedcba9876543210.saving"), files().garbage);
              s.put (s.folder.getChildFile ("Other.vok.0123456789abcdef.saving"), files().garbage);
          },
          { "", "Write IR {N}", "Write {P}" }, true,
          [] (Scene& s)
          {
              s.expectBytes (s.target, s.entry);
              s.expectFolderHolds ({ s.target.getFileName(), "Other.vok.0123456789abcdef.saving" });
          } },

        // The installer needs only the old file's header: samples cut short lose no preset.
        { "OldFileWithSamplesCutShort",
          [] (Scene& s)
          {
              s.entry = files().newWithPresets;
              s.put (s.target, juce::MemoryBlock (files().oldWithUser.getData(), files().oldWithUser.getSize() - 50));
          },
          oldFileSteps ({ "Read old Preset Cathedral", "Read old Preset vocal" })
              + mergingOldWithUser + std::initializer_list<const char*> { "Delete BackupFile {B}" }, true,
          [] (Scene& s) { EXPECT_EQ (readPresets (s.target), mergedWithCathedral); s.expectFolderHolds ({ s.target.getFileName() }); } },

        //==============================================================================
        // What a hostile or unlucky folder holds where the target or its backup goes.
        { "DuplicateNamesInOldFileAllKeepTheirData",
          [] (Scene& s)
          {
              s.entry = files().newWithPresets;
              s.put (s.target, makeImpulseFileBytes (1, 100, { { "Hall", "A" }, { "hall", "B" }, { "Room", "R1" }, { "Room", "R2" } }));
          },
          oldFileSteps ({ "Read old Preset Hall", "Read old Preset hall", "Read old Preset Room", "Read old Preset Room" })
              + std::initializer_list<const char*> { "Write {P}", "Preset merging", "Read new {P}",
                  "Read new Preset Ambient", "Read new Preset -Bright", "Read new Preset VOCAL",
                  "Check Hall", "Merge user preset Hall", "Check hall", "Merge user preset hall",
                  "Check Room", "Merge user preset Room", "Check Room", "Merge user preset Room",
                  "Save {P}", "Delete BackupFile {B}" }, true,
          [] (Scene& s)
          {
              EXPECT_EQ (readPresets (s.target), (PresetList { { "Ambient", "new-a" }, { "-Bright", "new-b" }, { "Hall", "A" }, { "hall", "B" },
                                                               { "Room", "R1" }, { "Room", "R2" }, { "VOCAL", "new-v" } }));
          } },

        { "TargetIsALinkToAFileOutside",
          [] (Scene& s) { s.entry = files().newPlain; s.put (s.outside, files().oldWithUser); s.makeLink (s.outside, s.target); },
          { "", "Write IR {N}", "{P} is a link, which is never followed" }, false,
          [] (Scene& s) { EXPECT_TRUE (s.target.isSymbolicLink()); s.expectBytes (s.outside, files().oldWithUser); s.expectFolderHolds ({ s.target.getFileName() }); } },

        { "BackupIsALinkToAFileOutside",
          [] (Scene& s) { s.entry = files().newPlain; s.put (s.target, files().oldPlain); s.put (s.outside, files().oldWithUser); s.makeLink (s.outside, s.backup); },
          { "", "Write IR {N}", "{B} is a link, which is never followed" }, false,
          [] (Scene& s)
          {
              s.expectBytes (s.target, files().oldPlain);
              s.expectBytes (s.outside, files().oldWithUser);
              s.expectFolderHolds ({ s.target.getFileName(), s.backup.getFileName() });
          } },

        { "BackupIsADanglingLink",
          [] (Scene& s) { s.entry = files().newPlain; s.put (s.target, files().oldPlain); s.makeLink (s.outside, s.backup); },
          { "", "Write IR {N}", "{B} is a link, which is never followed" }, false,
          [] (Scene& s) { EXPECT_FALSE (s.outside.exists()); s.expectBytes (s.target, files().oldPlain); } },

       #if ! JUCE_WINDOWS
        { "TargetIsAFifo",
          [] (Scene& s) { s.entry = files().newPlain; mkfifo (s.target.getFullPathName().toRawUTF8(), 0666); },
          { "", "Write IR {N}", "{P} is not a regular file (a FIFO, device or socket)" }, false,
          [] (Scene& s) { s.expectFolderHolds ({ s.target.getFileName() }); } },

        { "BackupIsAFifo",
          [] (Scene& s) { s.entry = files().newPlain; s.put (s.target, files().oldPlain); mkfifo (s.backup.getFullPathName().toRawUTF8(), 0666); },
          { "", "Write IR {N}", "{B} is not a regular file (a FIFO, device or socket)" }, false,
          [] (Scene& s) { s.expectBytes (s.target, files().oldPlain); } },
       #endif

        // One rule for what the user protected, whether a backup of an earlier run is there or not.
        { "TargetReadOnly",
          [] (Scene& s) { s.entry = files().newPlain; s.put (s.target, files().oldWithUser); s.target.setReadOnly (true); },
          { "", "Write IR {N}", "Can't overwrite {P}: the file is read-only" }, false,
          [] (Scene& s) { s.expectBytes (s.target, files().oldWithUser); s.expectFolderHolds ({ s.target.getFileName() }); } },

        { "TargetReadOnlyWithBackupOfEarlierRun",
          [] (Scene& s) { s.entry = files().newPlain; s.put (s.target, files().oldWithUser); s.put (s.backup, files().oldPlain); s.target.setReadOnly (true); },
          { "", "Write IR {N}", "Can't overwrite {P}: the file is read-only" }, false,
          [] (Scene& s) { s.expectBytes (s.target, files().oldWithUser); s.expectBytes (s.backup, files().oldPlain); } },
    };

    void PrintTo (const InstallCase& c, std::ostream* os)   { *os << c.name; }

    //==============================================================================
    class ImpulseFileInstallation : public ::testing::TestWithParam<InstallCase>
    {
    protected:
        void SetUp() override
        {
            scene.folder = createTemporaryFolder ("install-file");
            scene.target = scene.folder.getChildFile ("Club small stereo.vok");
            scene.backup = ImpulseFileInstaller::getBackupFile (scene.target);
            elsewhere = createTemporaryFolder ("install-elsewhere");
            scene.outside = elsewhere.getChildFile ("someone else's.vok");
        }

        void TearDown() override
        {
            elsewhere.deleteRecursively();

            for (auto& file : scene.immutableFiles)
                setImmutable (file, false);

            scene.folder.deleteRecursively();
        }

        Scene scene;
        juce::File elsewhere;
    };
}

TEST (ImpulseFileInstallerNames, BackupIsTheTargetPathWithSuffix)
{
    // An absolute path of this system's own form: "/tmp/..." is no absolute path on Windows.
    const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("impulses");
    const auto target = folder.getChildFile ("Club small stereo.vok");
    EXPECT_EQ (ImpulseFileInstaller::getBackupFile (target).getFullPathName(),
               folder.getFullPathName() + juce::File::getSeparatorString() + "Club small stereo.vok.setup_backupfile");
    EXPECT_EQ (juce::String (ImpulseFileInstaller::retryAdvice),
               juce::String ("\nClose all other audio applications and try the installation again!"));
}

TEST_P (ImpulseFileInstallation, LogsBoxesAndDisk)
{
    const auto& c = GetParam();

    if (c.arrange != nullptr)
        c.arrange (scene);

    if (scene.needsImmutableFlag && ! immutableFlagWorks())
        GTEST_SKIP() << "this file system has no immutable flag, which is the only way to refuse root a change";

    if (scene.linksUnavailable)
        GTEST_SKIP() << "this system can't make symbolic links here";

    if (scene.fileSizeLimit > 0 && ! fileSizeLimitWorks)
        GTEST_SKIP() << "this system has no file-size limit per process, the one way to make a write fail part-way";

    ASSERT_GT (scene.entry.getSize(), 0u);

    bool result;

    {
        std::unique_ptr<FileSizeLimit> limit;

        if (scene.fileSizeLimit > 0)
            limit = std::make_unique<FileSizeLimit> (scene.fileSizeLimit);

        ImpulseFileInstaller installer (scene.reporter);
        result = installer.installImpulseFile (scene.target, (const char*) scene.entry.getData(), (int) scene.entry.getSize());
    }

    for (auto& file : scene.immutableFiles)
        setImmutable (file, false);

    scene.immutableFiles.clear();

    juce::StringArray expected;

    for (auto* line : c.expectedLines)
        expected.add (scene.expand (line));

    EXPECT_EQ (result, c.expectedResult);
    EXPECT_EQ (scene.reporter.lines.joinIntoString ("\n|"), expected.joinIntoString ("\n|"));

    // A failure is reported once more with a box, as the last thing the call does.
    if (c.expectedResult)
        EXPECT_TRUE (scene.reporter.boxes.isEmpty()) << scene.reporter.boxes.joinIntoString ("\n");
    else
        EXPECT_EQ (scene.reporter.boxes, juce::StringArray (expected[expected.size() - 1]));

    c.check (scene);
}

INSTANTIATE_TEST_SUITE_P (Cases, ImpulseFileInstallation, ::testing::ValuesIn (installCases),
                          [] (const auto& info) { return std::string (info.param.name); });

//==============================================================================
TEST (ImpulseFileInstallerInput, MissingBytesAreAWriteFailureNotAnEmptyFile)
{
    const auto folder = createTemporaryFolder ("install-input");
    const auto target = folder.getChildFile ("Living Room stereo.vok");

    for (auto [data, size] : { std::pair<const char*, int> { nullptr, 100 }, std::pair<const char*, int> { "abc", -1 } })
    {
        RecordingReporter reporter;
        ImpulseFileInstaller installer (reporter);

        EXPECT_FALSE (installer.installImpulseFile (target, data, size));
        EXPECT_EQ (reporter.boxes, juce::StringArray ("Can't write (2) " + target.getFullPathName()));
        EXPECT_FALSE (target.exists());
        EXPECT_EQ (namesIn (folder), juce::StringArray());
    }

    folder.deleteRecursively();
}

TEST (ImpulseFileInstallerInput, LargeFileIsWrittenWhole)
{
    // Larger than the stream's buffer many times over, and not a multiple of it.
    const auto bytes = makeImpulseFileBytes (4, 250000, {});
    ASSERT_GT (bytes.getSize(), 3u * 1000 * 1000);

    const auto folder = createTemporaryFolder ("install-large");
    const auto target = folder.getChildFile ("Swimming Pool true stereo.vok");
    RecordingReporter reporter;
    ImpulseFileInstaller installer (reporter);

    EXPECT_TRUE (installer.installImpulseFile (target, (const char*) bytes.getData(), (int) bytes.getSize()));
    EXPECT_TRUE (readBytes (target) == bytes);
    folder.deleteRecursively();
}
