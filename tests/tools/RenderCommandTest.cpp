#include "AudioTestFiles.h"
#include "ImpulseFileBytes.h"
#include "TemporaryFolder.h"
#include "ToolRunner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace
{
    using Channels = std::vector<std::vector<double>>;

    /** A signal given as a function of time in seconds, for each channel. */
    using Signal = std::function<double (int channel, double seconds)>;

    // Decaying noise, different in every channel: what a room's impulse and a recording look like
    // to a convolution. Not band-limited, so only for cases without resampling.
    Signal decayingNoise (int seed, double decaySeconds)
    {
        return [seed, decaySeconds] (int channel, double seconds)
        {
            // A hash of the sample time, so the signal is the same whoever samples it.
            juce::Random random (seed * 7919 + channel * 104729 + (juce::int64) std::llround (seconds * 1.0e6));
            return (random.nextDouble() * 2.0 - 1.0) * std::exp (-seconds / decaySeconds);
        };
    }

    // Gaussian bursts of tones below 6 kHz, some milliseconds long, rising from silence: band-limited
    // well below the Nyquist frequency of every rate used here, so sampling it at any of them
    // gives the same signal.
    Signal toneBursts (int seed)
    {
        return [seed] (int channel, double seconds)
        {
            double value = 0.0;

            for (int burst = 0; burst < 4; ++burst)
            {
                const auto k = seed + 3 * channel + burst;
                const auto centre = 0.010 + 0.006 * burst, width = 0.0015 + 0.0005 * (k % 3);
                const auto frequency = 300.0 + 1300.0 * (k % 5);
                const auto envelope = std::exp (-std::pow ((seconds - centre) / width, 2.0));
                value += envelope * std::sin (juce::MathConstants<double>::twoPi * frequency * seconds + k);
            }

            return value;
        };
    }

    Channels sample (const Signal& signal, int numChannels, int numFrames, int rate)
    {
        Channels channels ((size_t) numChannels, std::vector<double> ((size_t) numFrames));

        for (int c = 0; c < numChannels; ++c)
            for (int n = 0; n < numFrames; ++n)
                channels[(size_t) c][(size_t) n] = (double) (float) signal (c, n / (double) rate);

        return channels;
    }

    juce::AudioBuffer<float> toBuffer (const Channels& channels)
    {
        juce::AudioBuffer<float> buffer ((int) channels.size(), (int) channels[0].size());

        for (int c = 0; c < buffer.getNumChannels(); ++c)
            for (int n = 0; n < buffer.getNumSamples(); ++n)
                buffer.setSample (c, n, (float) channels[(size_t) c][(size_t) n]);

        return buffer;
    }

    void addConvolution (std::vector<double>& output, const std::vector<double>& input, const std::vector<double>& impulse, double gain)
    {
        for (size_t i = 0; i < input.size(); ++i)
            for (size_t k = 0; k < impulse.size(); ++k)
                output[i + k] += gain * input[i] * impulse[k];
    }

    /** What render must give, by direct convolution in double precision: stereo paths take the
        left and right input each to its own output, true-stereo paths (L->L, L->R, R->L, R->R)
        each input to both.
    */
    Channels renderDirectly (const Channels& dry, const Channels& impulse, double wetGain, double dryGain)
    {
        const auto length = dry[0].size() + impulse[0].size() - 1;
        Channels output (2, std::vector<double> (length, 0.0));
        const bool trueStereo = impulse.size() == 4;

        for (int path = 0; path < (int) impulse.size(); ++path)
        {
            const auto input = trueStereo ? path / 2 : path, target = trueStereo ? path % 2 : path;
            addConvolution (output[(size_t) target], dry[(size_t) std::min (input, (int) dry.size() - 1)],
                            impulse[(size_t) path], wetGain);
        }

        for (int channel = 0; channel < 2; ++channel)
            for (size_t n = 0; n < dry[0].size(); ++n)
                output[(size_t) channel][n] += dryGain * dry[(size_t) std::min (channel, (int) dry.size() - 1)][n];

        return output;
    }

    double relativeRmsError (const juce::AudioBuffer<float>& actual, const Channels& expected)
    {
        double error = 0.0, energy = 0.0;

        for (int c = 0; c < (int) expected.size(); ++c)
        {
            for (int n = 0; n < (int) expected[(size_t) c].size(); ++n)
            {
                const auto e = expected[(size_t) c][(size_t) n];
                error += std::pow (actual.getSample (c, n) - e, 2.0);
                energy += e * e;
            }
        }

        return std::sqrt (error / energy);
    }

    double decibelsToGain (double decibels)    { return std::isfinite (decibels) ? std::pow (10.0, decibels / 20.0) : 0.0; }

    class RenderCommandTest  : public ::testing::Test
    {
    public:
        ToolRunner::Result vok (const juce::StringArray& arguments)
        {
            return ToolRunner::run (arguments, folder.getFile ("."));
        }

        juce::File file (const juce::String& name) const   { return folder.getFile (name); }

        juce::File writeWav (const juce::String& name, const juce::AudioBuffer<float>& samples, int rate)
        {
            juce::WavAudioFormat wav;
            EXPECT_TRUE (AudioTestFiles::writeAudioFile (file (name), wav, samples, rate, 32));
            return file (name);
        }

        /** An impulse file made from the samples, through the tool's own import. */
        juce::String writeImpulse (const juce::String& name, const Channels& paths, int rate)
        {
            writeWav (name + ".wav", toBuffer (paths), rate);
            const auto made = vok ({ "from-audio", name + ".wav", name + ".vok" });
            EXPECT_EQ (made.exitStatus, 0) << made.err;
            return name + ".vok";
        }

        /** Renders with the arguments after "render" and reads the output, the third of them. */
        std::unique_ptr<juce::AudioBuffer<float>> renderedOutput (const juce::StringArray& arguments, int expectedRate)
        {
            juce::StringArray commandLine ("render");
            commandLine.addArray (arguments);
            const auto result = vok (commandLine);
            EXPECT_EQ (result.exitStatus, 0) << result.err;
            EXPECT_EQ (result.out + result.err, "");

            juce::AudioFormatManager formats;
            formats.registerBasicFormats();
            std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (file (arguments[2])));

            if (reader == nullptr)
                return nullptr;

            EXPECT_EQ (reader->sampleRate, expectedRate);
            EXPECT_EQ (reader->bitsPerSample, 32u);
            EXPECT_TRUE (reader->usesFloatingPointData);
            EXPECT_EQ (reader->numChannels, 2u);
            reader.reset();

            return AudioTestFiles::readWithJuce (file (arguments[2]));
        }

        TemporaryFolder folder;
    };

    //==============================================================================
    struct AccuracyCase
    {
        const char* name;
        int impulseChannels, dryChannels;
        int impulseRate, dryRate;
        bool bandLimited;           // tone bursts, which resampling keeps, rather than noise
        double wetDecibels, dryDecibels;
        double tolerance;           // relative RMS error
    };

    void PrintTo (const AccuracyCase& c, std::ostream* os)   { *os << c.name; }

    class RenderAccuracyTest  : public RenderCommandTest,
                                public ::testing::WithParamInterface<AccuracyCase> {};

    constexpr double off = -std::numeric_limits<double>::infinity();
}

// The impulse spans two or three blocks of the convolution and the recording several, so the
// overlap of blocks and the ring of past spectra are both exercised.
TEST_P (RenderAccuracyTest, MatchesADirectConvolution)
{
    const auto& c = GetParam();
    const auto impulseSeconds = 0.2, drySeconds = 0.7;

    const auto impulseSignal = c.bandLimited ? toneBursts (1) : decayingNoise (1, 0.05);
    const auto impulse = sample (impulseSignal, c.impulseChannels, (int) (impulseSeconds * c.impulseRate), c.impulseRate);
    const auto dry = sample (decayingNoise (2, 10.0), c.dryChannels, (int) (drySeconds * c.dryRate), c.dryRate);

    const auto impulseFile = writeImpulse ("room", impulse, c.impulseRate);
    writeWav ("dry.wav", toBuffer (dry), c.dryRate);

    juce::StringArray arguments { impulseFile, "dry.wav", "out.wav" };

    if (c.wetDecibels != 0.0)   arguments.addArray ({ "--wet", juce::String (c.wetDecibels) });
    if (std::isfinite (c.dryDecibels))  arguments.addArray ({ "--dry", juce::String (c.dryDecibels) });

    const auto output = renderedOutput (arguments, c.dryRate);
    ASSERT_NE (output, nullptr);

    // The impulse as the recording's rate has it: the same tones sampled at that rate.
    const auto resampledLength = (int) (((juce::int64) impulse[0].size() * c.dryRate + c.impulseRate - 1) / c.impulseRate);
    const auto expectedImpulse = c.impulseRate == c.dryRate ? impulse : sample (impulseSignal, c.impulseChannels, resampledLength, c.dryRate);
    const auto expected = renderDirectly (dry, expectedImpulse, decibelsToGain (c.wetDecibels), decibelsToGain (c.dryDecibels));

    EXPECT_EQ (output->getNumSamples(), (int) expected[0].size());
    const auto error = relativeRmsError (*output, expected);
    RecordProperty ("relative_rms_error", juce::String (error, 3, true).toStdString());
    EXPECT_LE (error, c.tolerance);
}

INSTANTIATE_TEST_SUITE_P (Layouts, RenderAccuracyTest,
    ::testing::Values (AccuracyCase { "stereo_impulse_stereo_dry",          2, 2, 48000, 48000, false, 0.0, off, 1.0e-5 },
                       AccuracyCase { "stereo_impulse_mono_dry",            2, 1, 48000, 48000, false, 0.0, off, 1.0e-5 },
                       AccuracyCase { "true_stereo_impulse_stereo_dry",     4, 2, 44100, 44100, false, 0.0, off, 1.0e-5 },
                       AccuracyCase { "true_stereo_impulse_mono_dry",       4, 1, 44100, 44100, false, 0.0, off, 1.0e-5 },
                       AccuracyCase { "wet_and_dry_levels",                 4, 2, 48000, 48000, false, -6.0, -3.0, 1.0e-5 },
                       AccuracyCase { "impulse_at_44100_resampled_up",      4, 2, 44100, 48000, true, 0.0, off, 1.0e-5 },
                       AccuracyCase { "impulse_at_96000_resampled_down",    2, 2, 96000, 48000, true, 0.0, off, 1.0e-5 }),
    [] (const auto& info) { return std::string (info.param.name); });

//==============================================================================
// A click through each file of the pack gives the file's paths back: for a true-stereo file a
// click on the left gives L->L and L->R, one on the right R->L and R->R.
TEST_F (RenderCommandTest, AClickThroughEveryPackFileGivesItsImpulse)
{
    const auto pack = juce::File (VOK_PACK_DIR).findChildFiles (juce::File::findFiles, false, "*.vok");
    ASSERT_EQ (pack.size(), 24);

    for (auto& impulseFile : pack)
    {
        SCOPED_TRACE (impulseFile.getFileName().toStdString());
        ASSERT_EQ (vok ({ "to-wav", impulseFile.getFullPathName(), "paths.wav" }).exitStatus, 0);
        const auto paths = AudioTestFiles::readWithJuce (file ("paths.wav"));
        ASSERT_NE (paths, nullptr);

        const bool trueStereo = paths->getNumChannels() == 4;

        for (int side = 0; side < (trueStereo ? 2 : 1); ++side)
        {
            juce::AudioBuffer<float> click (2, 1);
            click.clear();
            click.setSample (side, 0, 1.0f);

            if (! trueStereo)
                click.setSample (1, 0, 1.0f);

            writeWav ("click.wav", click, 44100);
            const auto output = renderedOutput ({ impulseFile.getFullPathName(), "click.wav", "out.wav" }, 44100);
            ASSERT_NE (output, nullptr);
            ASSERT_EQ (output->getNumSamples(), paths->getNumSamples());

            Channels expected (2);

            for (int channel = 0; channel < 2; ++channel)
            {
                const auto* path = paths->getReadPointer (trueStereo ? 2 * side + channel : channel);
                expected[(size_t) channel].assign (path, path + paths->getNumSamples());
            }

            EXPECT_LE (relativeRmsError (*output, expected), 1.0e-5) << "click on side " << side;
        }
    }
}

//==============================================================================
namespace
{
    /** A WAV file written byte by byte, to say what no writer would. */
    juce::MemoryBlock wavBytes (int numChannels, juce::uint32 rate, int bitsPerSample, juce::uint32 claimedDataBytes,
                                int actualDataBytes)
    {
        juce::MemoryOutputStream out;
        const auto blockAlign = (juce::uint16) (numChannels * bitsPerSample / 8);
        out.write ("RIFF", 4);
        out.writeInt (36 + actualDataBytes);
        out.write ("WAVEfmt ", 8);
        out.writeInt (16);
        out.writeShort (1);
        out.writeShort ((short) numChannels);
        out.writeInt ((int) rate);
        out.writeInt ((int) (rate * blockAlign));
        out.writeShort ((short) blockAlign);
        out.writeShort ((short) bitsPerSample);
        out.write ("data", 4);
        out.writeInt ((int) claimedDataBytes);
        out.writeRepeatedByte (0x40, (size_t) actualDataBytes);
        return out.getMemoryBlock();
    }

    struct BadInputCase
    {
        const char* name;
        std::function<void (RenderCommandTest&)> prepare;
        juce::StringArray arguments;
        int exitStatus;
        const char* messageContains;
    };
}

TEST_F (RenderCommandTest, BadInputIsOneLineAndWritesNothing)
{
    // A stereo impulse and a stereo recording that render, for the cases that spoil one thing.
    const auto good = [] (RenderCommandTest& t)
    {
        t.writeImpulse ("room", sample (decayingNoise (1, 0.01), 2, 500, 48000), 48000);
        t.writeWav ("dry.wav", toBuffer (sample (decayingNoise (2, 1.0), 2, 500, 48000)), 48000);
    };

    const auto writeBytes = [] (RenderCommandTest& t, const char* name, const juce::MemoryBlock& bytes)
    {
        ASSERT_TRUE (t.file (name).replaceWithData (bytes.getData(), bytes.getSize()));
    };

    const auto withNaN = [&] (RenderCommandTest& t)
    {
        good (t);
        const auto header = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<VokImpulseFile version=\"2.1\" samplerate=\"48000\""
                            " ChannelConf=\"2\"><IRSamplePool number=\"2\">"
                            "<AudioSampleData channel=\"0\" NumSamples=\"3\" Description=\"-\" OriginalFile=\"a.wav\"/>"
                            "<AudioSampleData channel=\"1\" NumSamples=\"3\" Description=\"-\" OriginalFile=\"a.wav\"/>"
                            "</IRSamplePool></VokImpulseFile>\r\n";
        const auto nan = std::numeric_limits<float>::quiet_NaN();
        writeBytes (t, "nan.vok", ImpulseFileBytes::Builder().header (header)
                                      .block (ImpulseFileBytes::audioPayload (0, { 1.0f, nan, 0.0f }))
                                      .block (ImpulseFileBytes::audioPayload (1, { 1.0f, 0.5f, 0.0f }))
                                      .bytes());
    };

    const BadInputCase cases[] =
    {
        { "missing impulse",    good, { "none.vok", "dry.wav", "out.wav" }, 1, "File not found" },
        { "missing recording",  good, { "room.vok", "none.wav", "out.wav" }, 1, "File not found" },
        { "recording not audio", [&] (RenderCommandTest& t) { good (t); ASSERT_TRUE (t.file ("text.wav").replaceWithText ("no audio")); },
          { "room.vok", "text.wav", "out.wav" }, 1, "text.wav" },
        { "impulse not an impulse", [&] (RenderCommandTest& t) { good (t); ASSERT_TRUE (t.file ("text.vok").replaceWithText ("no xml")); },
          { "text.vok", "dry.wav", "out.wav" }, 1, "text.vok" },
        { "mono impulse", [&] (RenderCommandTest& t) { good (t); t.writeImpulse ("mono", sample (decayingNoise (1, 0.01), 1, 500, 48000), 48000); },
          { "mono.vok", "dry.wav", "out.wav" }, 1, "an impulse of 1 channels" },
        { "three-path impulse", [&] (RenderCommandTest& t) { good (t); t.writeImpulse ("three", sample (decayingNoise (1, 0.01), 3, 500, 48000), 48000); },
          { "three.vok", "dry.wav", "out.wav" }, 1, "an impulse of 3 channels" },
        { "impulse with NaN", withNaN, { "nan.vok", "dry.wav", "out.wav" }, 1, "not finite" },
        { "recording of 3 channels", [&] (RenderCommandTest& t) { good (t); t.writeWav ("three.wav", toBuffer (sample (decayingNoise (2, 1.0), 3, 500, 48000)), 48000); },
          { "room.vok", "three.wav", "out.wav" }, 1, "a recording of 3 channels" },
        { "recording of 0 channels", [&] (RenderCommandTest& t) { good (t); writeBytes (t, "none.wav", wavBytes (0, 48000, 16, 1000, 1000)); },
          { "room.vok", "none.wav", "out.wav" }, 1, "none.wav" },
        { "recording of 65535 channels", [&] (RenderCommandTest& t) { good (t); writeBytes (t, "many.wav", wavBytes (65535, 48000, 16, 1000, 1000)); },
          { "room.vok", "many.wav", "out.wav" }, 1, "many.wav" },
        { "FLAC claiming 2^36 frames of 8 channels", [&] (RenderCommandTest& t) { good (t); ASSERT_TRUE (AudioTestFiles::writeFlacClaimingHugeLength (t.file ("huge.flac"))); },
          { "room.vok", "huge.flac", "out.wav" }, 1, "a recording of 8 channels" },
        { "recording claiming ten hours", [&] (RenderCommandTest& t) { good (t); writeBytes (t, "claim.wav", wavBytes (1, 8000, 16, 10u * 3600u * 8000u * 2u, 2000)); },
          { "room.vok", "claim.wav", "out.wav" }, 1, "its header claims 288000000 frames, but the file holds only 1000" },
        { "recording at 1 Hz", [&] (RenderCommandTest& t) { good (t); writeBytes (t, "slow.wav", wavBytes (2, 1, 16, 1000, 1000)); },
          { "room.vok", "slow.wav", "out.wav" }, 1, "unusable sample rate" },
        { "no folder for the output", good, { "room.vok", "dry.wav", "no/such/out.wav" }, 1, "Can't write" },

        { "too few arguments",  good, { "room.vok", "dry.wav" }, 2, "Usage: vok render " },
        { "too many arguments", good, { "room.vok", "dry.wav", "out.wav", "more.wav" }, 2, "Usage: vok render " },
        { "level missing",      good, { "room.vok", "dry.wav", "out.wav", "--wet" }, 2, "Usage: vok render " },
        { "level not a number", good, { "room.vok", "dry.wav", "out.wav", "--dry", "loud" }, 2, "Usage: vok render " },
        { "level infinite",     good, { "room.vok", "dry.wav", "out.wav", "--wet", "inf" }, 2, "Usage: vok render " },
        { "level with a comma", good, { "room.vok", "dry.wav", "out.wav", "--wet", "1,5" }, 2, "Usage: vok render " },
        { "unknown option",     good, { "room.vok", "dry.wav", "out.wav", "--gain", "3" }, 2, "Usage: vok render " },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        c.prepare (*this);

        juce::StringArray arguments ("render");
        arguments.addArray (c.arguments);
        const auto result = vok (arguments);

        EXPECT_EQ (result.exitStatus, c.exitStatus) << result.err;
        EXPECT_TRUE (result.err.endsWithChar ('\n') && ! result.err.trimEnd().containsChar ('\n')) << result.err;
        EXPECT_TRUE (result.err.contains (c.messageContains)) << result.err;
        EXPECT_EQ (result.out, "");
        EXPECT_FALSE (file ("out.wav").exists());
    }
}

TEST_F (RenderCommandTest, HelpListsRender)
{
    const auto result = vok ({ "--help" });
    ASSERT_EQ (result.exitStatus, 0);
    EXPECT_TRUE (result.out.contains ("vok render IMPULSE.vok DRY OUT.wav [--wet DB] [--dry DB]")) << result.out;
}
