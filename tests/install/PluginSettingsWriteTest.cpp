#include "InstallTestFiles.h"

#include <PluginSettings.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace InstallTestFiles;

namespace
{
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

        void writePath (const juce::String& path, bool common = false)
        {
            auto settings = PluginSettings::open (file, common);
            ASSERT_NE (settings, nullptr);
            PluginSettings::writeDefaultImpulsePath (*settings, path);
        }

        /** Makes a settings file in another of the framework's forms, holding these properties. */
        void prepare (juce::PropertiesFile::StorageFormat format, const juce::StringPairArray& properties)
        {
            auto options = PluginSettings::getOptions (false);
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
    EXPECT_EQ (file.getParentDirectory().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1) << "a sibling was left behind";
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
    EXPECT_EQ (file.getParentDirectory().getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
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

TEST_F (SettingsWrite, UnwritableLocationKeepsSilentAndRetriesWhenReleased)
{
    // Root may write anywhere, but not below a plain file.
    writeBytes (folder.getChildFile ("config"), juce::MemoryBlock ("x", 1));

    auto settings = PluginSettings::open (file, true);
    ASSERT_NE (settings, nullptr);
    PluginSettings::writeDefaultImpulsePath (*settings, "/data/impulses");

    EXPECT_FALSE (file.exists());
    EXPECT_TRUE (settings->needsToBeSaved()) << "the change should still be pending for the release";

    // Once the way is free, releasing the object writes what is pending.
    folder.getChildFile ("config").deleteFile();
    settings.reset();
    EXPECT_EQ (readBinarySettings (file).values, juce::StringArray ("/data/impulses"));
}
