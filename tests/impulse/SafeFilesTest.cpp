#include "ImpulseFileBytes.h"
#include "TemporaryFolder.h"

#include <FileReplacement.h>
#include <FolderLock.h>
#include <ImpulseFileFields.h>
#include <RegularFileInput.h>
#include <VOK_ImpulseFile.h>

#include <gtest/gtest.h>

#include <functional>

#if ! JUCE_WINDOWS
 #include <sys/socket.h>
 #include <sys/stat.h>
 #include <sys/un.h>
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

    VOK_ImpulseFile impulse;
    EXPECT_FALSE (impulse.saveToFile (place.getFullPathName()));

    EXPECT_EQ ((int) RegularFileInput::getKindOf (place), (int) GetParam().kind);
    EXPECT_EQ (readFile (outside), juce::MemoryBlock ("private", 7));
    EXPECT_EQ (namesIn (folder.getFolder()), juce::StringArray (place.getFileName())) << "a sibling was left behind";
    EXPECT_EQ (namesIn (elsewhere.getFolder()), juce::StringArray (outside.getFileName()));
}

INSTANTIATE_TEST_SUITE_P (Places, HostileTarget, ::testing::ValuesIn (hostilePlaces),
                          [] (const auto& info) { return std::string (info.param.name); });

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

//==============================================================================
TEST (FolderLock, SecondWriterWaitsItsTimeThenFailsAndGetsTheLockOnceFree)
{
    TemporaryFolder folder;

    auto first = std::make_unique<FolderLock> (folder.getFolder(), 0);
    ASSERT_TRUE (first->isLocked());

    const auto start = juce::Time::getMillisecondCounterHiRes();
    const FolderLock second (folder.getFolder(), 200);
    EXPECT_FALSE (second.isLocked());
    EXPECT_TRUE (second.isHeldByAnother());
    EXPECT_GE (juce::Time::getMillisecondCounterHiRes() - start, 190.0);

    first.reset();
    const FolderLock third (folder.getFolder(), 0);
    EXPECT_TRUE (third.isLocked());

    // No folder is no writer in the way: the caller's own write reports it.
    const FolderLock missing (folder.getFile ("not there"), 1000);
    EXPECT_FALSE (missing.isLocked());
    EXPECT_FALSE (missing.isHeldByAnother());
}

//==============================================================================
TEST (ImpulseFileFieldsText, WellFormedUtf8)
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
        EXPECT_EQ (ImpulseFileFields::isWellFormedUTF8 (c.bytes, std::strlen (c.bytes)), c.wellFormed) << c.bytes;
}
