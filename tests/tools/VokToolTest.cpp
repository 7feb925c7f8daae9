#include "AudioTestFiles.h"
#include "ImpulseFileBytes.h"
#include "TemporaryFolder.h"
#include "ToolRunner.h"

#include <gtest/gtest.h>

namespace
{
    // Known channels and the SHA-256 of their little-endian float bytes (from sha256sum).
    const std::vector<float> channel0 { 0.0f, 0.0f, 0.0f };
    const std::vector<float> channel1 { 1.0f, -0.5f, 0.25f };
    const char* const channel0Sha256 = "15ec7bf0b50732b49f8228e07d24365338f9e3ab994b00af08e5a3bffe55fd8b";
    const char* const channel1Sha256 = "fc7d7c08d2817c068dbc66e118343a8d54f610d175f3bf6e9068e3a1a4cc3ee6";

    /** An unpacked 2.1 impulse file written byte by byte, independent of our writer:
        two channels of three samples (channel 1 first), a picture and three presets. */
    void writeVokFixture (const juce::File& file, bool scrambled)
    {
        juce::String header ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n"
                             "<VokImpulseFile version=\"2.1\" samplerate=\"48000\" ChannelConf=\"2\"");
        header << (scrambled ? " crypted=\"true\"" : "") << ">"
               << "<IRSamplePool number=\"2\">"
               << "<AudioSampleData channel=\"0\" NumSamples=\"3\" Description=\"-\" OriginalFile=\"a.wav\"/>"
               << "<AudioSampleData channel=\"1\" NumSamples=\"3\" Description=\"-\" OriginalFile=\"a.wav\"/>"
               << "</IRSamplePool>"
               << "<presets>"
               << "<Preset preset_name=\"Ambient\" preset_data=\"a\"/>"
               << "<Preset preset_name=\"-Bright\" preset_data=\"b\"/>"
               << "<Preset preset_name=\"Hall\" preset_data=\"old hall\"/>"
               << "</presets></VokImpulseFile>\r\n";
        ASSERT_TRUE (ImpulseFileBytes::writeFile (file, ImpulseFileBytes::Builder().header (header)
                                                            .block (ImpulseFileBytes::picturePayload ("3.gI1X"))
                                                            .block (ImpulseFileBytes::audioPayload (1, channel1, scrambled))
                                                            .block (ImpulseFileBytes::audioPayload (0, channel0, scrambled))
                                                            .bytes()));
    }

    juce::StringArray toStrings (const juce::var& array)
    {
        juce::StringArray strings;

        if (auto* items = array.getArray())
            for (auto& item : *items)
                strings.add (item.toString());

        return strings;
    }

    ::testing::AssertionResult isOneErrorLine (const ToolRunner::Result& result, int expectedStatus)
    {
        if (result.exitStatus != expectedStatus)
            return ::testing::AssertionFailure() << "exit status " << result.exitStatus << ", stderr: " << result.err;

        if (! result.err.endsWithChar ('\n') || result.err.trimEnd().containsChar ('\n') || result.err.trim().isEmpty())
            return ::testing::AssertionFailure() << "stderr is not one line: [" << result.err << "]";

        return ::testing::AssertionSuccess();
    }

    class VokToolTest  : public ::testing::Test
    {
    protected:
        ToolRunner::Result vok (const juce::StringArray& arguments)
        {
            return ToolRunner::run (arguments, folder.getFile ("."));
        }

        juce::File file (const juce::String& name) const   { return folder.getFile (name); }

        juce::var info (const juce::String& path, int expectedStatus = 0)
        {
            const auto result = vok ({ "info", path });
            EXPECT_EQ (result.exitStatus, expectedStatus) << result.err;
            return juce::JSON::parse (result.out);
        }

        juce::File writeWav (const juce::String& name, int numChannels, int bitsPerSample)
        {
            juce::WavAudioFormat wav;
            const auto target = file (name);
            EXPECT_TRUE (AudioTestFiles::writeAudioFile (target, wav, AudioTestFiles::createSignal (numChannels, 1000, 48000.0),
                                                           48000.0, bitsPerSample));
            return target;
        }

        TemporaryFolder folder;
    };
}

//==============================================================================
TEST_F (VokToolTest, WrongUsageExitsWithTwoAndOneLine)
{
    const juce::StringArray usages[] =
    {
        {}, { "bogus" }, { "info" }, { "info", "a.vok", "b" }, { "resave", "a.vok" }, { "presets" },
        { "add-preset", "a.vok", "name" }, { "get-preset", "a.vok" }, { "from-audio", "a.wav" },
        { "to-wav", "a.vok" }, { "--help", "extra" },
    };

    for (auto& arguments : usages)
    {
        const auto result = vok (arguments);
        EXPECT_TRUE (isOneErrorLine (result, 2)) << arguments.joinIntoString (" ");
        EXPECT_EQ (result.out, "") << arguments.joinIntoString (" ");
    }

    EXPECT_EQ (vok ({ "info" }).err, "Usage: vok info FILE\n");
}

TEST_F (VokToolTest, HelpListsEveryCommandOnOneLine)
{
    const auto result = vok ({ "--help" });
    ASSERT_EQ (result.exitStatus, 0);
    EXPECT_EQ (result.err, "");

    const auto lines = juce::StringArray::fromLines (result.out);

    for (auto* command : { "info", "resave", "presets", "add-preset", "get-preset", "from-audio", "to-wav", "--help" })
    {
        int linesNamingIt = 0;

        for (auto& line : lines)
            if (line.startsWith ("  vok " + juce::String (command) + " "))
                ++linesNamingIt;

        EXPECT_EQ (linesNamingIt, 1) << command;
    }
}

// One command's help, asked for either way, names its usage and the exit statuses; the version
// is the project's.
TEST_F (VokToolTest, HelpOfOneCommandAndTheVersion)
{
    const auto asked = vok ({ "help", "add-preset" });
    ASSERT_EQ (asked.exitStatus, 0);
    EXPECT_TRUE (asked.out.startsWith ("Usage: vok add-preset FILE NAME DATA-FILE\n")) << asked.out;
    EXPECT_TRUE (asked.out.contains ("2  wrong usage")) << asked.out;
    EXPECT_EQ (vok ({ "add-preset", "--help" }).out, asked.out);
    EXPECT_EQ (vok ({ "help" }).out, vok ({ "--help" }).out);

    const auto unknown = vok ({ "help", "bogus" });
    EXPECT_TRUE (isOneErrorLine (unknown, 2)) << unknown.err;

    const auto version = vok ({ "--version" });
    EXPECT_EQ (version.exitStatus, 0);
    EXPECT_EQ (version.out, "vok " VOK_INSTALL_VERSION "\n");
}

//==============================================================================
TEST_F (VokToolTest, InfoDescribesAnImpulseFile)
{
    writeVokFixture (file ("plain.vok"), false);

    const auto json = info ("plain.vok");
    ASSERT_TRUE (json.isObject());

    EXPECT_EQ (json["path"].toString(), file ("plain.vok").getFullPathName());
    EXPECT_EQ ((bool) json["read_ok"], true);
    EXPECT_EQ ((int) json["format_state"], 1);
    EXPECT_EQ (json["version"].toString(), "2.1");
    EXPECT_EQ ((double) json["samplerate"], 48000.0);
    EXPECT_EQ ((int) json["channels"], 2);
    EXPECT_EQ ((int) json["samples"], 3);
    EXPECT_EQ ((bool) json["crypted"], false);
    EXPECT_EQ ((int) json["picture_chars"], 6);
    EXPECT_EQ (toStrings (json["presets"]), juce::StringArray ("Ambient", "-Bright", "Hall"));
    EXPECT_EQ (toStrings (json["channel_sha256"]), juce::StringArray (channel0Sha256, channel1Sha256));
    EXPECT_TRUE (json["read_log"].toString().startsWith ("Read HeaderVersion > 2.0\n"));
    EXPECT_EQ (json["last_error"].toString(), "");
}

TEST_F (VokToolTest, InfoHashesUnscrambledSamples)
{
    writeVokFixture (file ("scrambled.vok"), true);

    const auto json = info ("scrambled.vok");
    EXPECT_EQ ((bool) json["crypted"], true);
    EXPECT_EQ (toStrings (json["channel_sha256"]), juce::StringArray (channel0Sha256, channel1Sha256));
}

TEST_F (VokToolTest, InfoOfAFailedReadStillPrintsTheObject)
{
    const auto missing = info ("missing.vok", 1);
    EXPECT_EQ ((bool) missing["read_ok"], false);
    EXPECT_EQ ((int) missing["format_state"], 0);
    EXPECT_EQ (missing["last_error"].toString(), "File not found: " + file ("missing.vok").getFullPathName());

    ASSERT_TRUE (file ("garbage.vok").replaceWithText ("no xml here"));
    const auto garbage = info ("garbage.vok", 1);
    EXPECT_EQ ((bool) garbage["read_ok"], false);
    EXPECT_EQ (garbage["read_log"].toString(), "Read HeaderParseError\nHeader: syntax error at line 1\n");
}

//==============================================================================
TEST_F (VokToolTest, ResaveWritesTheSameImpulsePacked)
{
    writeVokFixture (file ("in.vok"), true);

    const auto result = vok ({ "resave", "in.vok", "out.vok" });
    ASSERT_EQ (result.exitStatus, 0) << result.err;
    EXPECT_EQ (result.out + result.err, "");

    const auto json = info ("out.vok");
    EXPECT_EQ ((bool) json["crypted"], true);
    EXPECT_EQ ((int) json["picture_chars"], 6);
    EXPECT_EQ (toStrings (json["presets"]), juce::StringArray ("Ambient", "-Bright", "Hall"));
    EXPECT_EQ (toStrings (json["channel_sha256"]), juce::StringArray (channel0Sha256, channel1Sha256));
    EXPECT_TRUE (file ("out.vok").loadFileAsString().contains ("cfh_data=\"abe6f4214"));
}

TEST_F (VokToolTest, ResaveFailuresWriteNothing)
{
    auto missing = vok ({ "resave", "missing.vok", "out.vok" });
    EXPECT_TRUE (isOneErrorLine (missing, 1));
    EXPECT_EQ (missing.err, "File not found: " + file ("missing.vok").getFullPathName() + "\n");
    EXPECT_FALSE (file ("out.vok").exists());

    writeVokFixture (file ("in.vok"), false);
    auto noFolder = vok ({ "resave", "in.vok", "no/such/folder/out.vok" });
    EXPECT_TRUE (isOneErrorLine (noFolder, 1));
    EXPECT_EQ (noFolder.err, "Can't save " + file ("no/such/folder/out.vok").getFullPathName()
                               + ": There is no folder " + file ("no").getFullPathName() + "\n");
}

// The message names what the reader found to fail the read, whatever its log holds after it.
TEST_F (VokToolTest, ReadFailuresSayWhatWasFound)
{
    writeVokFixture (file ("in.vok"), false);
    juce::MemoryBlock refused;
    ASSERT_TRUE (file ("in.vok").loadFileAsData (refused));
    const auto blockOfChannel5 = ImpulseFileBytes::Builder().block (ImpulseFileBytes::audioPayload (5, channel0, false)).bytes();
    refused.append (blockOfChannel5.getData(), blockOfChannel5.getSize());
    ASSERT_TRUE (file ("refused.vok").replaceWithData (refused.getData(), refused.getSize()));
    ASSERT_TRUE (file ("garbage.vok").replaceWithText ("no xml here"));
    ASSERT_TRUE (file ("folder.vok").createDirectory());

    struct Case { const char* name; juce::String reason; };
    const Case cases[] = {
        { "garbage.vok", "Header: syntax error at line 1" },
        { "refused.vok", "AUDIODATA of channel 5 rejected: the header declares 2 channels" },
        { "folder.vok",  file ("folder.vok").getFullPathName() + " is a Directory" },
    };

    for (auto& c : cases)
    {
        const auto result = vok ({ "resave", c.name, "out.vok" });
        EXPECT_TRUE (isOneErrorLine (result, 1)) << c.name;
        EXPECT_EQ (result.err, "Can't read " + file (c.name).getFullPathName() + ": " + c.reason + "\n");
        EXPECT_FALSE (file ("out.vok").exists()) << c.name;
    }
}

//==============================================================================
TEST_F (VokToolTest, PresetsListsNamesInListOrder)
{
    writeVokFixture (file ("room.vok"), false);

    const auto result = vok ({ "presets", "room.vok" });
    EXPECT_EQ (result.exitStatus, 0);
    EXPECT_EQ (result.out, "Ambient\n-Bright\nHall\n");

    EXPECT_TRUE (isOneErrorLine (vok ({ "presets", "missing.vok" }), 1));
}

TEST_F (VokToolTest, AddPresetReplacesIgnoringCaseAndKeepsTheSamples)
{
    writeVokFixture (file ("room.vok"), true);
    const auto data = juce::String::fromUTF8 ("new\n  hall <data> & \"more\"\r\n\t\xc3\xa9t\xc3\xa9\n");
    ASSERT_TRUE (file ("data.txt").replaceWithData (data.toRawUTF8(), data.getNumBytesAsUTF8()));

    const auto added = vok ({ "add-preset", "room.vok", "hall", "data.txt" });
    ASSERT_EQ (added.exitStatus, 0) << added.err;

    EXPECT_EQ (vok ({ "presets", "room.vok" }).out, "Ambient\n-Bright\nhall\n");
    EXPECT_EQ (vok ({ "get-preset", "room.vok", "HALL" }).out, data);
    EXPECT_EQ (vok ({ "get-preset", "room.vok", "-bright" }).out, "b");

    ASSERT_TRUE (file ("more.txt").replaceWithText ("c"));
    ASSERT_EQ (vok ({ "add-preset", "room.vok", "Cathedral", "more.txt" }).exitStatus, 0);
    EXPECT_EQ (vok ({ "presets", "room.vok" }).out, "Ambient\n-Bright\nCathedral\nhall\n");

    const auto json = info ("room.vok");
    EXPECT_EQ ((bool) json["crypted"], true);
    EXPECT_EQ (toStrings (json["channel_sha256"]), juce::StringArray (channel0Sha256, channel1Sha256));
}

TEST_F (VokToolTest, PresetFailuresLeaveTheFileAlone)
{
    writeVokFixture (file ("room.vok"), false);
    const auto original = ImpulseFileBytes::readFile (file ("room.vok"));

    auto noData = vok ({ "add-preset", "room.vok", "Hall", "missing.txt" });
    EXPECT_TRUE (isOneErrorLine (noData, 1));
    EXPECT_EQ (noData.err, "File not found: " + file ("missing.txt").getFullPathName() + "\n");

    auto noPreset = vok ({ "get-preset", "room.vok", "Plate" });
    EXPECT_TRUE (isOneErrorLine (noPreset, 1));
    EXPECT_EQ (noPreset.out, "");

    EXPECT_EQ (ImpulseFileBytes::readFile (file ("room.vok")), original);

    // Adding a preset to an audio file would replace the audio with an impulse file.
    const auto wav = writeWav ("audio.wav", 2, 16);
    const auto audioBytes = ImpulseFileBytes::readFile (wav);
    ASSERT_TRUE (file ("data.txt").replaceWithText ("x"));
    EXPECT_TRUE (isOneErrorLine (vok ({ "add-preset", "audio.wav", "Hall", "data.txt" }), 1));
    EXPECT_EQ (ImpulseFileBytes::readFile (wav), audioBytes);
}

//==============================================================================
namespace
{
    struct RoundTripCase
    {
        const char* fileName;
        int numChannels;
        int bitsPerSample;
    };

    void PrintTo (const RoundTripCase& c, std::ostream* os)   { *os << c.fileName; }

    class VokRoundTripTest  : public VokToolTest,
                              public ::testing::WithParamInterface<RoundTripCase> {};

    std::unique_ptr<juce::AudioFormat> createFormatFor (const juce::String& fileName)
    {
        if (fileName.endsWith (".aiff"))  return std::make_unique<juce::AiffAudioFormat>();
        if (fileName.endsWith (".flac"))  return std::make_unique<juce::FlacAudioFormat>();
        return std::make_unique<juce::WavAudioFormat>();
    }
}

TEST_P (VokRoundTripTest, AudioToVokToWavKeepsEverySample)
{
    const auto& c = GetParam();
    const auto source = file (c.fileName);
    auto format = createFormatFor (c.fileName);
    ASSERT_TRUE (AudioTestFiles::writeAudioFile (source, *format, AudioTestFiles::createSignal (c.numChannels, 1000, 44100.0),
                                                   44100.0, c.bitsPerSample));

    const auto fromAudio = vok ({ "from-audio", c.fileName, "impulse.vok" });
    ASSERT_EQ (fromAudio.exitStatus, 0) << fromAudio.err;

    const auto json = info ("impulse.vok");
    EXPECT_EQ ((int) json["channels"], c.numChannels);
    EXPECT_EQ ((int) json["samples"], 1000);
    EXPECT_EQ ((double) json["samplerate"], 44100.0);
    EXPECT_EQ ((int) json["format_state"], 1);

    const auto toWav = vok ({ "to-wav", "impulse.vok", "back.wav" });
    ASSERT_EQ (toWav.exitStatus, 0) << toWav.err;

    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (file ("back.wav")));
    ASSERT_NE (reader, nullptr);
    EXPECT_EQ (reader->bitsPerSample, 32u);
    EXPECT_TRUE (reader->usesFloatingPointData);
    EXPECT_EQ (reader->sampleRate, 44100.0);
    EXPECT_EQ ((int) reader->numChannels, c.numChannels);
    reader.reset();

    EXPECT_TRUE (AudioTestFiles::haveSameSamples (*AudioTestFiles::readWithJuce (file ("back.wav")),
                                                    *AudioTestFiles::readWithJuce (source)));
}

INSTANTIATE_TEST_SUITE_P (Formats, VokRoundTripTest,
                          ::testing::Values (RoundTripCase { "float.wav",  2, 32 },
                                             RoundTripCase { "quad.wav",   4, 24 },
                                             RoundTripCase { "mono.wav",   1, 16 },
                                             RoundTripCase { "pcm24.aiff", 2, 24 },
                                             RoundTripCase { "pcm24.flac", 2, 24 }),
                          [] (const auto& info) { return juce::String (info.param.fileName).replaceCharacter ('.', '_').toStdString(); });

TEST_F (VokToolTest, ToWavWritesTheUnscrambledSamples)
{
    writeVokFixture (file ("scrambled.vok"), true);

    const auto result = vok ({ "to-wav", "scrambled.vok", "out.wav" });
    ASSERT_EQ (result.exitStatus, 0) << result.err;

    const auto samples = AudioTestFiles::readWithJuce (file ("out.wav"));
    ASSERT_NE (samples, nullptr);
    ASSERT_EQ (samples->getNumChannels(), 2);
    ASSERT_EQ (samples->getNumSamples(), 3);

    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ (samples->getSample (0, i), channel0[i]);
        EXPECT_EQ (samples->getSample (1, i), channel1[i]);
    }
}

TEST_F (VokToolTest, ToWavRefusesAnImpulseWithoutSampleRate)
{
    const auto bytes = ImpulseFileBytes::Builder()
                           .header ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<VokImpulseFile version=\"2.1\">"
                                    "<IRSamplePool number=\"1\"/></VokImpulseFile>\r\n")
                           .block (ImpulseFileBytes::audioPayload (0, channel1))
                           .bytes();
    ASSERT_TRUE (ImpulseFileBytes::writeFile (file ("norate.vok"), bytes));

    EXPECT_TRUE (isOneErrorLine (vok ({ "to-wav", "norate.vok", "out.wav" }), 1));
    EXPECT_FALSE (file ("out.wav").exists());
}

TEST_F (VokToolTest, AudioCommandFailuresAreOneLine)
{
    auto missing = vok ({ "from-audio", "missing.wav", "out.vok" });
    EXPECT_TRUE (isOneErrorLine (missing, 1));
    EXPECT_EQ (missing.err, "File not found: " + file ("missing.wav").getFullPathName() + "\n");

    ASSERT_TRUE (file ("notes.txt").replaceWithText ("no audio"));
    EXPECT_TRUE (isOneErrorLine (vok ({ "from-audio", "notes.txt", "out.vok" }), 1));
    EXPECT_FALSE (file ("out.vok").exists());

    EXPECT_TRUE (isOneErrorLine (vok ({ "to-wav", "missing.vok", "out.wav" }), 1));
    EXPECT_FALSE (file ("out.wav").exists());
}

TEST_F (VokToolTest, AudioFileClaimingAHugeLengthGivesItsRealFrames)
{
    ASSERT_TRUE (AudioTestFiles::writeFlacClaimingHugeLength (file ("huge.flac")));

    const auto result = vok ({ "from-audio", "huge.flac", "out.vok" });
    EXPECT_EQ (result.exitStatus, 0) << result.err;

    const auto written = info ("out.vok");
    EXPECT_EQ ((int) written["channels"], 8);
    EXPECT_EQ ((int) written["samples"], 64);
}
