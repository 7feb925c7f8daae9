#include "ImpulseFileBytes.h"
#include "TemporaryFolder.h"

#include <safeio/FileReplacement.h>
#include <safeio/FolderLock.h>
#include <safeio/Utf8Text.h>
#include <safeio/RegularFileInput.h>
#include <safeio/ReplaceableTarget.h>
#include <impulse/VOK_ImpulseFile.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#if ! JUCE_WINDOWS
 #include <grp.h>
 #include <sys/socket.h>
 #include <sys/stat.h>
 #include <sys/un.h>
 #include <sys/wait.h>
 #include <unistd.h>
#endif

using namespace ImpulseFileBytes;

namespace
{
    juce::StringArray namesIn (const juce::File& folder)
    {
        juce::StringArray names;

        for (auto& f : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findFilesAndDirectories | juce::File::ignoreHiddenFiles))
            names.add (f.getFile().getFileName());

        names.sort (false);
        return names;
    }

   #if ! JUCE_WINDOWS
    // The unprivileged user and group of Debian and most other systems.
    constexpr uid_t nobodyId = 65534;

    int modeOf (const juce::File& file)
    {
        struct stat info {};
        return lstat (file.getFullPathName().toRawUTF8(), &info) == 0 ? (int) (info.st_mode & 07777) : -1;
    }

    /** Runs check in a child process that has dropped to the user nobody, and returns its exit
        status (-1 when the child could not drop its rights). Root passes every permission check,
        so what an ordinary user may do is asked of one.
    */
    int runAsNobody (const std::function<int()>& check)
    {
        const auto child = fork();

        if (child == 0)
        {
            const bool dropped = setgroups (0, nullptr) == 0 && setgid (nobodyId) == 0 && setuid (nobodyId) == 0;
            _exit (dropped ? check() : 255);
        }

        int status = 0;

        if (child < 0 || waitpid (child, &status, 0) != child || ! WIFEXITED (status) || WEXITSTATUS (status) == 255)
            return -1;

        return WEXITSTATUS (status);
    }
   #endif

   #if ! JUCE_WINDOWS
    bool makeSocket (const juce::File& file)
    {
        const auto handle = socket (AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy (address.sun_path, file.getFullPathName().toRawUTF8(), sizeof (address.sun_path) - 1);
        const bool made = bind (handle, (sockaddr*) &address, sizeof (address)) == 0;
        close (handle);
        return made;
    }
   #endif

    /** Something other than a regular file where a writer's target goes. */
    struct HostilePlace
    {
        const char* name;
        std::function<bool (const juce::File& place, const juce::File& outside)> make;
        RegularFileInput::Kind kind;
    };

    const HostilePlace hostilePlaces[]
    {
        { "LinkToAFileOutside", [] (const juce::File& place, const juce::File& outside) { return outside.createSymbolicLink (place, true); },
          RegularFileInput::Kind::link },
        { "DanglingLink", [] (const juce::File& place, const juce::File& outside)
          { return outside.getSiblingFile ("not there").createSymbolicLink (place, true); },
          RegularFileInput::Kind::link },
        { "Directory", [] (const juce::File& place, const juce::File&) { return place.createDirectory().wasOk(); },
          RegularFileInput::Kind::directory },
       #if ! JUCE_WINDOWS
        { "Fifo", [] (const juce::File& place, const juce::File&) { return mkfifo (place.getFullPathName().toRawUTF8(), 0666) == 0; },
          RegularFileInput::Kind::special },
        { "Socket", [] (const juce::File& place, const juce::File&) { return makeSocket (place); },
          RegularFileInput::Kind::special },
       #endif
    };

    void PrintTo (const HostilePlace& place, std::ostream* os)   { *os << place.name; }

    class HostileTarget : public ::testing::TestWithParam<HostilePlace>
    {
    protected:
        TemporaryFolder folder, elsewhere;
    };
}

TEST_P (HostileTarget, IsNeitherReadNorWrittenNorReplaced)
{
    const auto outside = elsewhere.write ("someone else's.vok", juce::MemoryBlock ("private", 7));
    const auto place = folder.getFile ("Hall stereo.vok");

    if (! GetParam().make (place, outside))
        GTEST_SKIP() << "this system can't make a " << GetParam().name;

    RegularFileInput input (place);
    EXPECT_FALSE (input.openedOk());
    EXPECT_EQ ((int) input.getKind(), (int) GetParam().kind);
    EXPECT_EQ ((int) RegularFileInput::getKindOf (place), (int) GetParam().kind);

    juce::String failure;
    const auto openFolder = OpenFolder::openParentOf (place, OpenFolder::Missing::fail, failure);
    ASSERT_NE (openFolder, nullptr) << failure;
    const ReplaceableTarget target (*openFolder, place.getFileName());
    EXPECT_EQ (target.getRefusal(), ReplaceableTarget::Refusal::notRegularFile);
    EXPECT_EQ (target.describeRefusal(), RegularFileInput::describe (place, GetParam().kind));

    VOK_ImpulseFile impulse;
    EXPECT_FALSE (impulse.saveToFile (place.getFullPathName()));

    EXPECT_EQ ((int) RegularFileInput::getKindOf (place), (int) GetParam().kind);
    EXPECT_EQ (readFile (outside), juce::MemoryBlock ("private", 7));
    EXPECT_EQ (namesIn (folder.getFolder()), juce::StringArray (place.getFileName())) << "a sibling was left behind";
    EXPECT_EQ (namesIn (elsewhere.getFolder()), juce::StringArray (outside.getFileName()));
}

INSTANTIATE_TEST_SUITE_P (Places, HostileTarget, ::testing::ValuesIn (hostilePlaces),
                          [] (const auto& info) { return std::string (info.param.name); });

// Where nothing is, or a regular file the user may change, a new file may go; a file the user
// marked read-only stays, and the refusal says why.
TEST (ReplaceableTarget, OnlyWhatTheUserMayChangeIsReplaced)
{
    using Refusal = ReplaceableTarget::Refusal;
    TemporaryFolder folder;
    const auto writable = folder.write ("writable.vok", juce::MemoryBlock ("a", 1));
    const auto readOnly = folder.write ("read-only.vok", juce::MemoryBlock ("b", 1));
    ASSERT_TRUE (readOnly.setReadOnly (true));

    juce::String failure;
    const auto openFolder = OpenFolder::openParentOf (writable, OpenFolder::Missing::fail, failure);
    ASSERT_NE (openFolder, nullptr) << failure;

    struct Case { const char* name; bool exists; Refusal refusal; juce::String refusalText; };
    const Case cases[] = {
        { "missing.vok",   false, Refusal::none,            {} },
        { "writable.vok",  true,  Refusal::none,            {} },
        { "read-only.vok", true,  Refusal::protectedByUser, "Can't overwrite " + readOnly.getFullPathName() + ": the file is read-only" },
    };

    for (auto& c : cases)
    {
        const ReplaceableTarget target (*openFolder, c.name);
        EXPECT_EQ (target.exists(), c.exists) << c.name;
        EXPECT_EQ (target.getRefusal(), c.refusal) << c.name;
        EXPECT_EQ (target.mayBeReplaced(), c.refusal == Refusal::none) << c.name;
        EXPECT_EQ (target.describeRefusal(), c.refusalText) << c.name;
    }

    readOnly.setReadOnly (false);
}

//==============================================================================
TEST (FileReplacement, SiblingNamesAreUnpredictableAndTheTargetChangesOnlyWhenComplete)
{
    TemporaryFolder folder;
    const auto target = folder.write ("Room.vok", juce::MemoryBlock ("old", 3));

    juce::StringArray siblingNames;

    for (int i = 0; i < 2; ++i)
    {
        FileReplacement replacement (target);
        ASSERT_TRUE (replacement.openedOk());
        replacement.getStream().write ("unfinished", 10);

        for (auto& name : namesIn (folder.getFolder()))
            if (name != target.getFileName() && ! siblingNames.contains (name))
                siblingNames.add (name);

        EXPECT_EQ (readFile (target), juce::MemoryBlock ("old", 3));
    }

    // Each writer had a sibling of its own, and an unfinished one removes it.
    ASSERT_EQ (siblingNames.size(), 2);
    EXPECT_NE (siblingNames[0], siblingNames[1]);
    EXPECT_TRUE (siblingNames[0].startsWith ("Room.vok.") && siblingNames[0].endsWith (".saving")) << siblingNames[0];
    EXPECT_EQ (namesIn (folder.getFolder()), juce::StringArray ("Room.vok"));

    FileReplacement replacement (target);
    ASSERT_TRUE (replacement.openedOk());
    replacement.getStream().write ("new", 3);
    ASSERT_TRUE (replacement.replaceTarget());
    EXPECT_EQ (readFile (target), juce::MemoryBlock ("new", 3));
    EXPECT_EQ (namesIn (folder.getFolder()), juce::StringArray ("Room.vok"));
}

TEST (FileReplacement, CreatingNeverReplacesWhatAppearedMeanwhile)
{
    TemporaryFolder folder;
    const auto target = folder.getFile ("Room.vok.setup_backupfile");

    FileReplacement replacement (target);
    ASSERT_TRUE (replacement.openedOk());
    replacement.getStream().write ("copy", 4);

    folder.write (target.getFileName(), juce::MemoryBlock ("someone else's", 14));
    EXPECT_FALSE (replacement.createTarget());
    EXPECT_EQ (readFile (target), juce::MemoryBlock ("someone else's", 14));
}

#if ! JUCE_WINDOWS
TEST (FileReplacement, NewFileKeepsTheOldFilesPermissions)
{
    TemporaryFolder folder;
    const auto target = folder.write ("Room.vok", juce::MemoryBlock ("old", 3));
    ASSERT_EQ (chmod (target.getFullPathName().toRawUTF8(), 0640), 0);

    FileReplacement replacement (target);
    replacement.getStream().write ("new", 3);
    ASSERT_TRUE (replacement.replaceTarget());

    struct stat info {};
    ASSERT_EQ (stat (target.getFullPathName().toRawUTF8(), &info), 0);
    EXPECT_EQ (info.st_mode & 07777, 0640u);
}
#endif

// The file system takes names of up to 255 bytes; the sibling's name is shortened to fit, so a
// name as long as that is saved like any other.
TEST (FileReplacement, LongestNamesAreSavedAndReplaced)
{
    juce::String cjk;

    for (int i = 0; i < 78; ++i)
        cjk += (juce::juce_wchar) (0x4e00 + i);

    const juce::String names[] { cjk + ".vok", juce::String::repeatedString ("a", 251) + ".vok" };

    for (auto& name : names)
    {
        ASSERT_LE (name.getNumBytesAsUTF8(), 255u);
        TemporaryFolder folder;
        const auto target = folder.getFile (name);

        for (auto* contents : { "first", "second" })
        {
            const bool replacing = target.existsAsFile();
            FileReplacement replacement (target);
            ASSERT_TRUE (replacement.openedOk()) << name.getNumBytesAsUTF8() << " bytes: " << replacement.getFailureReason();
            replacement.getStream().write (contents, std::strlen (contents));
            EXPECT_TRUE (replacing ? replacement.replaceTarget() : replacement.createTarget()) << replacement.getFailureReason();
            EXPECT_EQ (target.loadFileAsString(), contents) << name.getNumBytesAsUTF8();
        }

        EXPECT_EQ (namesIn (folder.getFolder()), juce::StringArray (name));
    }
}

#if ! JUCE_WINDOWS
// A writer that was killed leaves its sibling; the next one that holds the lock removes the
// siblings of the name it replaces, and nothing else: not another name's, not a name that only
// looks like one, not a folder or a link.
TEST (FileReplacement, StaleSiblingsOfTheNameAloneAreRemoved)
{
    TemporaryFolder folder, elsewhere;
    const auto outside = elsewhere.write ("someone else's", juce::MemoryBlock ("private", 7));

    enum class Make { file, folder, link };
    const struct { const char* name; Make make; bool removed; } cases[]
    {
        { "Room.vok.0123456789abcdef.saving",                    Make::file,   true },
        { "Room.vok.fedcba9876543210.saving",                    Make::file,   true },
        { "Room.vok.setup_backupfile.0123456789abcdef.saving",   Make::file,   false },
        { "Other.vok.0123456789abcdef.saving",                   Make::file,   false },
        { "Room.vok.0123456789ABCDEF.saving",                    Make::file,   false },
        { "Room.vok.0123456789abcde.saving",                     Make::file,   false },
        { "Room.vok.0123456789abcdef0.saving",                   Make::file,   false },
        { "Room.vok.0123456789abcdef.saving.old",                Make::file,   false },
        { "Room.vok.1111111111111111.saving",                    Make::folder, false },
        { "Room.vok.2222222222222222.saving",                    Make::link,   false },
    };

    for (auto& c : cases)
    {
        const auto file = folder.getFile (c.name);
        const bool made = c.make == Make::file   ? file.replaceWithText ("stale")
                        : c.make == Make::folder ? file.createDirectory().wasOk()
                                                 : outside.createSymbolicLink (file, true);
        ASSERT_TRUE (made) << c.name;
    }

    juce::String failure;
    const auto openFolder = OpenFolder::open (folder.getFolder(), OpenFolder::Missing::fail, failure);
    ASSERT_NE (openFolder, nullptr) << failure;
    FileReplacement::removeStaleSiblings (*openFolder, "Room.vok");

    for (auto& c : cases)
        EXPECT_NE (folder.getFile (c.name).exists() || folder.getFile (c.name).isSymbolicLink(), c.removed) << c.name;

    EXPECT_EQ (readFile (outside), juce::MemoryBlock ("private", 7));
}

// Standing for a writer killed mid-save: the sibling a replacement made is one removeStaleSiblings
// knows, the shortened one of a 255-byte name too.
TEST (FileReplacement, OwnSiblingIsRecognisedAsStale)
{
    for (auto& name : { juce::String ("Room.vok"), juce::String::repeatedString ("b", 251) + ".vok" })
    {
        TemporaryFolder folder;
        juce::String failure;
        const auto openFolder = OpenFolder::open (folder.getFolder(), OpenFolder::Missing::fail, failure);
        ASSERT_NE (openFolder, nullptr) << failure;

        FileReplacement killed (*openFolder, name);
        ASSERT_TRUE (killed.openedOk());
        ASSERT_EQ (namesIn (folder.getFolder()).size(), 1);

        FileReplacement::removeStaleSiblings (*openFolder, name);
        EXPECT_EQ (namesIn (folder.getFolder()), juce::StringArray()) << name.length();
    }
}

// Where no second name can be made, a backup is a copy: it keeps the original's permissions, so
// a file only its owner could read is not left readable by everyone.
TEST (FileReplacement, CopyKeepsTheSourcesPermissions)
{
    for (const int mode : { 0600, 0640, 0604 })
    {
        TemporaryFolder folder;
        const auto original = folder.write ("Room.vok", juce::MemoryBlock ("user presets", 12));
        ASSERT_EQ (chmod (original.getFullPathName().toRawUTF8(), (mode_t) mode), 0);

        RegularFileInput source (original);
        ASSERT_TRUE (source.openedOk());

        FileReplacement copy (folder.getFile ("Room.vok.setup_backupfile"));
        ASSERT_TRUE (copy.openedOk());
        EXPECT_TRUE (copy.setPermissions (source));
        copy.getStream().writeFromInputStream (source, -1);
        ASSERT_TRUE (copy.createTarget (FileReplacement::Flush::toDisk));

        EXPECT_EQ (modeOf (folder.getFile ("Room.vok.setup_backupfile")), mode);
        EXPECT_EQ (readFile (folder.getFile ("Room.vok.setup_backupfile")), juce::MemoryBlock ("user presets", 12));
    }
}
#endif

//==============================================================================
TEST (FolderLock, SecondWriterWaitsItsTimeThenFailsAndGetsTheLockOnceFree)
{
    TemporaryFolder folder;

    auto first = std::make_unique<FolderLock> (folder.getFolder(), "a test", 0);
    ASSERT_TRUE (first->isLocked());

    const auto start = juce::Time::getMillisecondCounterHiRes();
    const FolderLock second (folder.getFolder(), "a test", 200);
    EXPECT_FALSE (second.isLocked());
    EXPECT_TRUE (second.isHeldByAnother());
    EXPECT_GE (juce::Time::getMillisecondCounterHiRes() - start, 190.0);

    first.reset();
    const FolderLock third (folder.getFolder(), "a test", 0);
    EXPECT_TRUE (third.isLocked());

    // No folder is no writer in the way: the caller's own write reports it.
    const FolderLock missing (folder.getFile ("not there"), "a test", 1000);
    EXPECT_FALSE (missing.isLocked());
    EXPECT_FALSE (missing.isHeldByAnother());
}

// A waiting writer is told who holds the lock (for its log line) and may give the wait up.
TEST (FolderLock, WaiterLearnsTheHoldersKindAndMayGiveUp)
{
    TemporaryFolder folder;
    const FolderLock holder (folder.getFolder(), "vok add-preset", 0);
    ASSERT_TRUE (holder.isLocked());

    juce::String failure;
    const auto openFolder = OpenFolder::open (folder.getFolder(), OpenFolder::Missing::fail, failure);
    ASSERT_NE (openFolder, nullptr) << failure;

    juce::StringArray holders;
    const FolderLock waiter (*openFolder, "VOK Setup", FolderLock::defaultTimeoutMs, [&] (const juce::String& kind)
    {
        holders.add (kind);
        return holders.size() < 3;
    });

    EXPECT_FALSE (waiter.isLocked());
    EXPECT_TRUE (waiter.isHeldByAnother());
    EXPECT_TRUE (waiter.wasGivenUp());
   #if JUCE_WINDOWS
    const juce::String expected ("another installation or vok command");
   #else
    const auto expected = "vok add-preset (process " + juce::String ((int) getpid()) + ")";
   #endif
    EXPECT_EQ (holders, juce::StringArray (expected, expected, expected));
}

#if ! JUCE_WINDOWS
// The lock file can be opened only by those who may write the folder: reading the folder is not
// enough to hold every writer up. It stays after the run, for the next writer.
TEST (FolderLock, OnlyThoseWhoMayWriteTheFolderCanHoldIt)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to ask the user nobody";

    const struct { int folderMode, lockFileMode; bool nobodyLocks; } cases[]
    {
        { 0755, 0600, false },
        { 0775, 0660, false },
        { 0777, 0666, true },
    };

    for (auto& c : cases)
    {
        TemporaryFolder parent;
        ASSERT_EQ (chmod (parent.getFolder().getFullPathName().toRawUTF8(), 0755), 0);
        const auto folder = parent.getFile ("impulses");
        ASSERT_TRUE (folder.createDirectory().wasOk());
        ASSERT_EQ (chmod (folder.getFullPathName().toRawUTF8(), (mode_t) c.folderMode), 0);

        const auto tryToLock = [&folder]
        {
            const FolderLock lock (folder, "a reader", 0);
            return lock.isLocked() ? 1 : 0;
        };

        // Whether the file is there yet or was left by a writer before.
        EXPECT_EQ (runAsNobody (tryToLock), c.nobodyLocks ? 1 : 0) << std::oct << c.folderMode;
        { const FolderLock writer (folder, "a writer", 0); EXPECT_TRUE (writer.isLocked()); }
        EXPECT_EQ (modeOf (folder.getChildFile (FolderLock::lockFileName)), c.lockFileMode) << std::oct << c.folderMode;
        EXPECT_EQ (runAsNobody (tryToLock), c.nobodyLocks ? 1 : 0) << std::oct << c.folderMode;
    }
}

//==============================================================================
// A link is followed only where its maker could have gone anyway: the running user's own is,
// one that another (not root) user planted in a folder they don't own is not.
TEST (OpenFolder, LinksAreFollowedOnlyWhereTheirMakerIsTrusted)
{
    TemporaryFolder folder, elsewhere;
    const auto targetFolder = elsewhere.getFile ("impulses");
    ASSERT_TRUE (targetFolder.createDirectory().wasOk());
    const auto targetFile = elsewhere.write ("VOK.settings", juce::MemoryBlock ("settings", 8));

    const struct { const char* name; uid_t owner; bool followed; } cases[]
    {
        { "own", geteuid(), true },
        { "nobody's", nobodyId, false },
    };

    for (auto& c : cases)
    {
        const auto folderLink = folder.getFile (juce::String (c.name) + " folder");
        const auto fileLink = folder.getFile (juce::String (c.name) + " file");
        ASSERT_TRUE (targetFolder.createSymbolicLink (folderLink, true));
        ASSERT_TRUE (targetFile.createSymbolicLink (fileLink, true));

        if (c.owner != geteuid()
             && (lchown (folderLink.getFullPathName().toRawUTF8(), c.owner, c.owner) != 0
                  || lchown (fileLink.getFullPathName().toRawUTF8(), c.owner, c.owner) != 0))
            continue; // only root can give a link to another user

        juce::String failure;
        const auto opened = OpenFolder::open (folderLink, OpenFolder::Missing::fail, failure);
        EXPECT_EQ (opened != nullptr, c.followed) << c.name << ": " << failure;

        if (! c.followed)
        {
            EXPECT_EQ (failure, folderLink.getFullPathName() + " is a link, which is never followed") << c.name;
        }

        const auto here = OpenFolder::open (folder.getFolder(), OpenFolder::Missing::fail, failure);
        ASSERT_NE (here, nullptr) << failure;
        failure.clear();
        const auto location = here->resolve (fileLink.getFileName(), failure);
        EXPECT_EQ (location.folder != nullptr, c.followed) << c.name << ": " << failure;

        if (location.folder != nullptr)
        {
            EXPECT_EQ (location.name, targetFile.getFileName());
            RegularFileInput input (*location.folder, location.name);
            EXPECT_EQ (input.readEntireStreamAsString(), "settings");
        }

        RegularFileInput throughLink (fileLink, RegularFileInput::Links::followedIfTrusted);
        EXPECT_EQ ((int) throughLink.getKind(), (int) (c.followed ? FileKind::regularFile : FileKind::link)) << c.name;
        EXPECT_EQ (throughLink.readEntireStreamAsString(), c.followed ? "settings" : "") << c.name;
        EXPECT_EQ (throughLink.getFailure(), c.followed ? juce::String() : fileLink.getFullPathName() + " is a link, which is never followed")
            << c.name;
    }
}
#endif

//==============================================================================
TEST (Utf8Text, WellFormedUtf8)
{
    const struct { const char* bytes; bool wellFormed; } cases[]
    {
        { "plain ASCII", true },
        { "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb5", true },
        { "lone \x80 continuation", false },
        { "overlong slash \xc0\xaf", false },
        { "overlong \xe0\x80\xaf", false },
        { "surrogate \xed\xa0\x80", false },
        { "past U+10FFFF \xf4\x90\x80\x80", false },
        { "cut \xe2\x82", false },
        { "\xff\xfe", false },
    };

    for (auto& c : cases)
        EXPECT_EQ (Utf8Text::isWellFormed (c.bytes, std::strlen (c.bytes)), c.wellFormed) << c.bytes;
}
