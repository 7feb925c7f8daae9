#include "InstallTestFiles.h"

#include <install/PluginSettings.h>
#include <PluginWrittenSettings.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include <sys/stat.h>

#if ! JUCE_WINDOWS
 #include <unistd.h>
#endif

using namespace InstallTestFiles;

namespace
{
   #if ! JUCE_WINDOWS
    // The unprivileged user of Debian and most other systems.
    constexpr uid_t nobodyId = 65534;
   #endif

    /** A settings file as the plug-in sees it: the raw form and every property in stored order. */
    struct StoredSettings
    {
        juce::String magic;
        juce::StringArray keys, values;
    };

    // Read by hand rather than with PropertiesFile, so that the test sees the bytes the plug-in sees.
    StoredSettings readBinarySettings (const juce::File& file)
    {
        StoredSettings stored;
        const auto bytes = readBytes (file);
        juce::MemoryInputStream in (bytes, false);

        stored.magic = juce::String (juce::CharPointer_UTF8 ((const char*) bytes.getData()), juce::jmin ((size_t) 4, bytes.getSize()));
        in.readInt();
        const int count = in.readInt();

        for (int i = 0; i < count && ! in.isExhausted(); ++i)
        {
            stored.keys.add (in.readString());
            stored.values.add (in.readString());
        }

        EXPECT_TRUE (in.isExhausted()) << "bytes after the last property of " << file.getFullPathName();
        return stored;
    }

    ino_t inodeOf (const juce::File& file)
    {
        struct stat info {};
        ::stat (file.getFullPathName().toRawUTF8(), &info);
        return info.st_ino;
    }

    class SettingsWrite : public ::testing::Test
    {
    protected:
        void SetUp() override      { folder = createTemporaryFolder ("install-settings"); file = folder.getChildFile ("config/VOK/VOK.settings"); }
        void TearDown() override   { folder.deleteRecursively(); }

        void writePath (const juce::String& path)
        {
            EXPECT_EQ (PluginSettings::writeDefaultImpulsePath (file, path), juce::String());
        }

        /** Makes a settings file in another of the framework's forms, holding these properties. */
        void prepare (juce::PropertiesFile::StorageFormat format, const juce::StringPairArray& properties)
        {
            auto options = PluginWrittenSettings::getOptions (false);
            options.storageFormat = format;
            options.millisecondsBeforeSaving = -1;
            juce::PropertiesFile settings (file, options);

            for (auto& key : properties.getAllKeys())
                settings.setValue (key, properties[key]);

            ASSERT_TRUE (settings.save());
        }

        juce::File folder, file;
    };
}

TEST_F (SettingsWrite, NoFileYetCreatesFolderAndBinaryFileWithOneProperty)
{
    writePath ("/home/user/VOK Impulses");

    ASSERT_TRUE (file.existsAsFile());
    const auto stored = readBinarySettings (file);
    EXPECT_EQ (stored.magic, "PROP");
    EXPECT_EQ (stored.keys, juce::StringArray ("DEFAULT_IMPULSE_PATH"));
    EXPECT_EQ (stored.values, juce::StringArray ("/home/user/VOK Impulses"));
    EXPECT_EQ (namesIn (file.getParentDirectory()), juce::StringArray (file.getFileName())) << "a sibling was left behind";
}

TEST_F (SettingsWrite, OtherPropertiesStayUnchanged)
{
    juce::StringPairArray properties;
    properties.set ("WINDOW_SIZE", "800 600");
    properties.set ("LAST_PRESET", juce::String (juce::CharPointer_UTF8 ("Hall \xc3\xa4")));
    prepare (juce::PropertiesFile::storeAsBinary, properties);

    writePath ("/data/impulses");

    const auto stored = readBinarySettings (file);
    EXPECT_EQ (stored.keys.size(), 3);
    EXPECT_EQ (stored.values[stored.keys.indexOf ("WINDOW_SIZE")], "800 600");
    EXPECT_EQ (stored.values[stored.keys.indexOf ("LAST_PRESET")], juce::String (juce::CharPointer_UTF8 ("Hall \xc3\xa4")));
    EXPECT_EQ (stored.values[stored.keys.indexOf ("DEFAULT_IMPULSE_PATH")], "/data/impulses");
}

TEST_F (SettingsWrite, SamePathAgainWritesNothing)
{
    writePath ("/data/impulses");

    const juce::Time longAgo (2001, 0, 1, 12, 0);
    ASSERT_TRUE (file.setLastModificationTime (longAgo));
    const auto before = readBytes (file);
    const auto inode = inodeOf (file);

    writePath ("/data/impulses");

    EXPECT_EQ (file.getLastModificationTime(), longAgo);
    EXPECT_EQ (inodeOf (file), inode);
    EXPECT_TRUE (readBytes (file) == before);
}

TEST_F (SettingsWrite, ChangedPathReplacesTheFileThroughASibling)
{
    writePath ("/data/impulses");
    const auto inode = inodeOf (file);

    if (inode == 0)
        GTEST_SKIP() << "this system gives files no inode numbers";

    writePath ("/data/other impulses");

    // A new file renamed over the old one: a reader never sees a half-written settings file.
    EXPECT_NE (inodeOf (file), inode);
    EXPECT_EQ (readBinarySettings (file).values, juce::StringArray ("/data/other impulses"));
    EXPECT_EQ (namesIn (file.getParentDirectory()), juce::StringArray (file.getFileName()));
}

TEST_F (SettingsWrite, KeyInOtherLetterCaseIsUpdatedInPlace)
{
    juce::StringPairArray properties;
    properties.set ("A_FIRST", "1");
    properties.set ("Default_Impulse_Path", "/old/path");
    properties.set ("Z_LAST", "2");
    prepare (juce::PropertiesFile::storeAsBinary, properties);

    writePath ("/new/path");

    const auto stored = readBinarySettings (file);
    EXPECT_EQ (stored.keys, juce::StringArray ({ "A_FIRST", "Default_Impulse_Path", "Z_LAST" }));
    EXPECT_EQ (stored.values, juce::StringArray ({ "1", "/new/path", "2" }));
}

TEST_F (SettingsWrite, CompressedAndXmlFormsAreReadAndWrittenBackAsBinary)
{
    for (auto format : { juce::PropertiesFile::storeAsCompressedBinary, juce::PropertiesFile::storeAsXML })
    {
        file.deleteFile();
        juce::StringPairArray properties;
        properties.set ("WINDOW_SIZE", "800 600");
        properties.set ("DEFAULT_IMPULSE_PATH", "/old/path");
        prepare (format, properties);

        const auto raw = readBytes (file);
        ASSERT_GE (raw.getSize(), 4u);
        EXPECT_NE (juce::String::createStringFromData (raw.getData(), 4), "PROP") << "the fixture should be in another form";

        writePath ("/new/path");

        const auto stored = readBinarySettings (file);
        EXPECT_EQ (stored.magic, "PROP") << (int) format;
        EXPECT_EQ (stored.keys.size(), 2) << (int) format;
        EXPECT_EQ (stored.values[stored.keys.indexOf ("WINDOW_SIZE")], "800 600") << (int) format;
        EXPECT_EQ (stored.values[stored.keys.indexOf ("DEFAULT_IMPULSE_PATH")], "/new/path") << (int) format;
    }
}

TEST_F (SettingsWrite, UnwritableLocationIsAReportedFailure)
{
    // Root may write anywhere, but not below a plain file.
    writeBytes (folder.getChildFile ("config"), juce::MemoryBlock ("x", 1));

   #if JUCE_WINDOWS
    const auto reason = "Can't create the folder " + file.getParentDirectory().getFullPathName();
   #else
    const auto reason = folder.getChildFile ("config").getFullPathName() + " is not a folder";
   #endif
    EXPECT_EQ (PluginSettings::writeDefaultImpulsePath (file, "/data/impulses"),
               "Can't write the settings file " + file.getFullPathName() + ": " + reason);
    EXPECT_FALSE (file.exists());
}

//==============================================================================
// A settings file that is there but can't be understood in full holds keys the installer
// doesn't know: it is never replaced, and the failure names it.
struct KeptSettingsCase
{
    const char* name;
    std::function<juce::MemoryBlock()> bytes;
    const char* expectedStart;
};

class KeptSettings : public SettingsWrite, public ::testing::WithParamInterface<KeptSettingsCase> {};

juce::MemoryBlock binarySettings (int count, std::initializer_list<const char*> fields, const char* magic = "PROP")
{
    juce::MemoryOutputStream out;
    out.write (magic, 4);
    out.writeInt (count);

    for (auto* field : fields)
        out.write (field, std::strlen (field) + 1);

    return out.getMemoryBlock();
}

const KeptSettingsCase keptSettingsCases[]
{
    { "NegativeCount",   [] { return binarySettings (-1, { "WINDOW_SIZE", "800 600" }); }, "The settings file " },
    { "CountTooLarge",   [] { return binarySettings (3, { "WINDOW_SIZE", "800 600" }); }, "The settings file " },
    { "TextNotEnded",    [] { auto b = binarySettings (1, { "WINDOW_SIZE" }); b.append ("800", 3); return b; }, "The settings file " },
    { "BytesAfterLast",  [] { auto b = binarySettings (1, { "WINDOW_SIZE", "800 600" }); b.append ("xy", 2); return b; }, "The settings file " },
    { "CountCut",        [] { return juce::MemoryBlock ("PROP\x01", 5); }, "The settings file " },
    { "CompressedJunk",  [] { return juce::MemoryBlock ("CPRPnot zlib at all", 19); }, "The settings file " },
    { "Junk",            [] { return juce::MemoryBlock ("\x01\x02junk that is no XML", 24); }, "The settings file " },
    { "OtherXmlRoot",    [] { return juce::MemoryBlock ("<OTHER/>", 8); }, "The settings file " },
};

TEST_P (KeptSettings, IsLeftAsItIsAndNamed)
{
    const auto bytes = GetParam().bytes();
    writeBytes (file, bytes);

    const auto failure = PluginSettings::writeDefaultImpulsePath (file, "/data/impulses");

    EXPECT_TRUE (failure.startsWith (GetParam().expectedStart)) << failure;
    EXPECT_TRUE (failure.contains (file.getFullPathName())) << failure;
    EXPECT_TRUE (readBytes (file) == bytes);
    EXPECT_EQ (namesIn (file.getParentDirectory()), juce::StringArray (file.getFileName())) << "a sibling was left behind";
}

INSTANTIATE_TEST_SUITE_P (Cases, KeptSettings, ::testing::ValuesIn (keptSettingsCases),
                          [] (const auto& info) { return std::string (info.param.name); });

TEST_F (SettingsWrite, EmptyFileHoldsNothingToLoseAndIsReplaced)
{
    writeBytes (file, {});
    writePath ("/data/impulses");
    EXPECT_EQ (readBinarySettings (file).values, juce::StringArray ("/data/impulses"));
}

TEST_F (SettingsWrite, ReadOnlyFileIsNotReplaced)
{
    writePath ("/data/impulses");
    ASSERT_TRUE (file.setReadOnly (true));
    const auto before = readBytes (file);

    EXPECT_EQ (PluginSettings::writeDefaultImpulsePath (file, "/data/other"),
               "Can't overwrite " + file.getFullPathName() + ": the file is read-only");
    EXPECT_TRUE (readBytes (file) == before);

    // The same path again needs no write, so it succeeds.
    writePath ("/data/impulses");
}

// A settings file kept with the user's other dotfiles is a link the user made: the file it
// leads to is read and replaced, and the link stays.
TEST_F (SettingsWrite, UsersOwnLinkIsFollowedAndStaysALink)
{
    const auto dotfile = folder.getChildFile ("dotfiles/VOK.settings");
    writeBytes (dotfile, binarySettings (1, { "WINDOW_SIZE", "800 600" }));
    file.getParentDirectory().createDirectory();

    // Windows makes links only for administrators and in developer mode; Wine not at all.
    if (! dotfile.createSymbolicLink (file, true))
        GTEST_SKIP() << "this system can't make symbolic links here";

    writePath ("/data/impulses");

    EXPECT_TRUE (file.isSymbolicLink());
    EXPECT_EQ (file.getLinkedTarget(), dotfile);
    const auto stored = readBinarySettings (dotfile);
    EXPECT_EQ (stored.keys, juce::StringArray ({ "WINDOW_SIZE", "DEFAULT_IMPULSE_PATH" }));
    EXPECT_EQ (stored.values, juce::StringArray ({ "800 600", "/data/impulses" }));
    EXPECT_EQ (namesIn (dotfile.getParentDirectory()), juce::StringArray (dotfile.getFileName())) << "a sibling was left behind";
}

#if ! JUCE_WINDOWS
// A link someone else planted in the user's folder could lead a privileged run to any file: it
// is neither read nor replaced, nor is a FIFO, which would never answer.
TEST_F (SettingsWrite, AnotherUsersLinkOrAFifoInTheFilesPlaceIsNeitherReadNorReplaced)
{
    const auto elsewhere = folder.getChildFile ("elsewhere.settings");
    writeBytes (elsewhere, binarySettings (1, { "SECRET", "value" }));
    file.getParentDirectory().createDirectory();
    ASSERT_TRUE (elsewhere.createSymbolicLink (file, true));

    // Only root can give a link to another user.
    if (geteuid() == 0 && lchown (file.getFullPathName().toRawUTF8(), nobodyId, nobodyId) == 0)
    {
        EXPECT_TRUE (PluginSettings::writeDefaultImpulsePath (file, "/data").contains ("is a link"));
        EXPECT_TRUE (file.isSymbolicLink());
        EXPECT_TRUE (readBytes (elsewhere) == binarySettings (1, { "SECRET", "value" }));
    }

    file.deleteFile();
    ASSERT_EQ (mkfifo (file.getFullPathName().toRawUTF8(), 0600), 0);
    EXPECT_TRUE (PluginSettings::writeDefaultImpulsePath (file, "/data").contains ("not a regular file"));
}
#endif

TEST_F (SettingsWrite, PathsThatReadBackAlteredAreRefusedAndNeighboursStay)
{
    juce::StringPairArray properties;
    properties.set ("A_FIRST", "1");
    properties.set ("Z_LAST", "2");
    prepare (juce::PropertiesFile::storeAsBinary, properties);
    const auto before = readBytes (file);

    // Made without the framework's decoding, as a path from the file system arrives.
    for (auto* raw : { "/data/a\x80z", "/data/a\xc0\xafz", "/data/\xed\xa0\x80" })
    {
        juce::String path;
        path.appendCharPointer (juce::CharPointer_UTF8 (raw), juce::CharPointer_UTF8 (raw + std::strlen (raw)));

        if (std::strcmp (path.toRawUTF8(), raw) != 0)
            continue; // the framework cleaned it on the way in; nothing invalid can reach the file

        EXPECT_TRUE (PluginSettings::writeDefaultImpulsePath (file, path).contains ("not UTF-8")) << raw;
        EXPECT_TRUE (readBytes (file) == before);
    }

    // Any well-formed path reads back byte for byte, and no neighbour moves.
    const auto latin = juce::String (juce::CharPointer_UTF8 ("/data/Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb5\n\"quoted\""));
    writePath (latin);
    const auto stored = readBinarySettings (file);
    EXPECT_EQ (stored.keys, juce::StringArray ({ "A_FIRST", "Z_LAST", "DEFAULT_IMPULSE_PATH" }));
    juce::StringArray expectedValues ("1", "2");
    expectedValues.add (latin);
    EXPECT_EQ (stored.values, expectedValues);
}
