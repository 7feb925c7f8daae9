#include "InstallTestFiles.h"
#include "RecordingReporter.h"

#include <install/ImpulseFileInstaller.h>
#include <install/InstallationRun.h>
#include <install/PluginSettings.h>
#include <PluginWrittenSettings.h>

#include <gtest/gtest.h>

#include <functional>

using namespace InstallTestFiles;

namespace
{
    class InstallRun : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            folder = createTemporaryFolder ("install-run");
            directory = folder.getChildFile ("not yet/there/VOK Impulses");
            userSettings = folder.getChildFile ("home/.config/VOK/VOK.settings");
            commonSettings = folder.getChildFile ("opt/VOK/VOK.settings");

            const char* names[] = { "Recording Studio 2 stereo.vok", "Recording Studio 2 true stereo.vok", "Club small stereo.vok" };

            for (int i = 0; i < 3; ++i)
            {
                bytes.add (makeImpulseFileBytes (2 + 2 * (i % 2), 1000 + 100 * i, { { "Factory " + juce::String (i), "f" } }));
                entries.add ({ names[i], (const char*) bytes.getReference (i).getData(), (int) bytes.getReference (i).getSize() });
            }
        }

        void TearDown() override   { folder.deleteRecursively(); }

        bool run (const juce::File& user, const juce::File& common)
        {
            InstallationRun installation (reporter);
            return installation.runInstallation (directory, entries, user, common);
        }

        juce::String storedPath (const juce::File& settingsFile)
        {
            auto settings = PluginWrittenSettings::open (settingsFile, false);
            return settings->getValue (PluginSettings::defaultImpulsePathKey, "(missing)");
        }

        juce::File folder, directory, userSettings, commonSettings;
        juce::Array<juce::MemoryBlock> bytes;
        juce::Array<ImpulseFileEntry> entries;
        RecordingReporter reporter;
    };
}

TEST_F (InstallRun, InstallsEveryEntryInOrderAndRecordsTheDirectory)
{
    EXPECT_TRUE (run (userSettings, commonSettings));

    for (int i = 0; i < entries.size(); ++i)
        EXPECT_TRUE (readBytes (directory.getChildFile (entries[i].fileName)) == bytes[i]) << entries[i].fileName;

    EXPECT_EQ (namesIn (directory).size(), entries.size());
    EXPECT_EQ (storedPath (userSettings), directory.getFullPathName());
    EXPECT_EQ (storedPath (commonSettings), directory.getFullPathName());
    EXPECT_TRUE (reporter.boxes.isEmpty());

    juce::StringArray expected;

    for (auto& entry : entries)
        expected.addArray ({ "", "Write IR " + entry.fileName, "Write " + directory.getChildFile (entry.fileName).getFullPathName() });

    EXPECT_EQ (reporter.lines, expected);
}

TEST_F (InstallRun, SecondRunCarriesUserPresetsOver)
{
    ASSERT_TRUE (run (userSettings, commonSettings));

    // The user adds presets to the second file, then installs again.
    const auto second = directory.getChildFile (entries[1].fileName);
    const auto withUserPreset = makeImpulseFileBytes (4, 1100, { { "Factory 1", "f" }, { "My Room", "mine" } });
    writeBytes (second, withUserPreset);

    reporter.lines.clear();
    ASSERT_TRUE (run (userSettings, commonSettings));

    EXPECT_EQ (readPresets (second), (PresetList { { "Factory 1", "f" }, { "My Room", "mine" } }));
    EXPECT_TRUE (reporter.lines.contains ("Merge user preset My Room"));
    EXPECT_TRUE (readBytes (directory.getChildFile (entries[0].fileName)) == bytes[0]);
    EXPECT_EQ (namesIn (directory).size(), entries.size()) << "backups left behind";
}

// The directory is recorded only once it exists: the plug-in keeps looking where it did.
TEST_F (InstallRun, DirectoryThatCantBeCreatedAbortsAndLeavesTheSettingsAlone)
{
    const auto previous = folder.getChildFile ("previous impulses").getFullPathName();

    for (auto& settings : { userSettings, commonSettings })
        ASSERT_EQ (PluginSettings::writeDefaultImpulsePath (settings, previous), juce::String());

    const auto userBytes = readBytes (userSettings);
    const auto commonBytes = readBytes (commonSettings);
    writeBytes (directory, juce::MemoryBlock ("x", 1));

    EXPECT_FALSE (run (userSettings, commonSettings));

   #if JUCE_WINDOWS
    const auto reason = "Can't create the folder " + directory.getFullPathName();
   #else
    const auto reason = directory.getFullPathName() + " is not a folder";
   #endif
    const auto line = "Can't Create Directory " + directory.getFullPathName() + " . Installation aborted.\n" + reason;
    EXPECT_EQ (reporter.lines, juce::StringArray (line));
    EXPECT_EQ (reporter.boxes, juce::StringArray (line));
    EXPECT_TRUE (readBytes (userSettings) == userBytes);
    EXPECT_TRUE (readBytes (commonSettings) == commonBytes);
    EXPECT_EQ (storedPath (userSettings), previous);
    EXPECT_EQ (readBytes (directory).getSize(), 1u);
}

TEST_F (InstallRun, FirstFailureStopsTheRunWithTwoBoxes)
{
    const auto failing = directory.getChildFile (entries[1].fileName);
    failing.createDirectory();

    EXPECT_FALSE (run (userSettings, commonSettings));

    EXPECT_EQ (reporter.boxes, juce::StringArray (juce::String (failing.getFullPathName() + " is a Directory"), juce::String ("Installation aborted")));
    EXPECT_EQ (reporter.lines[reporter.lines.size() - 1], "Installation aborted");
    EXPECT_TRUE (readBytes (directory.getChildFile (entries[0].fileName)) == bytes[0]);
    EXPECT_TRUE (failing.isDirectory());
    EXPECT_FALSE (directory.getChildFile (entries[2].fileName).exists()) << "entries after the failure are not attempted";
    EXPECT_EQ (storedPath (userSettings), directory.getFullPathName());
}

TEST_F (InstallRun, SettingsWithoutLocationAreSkippedWithALogLine)
{
    EXPECT_TRUE (run (juce::File(), commonSettings));

    EXPECT_EQ (reporter.lines[0], "No location for the user settings file: skipped");
    EXPECT_TRUE (reporter.boxes.isEmpty());
    EXPECT_EQ (storedPath (commonSettings), directory.getFullPathName());

    reporter.lines.clear();
    EXPECT_TRUE (run (userSettings, juce::File()));
    EXPECT_EQ (reporter.lines[0], "No location for the all-users settings file: skipped");
    EXPECT_EQ (storedPath (userSettings), directory.getFullPathName());
}

// A settings file that can't be written, or can't be read in full, is left as it was: what it
// holds is more than the installer knows. The impulse files are what the user asked for, so
// the run says so in the log, without a box, and installs the whole pack.
TEST_F (InstallRun, SettingsThatCantBeRecordedAreNeverReplaced)
{
    const auto junk = juce::MemoryBlock ("PROP\xff\xff\xff\xffWINDOW_SIZE", 19);
    const auto unwritable = [] (const juce::File& settings)
    {
        // As root nothing is read-only, but nothing can be created below a plain file either.
        return [settings] { writeBytes (settings.getParentDirectory(), juce::MemoryBlock ("x", 1)); };
    };
    const auto holdingJunk = [&junk] (const juce::File& settings) { return [settings, &junk] { writeBytes (settings, junk); }; };

    // Why the folder of a settings file that is a plain file can't hold it.
    const auto notAFolder = [] (const juce::File& settings)
    {
       #if JUCE_WINDOWS
        return "Can't create the folder " + settings.getParentDirectory().getFullPathName();
       #else
        return settings.getParentDirectory().getFullPathName() + " is not a folder";
       #endif
    };

    const struct
    {
        const char* name;
        std::function<void()> arrange;
        juce::File settings;
        juce::String message;
    } cases[] =
    {
        { "UserFolderUnwritable", unwritable (userSettings), userSettings,
          "Can't write the settings file " + userSettings.getFullPathName() + ": " + notAFolder (userSettings)
            + " (the user settings keep their old directory)" },
        { "UserFileJunk", holdingJunk (userSettings), userSettings,
          "The settings file " + userSettings.getFullPathName() + " can't be read in full; it is left as it is"
            " (the user settings keep their old directory)" },
        { "AllUsersFolderUnwritable", unwritable (commonSettings), commonSettings,
          "Can't write the settings file " + commonSettings.getFullPathName() + ": " + notAFolder (commonSettings)
            + " (the all-users settings keep their old directory)" },
        { "AllUsersFileJunk", holdingJunk (commonSettings), commonSettings,
          "The settings file " + commonSettings.getFullPathName()
            + " can't be read in full; it is left as it is (the all-users settings keep their old directory)" },
    };

    for (auto& c : cases)
    {
        folder.deleteRecursively();
        folder.createDirectory();
        reporter.lines.clear();
        reporter.boxes.clear();
        c.arrange();
        const auto before = c.settings.existsAsFile() ? readBytes (c.settings) : juce::MemoryBlock();

        EXPECT_TRUE (run (userSettings, commonSettings)) << c.name;
        EXPECT_TRUE (reporter.lines.contains (c.message)) << c.name << ": " << reporter.lines.joinIntoString ("\n");
        EXPECT_TRUE (reporter.boxes.isEmpty()) << c.name << ": " << reporter.boxes.joinIntoString ("\n");
        EXPECT_TRUE (! c.settings.existsAsFile() || readBytes (c.settings) == before) << c.name;

        for (int i = 0; i < entries.size(); ++i)
            EXPECT_TRUE (readBytes (directory.getChildFile (entries[i].fileName)) == bytes[i]) << c.name << ": " << entries[i].fileName;

        // The other settings file records the directory as ever.
        const auto& other = c.settings == userSettings ? commonSettings : userSettings;
        EXPECT_EQ (storedPath (other), directory.getFullPathName()) << c.name;
    }
}

TEST_F (InstallRun, NoDirectoryAtAllFailsBeforeTheSettingsAreTouched)
{
    InstallationRun installation (reporter);
    EXPECT_FALSE (installation.runInstallation (juce::File(), entries, userSettings, commonSettings));

    EXPECT_EQ (reporter.boxes, juce::StringArray ("Can't Create Directory  . Installation aborted."));
    EXPECT_EQ (reporter.lines, reporter.boxes);
    EXPECT_FALSE (userSettings.exists());
    EXPECT_FALSE (commonSettings.exists());
}

TEST_F (InstallRun, DirectoryThatIsNotUtf8TextFailsBeforeAnythingIsWritten)
{
    // Made without the framework's decoding, as a path from the file system arrives.
    for (auto* name : { "bad\x80name", "a\xc0\xaf" "b" })
    {
        // The system's own separator: on Windows the framework rewrites a path with '/' in it.
        const auto raw = (folder.getFullPathName() + juce::File::getSeparatorString()).toStdString() + name;
        juce::String path;
        path.appendCharPointer (juce::CharPointer_UTF8 (raw.c_str()), juce::CharPointer_UTF8 (raw.c_str() + raw.size()));

        // On Windows the framework decodes the text as it makes a File of it (an overlong '/'
        // becomes a separator there); that text is checked where it comes in, as the vok tool
        // checks its arguments, and nothing invalid reaches the run.
        if (raw != path.toRawUTF8() || raw != juce::File (path).getFullPathName().toRawUTF8())
            continue;

        reporter.lines.clear();
        reporter.boxes.clear();
        InstallationRun installation (reporter);
        EXPECT_FALSE (installation.runInstallation (juce::File (path), entries, userSettings, commonSettings)) << name;

        ASSERT_EQ (reporter.boxes.size(), 1);
        EXPECT_TRUE (reporter.boxes[0].startsWith ("Can't Create Directory ")) << reporter.boxes[0];
        EXPECT_FALSE (userSettings.exists());
        EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0) << name;
    }
}
