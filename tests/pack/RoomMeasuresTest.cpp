#include <pack/DecayAnalysis.h>
#include <pack/DiffuseField.h>
#include <pack/EarlyMeasures.h>
#include <pack/Fft.h>
#include <pack/PackMeasures.h>
#include <pack/RoomMeasures.h>
#include <pack/TailMeasures.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>

namespace
{
    constexpr double sampleRate = 44100.0;

    int toSamples (double seconds)                 { return static_cast<int> (seconds * sampleRate); }

    /** Gaussian noise of the given level, decaying by 60 dB in t60 seconds from its start. */
    void addDecayingNoise (std::vector<float>& samples, double startSeconds, double levelDb, double t60, unsigned int seed)
    {
        std::mt19937 random (seed);
        std::normal_distribution<double> gaussian;

        for (auto i = (size_t) toSamples (startSeconds); i < samples.size(); ++i)
        {
            const auto seconds = (double) i / sampleRate - startSeconds;
            samples[i] += (float) (gaussian (random) * std::pow (10.0, (levelDb - 60.0 * seconds / t60) / 20.0));
        }
    }
}

//==============================================================================
struct EchoDensityCase
{
    const char* name;
    double noiseLevelDb;
    double earliestFull, latestFull;   // seconds; -1 for never
};

class RoomMeasuresEchoDensity : public ::testing::TestWithParam<EchoDensityCase> {};

TEST_P (RoomMeasuresEchoDensity, ReachesOneWhereAudibleNoiseFillsTheWindow)
{
    // A direct sound, 30 ms with nothing, then noise.
    std::vector<float> samples ((size_t) toSamples (0.5), 0.0f);
    samples[0] = 1.0f;
    addDecayingNoise (samples, 0.03, GetParam().noiseLevelDb, 10.0, 7);

    const auto full = RoomMeasures::firstEchoDensity (samples.data(), (int) samples.size(), sampleRate, 0, 1.0, 0.0);

    if (GetParam().latestFull < 0.0)
    {
        EXPECT_EQ (full, -1.0);
    }
    else
    {
        EXPECT_GE (full, GetParam().earliestFull);
        EXPECT_LE (full, GetParam().latestFull);
    }
}

INSTANTIATE_TEST_SUITE_P (Cases, RoomMeasuresEchoDensity, ::testing::Values (
    EchoDensityCase { "audibleNoise",              -40.0, 0.02, 0.05 },
    EchoDensityCase { "residueUnderTheNoiseFloor", -100.0, -1.0, -1.0 }),
    [] (const auto& info) { return std::string (info.param.name); });

//==============================================================================
struct EchoCriterionCase
{
    const char* name;
    double echoSeconds, echoGain;
    double lowest, highest;
};

class RoomMeasuresEchoCriterion : public ::testing::TestWithParam<EchoCriterionCase> {};

TEST_P (RoomMeasuresEchoCriterion, FlagsALateStrongReflectionOnly)
{
    const auto& param = GetParam();
    std::vector<float> samples ((size_t) toSamples (0.4), 0.0f);
    const auto direct = toSamples (0.01);
    samples[(size_t) direct] = 1.0f;

    if (param.echoGain > 0.0)
        samples[(size_t) (direct + toSamples (param.echoSeconds))] = (float) param.echoGain;

    const auto criterion = RoomMeasures::echoCriterionForMusic (samples.data(), (int) samples.size(), sampleRate, direct);
    EXPECT_GE (criterion, param.lowest);
    EXPECT_LE (criterion, param.highest);
}

INSTANTIATE_TEST_SUITE_P (Cases, RoomMeasuresEchoCriterion, ::testing::Values (
    EchoCriterionCase { "directSoundAlone",       0.0,  0.0, 0.0, 0.3 },
    EchoCriterionCase { "faintLateReflection",    0.1,  0.1, 0.3, 1.0 },
    EchoCriterionCase { "equalReflectionAt100ms", 0.1,  1.0, 1.8, 10.0 },
    EchoCriterionCase { "equalReflectionAt5ms",   0.005, 1.0, 0.0, 1.0 }),
    [] (const auto& info) { return std::string (info.param.name); });

TEST (PackMeasures, AFileIsJudgedByItsWorstChannel)
{
    // Two channels of a room's decaying tail, the first with an echo: the file's echo
    // criterion is the first channel's, however clean the second.
    juce::Array<RoomDesign> rooms;
    ASSERT_TRUE (RoomDesign::loadTable (juce::File (VOK_ROOM_TABLE), rooms).wasOk());
    const auto& room = rooms.getReference (0);

    std::vector<float> clean ((size_t) room.samplesPerChannel, 0.0f);
    const auto direct = toSamples (0.01);
    clean[(size_t) direct] = 0.5f;
    addDecayingNoise (clean, 0.012, -60.0, room.targetT30[2], 3);
    auto echoing = clean;
    echoing[(size_t) (direct + toSamples (0.1))] = 0.5f;

    juce::AudioBuffer<float> response (2, room.samplesPerChannel);
    response.copyFrom (0, 0, echoing.data(), room.samplesPerChannel);
    response.copyFrom (1, 0, clean.data(), room.samplesPerChannel);

    const auto cleanCriterion = RoomMeasures::echoCriterionForMusic (clean.data(), room.samplesPerChannel, sampleRate, direct);
    const auto echoCriterion = RoomMeasures::echoCriterionForMusic (echoing.data(), room.samplesPerChannel, sampleRate, direct);
    ASSERT_LT (cleanCriterion, 1.0);
    ASSERT_GT (echoCriterion, 1.8);

    const auto rows = PackMeasures::measure (room, RoomSynthesiser::Layout::stereo, response);
    const auto row = std::find_if (rows.begin(), rows.end(), [] (const auto& r) { return r.name.startsWith ("echo criterion"); });
    ASSERT_NE (row, rows.end());
    EXPECT_DOUBLE_EQ (row->value, echoCriterion);
    EXPECT_FALSE (row->isMet());
}

// A room's early decay time is the mean over its paths, as ISO 3382-1 averages it over
// positions: fitted to the first 10 dB of one short bass decay, it scatters widely even where
// the decay is an ideal exponential.
TEST (PackMeasures, EarlyDecayIsJudgedOnThePathsMean)
{
    juce::Array<RoomDesign> rooms;
    ASSERT_TRUE (RoomDesign::loadTable (juce::File (VOK_ROOM_TABLE), rooms).wasOk());
    const auto& room = rooms.getReference (0);
    const auto t60 = room.targetT30[0];
    const auto band = RoomMeasures::getDecayBands().front();
    constexpr int numPaths = 4;

    juce::AudioBuffer<float> response (numPaths, room.samplesPerChannel);
    double edtSum = 0.0, t30Sum = 0.0;

    for (int path = 0; path < numPaths; ++path)
    {
        std::vector<float> samples ((size_t) room.samplesPerChannel, 0.0f);
        addDecayingNoise (samples, 0.01, -20.0, t60, 11u + (unsigned int) path);
        response.copyFrom (path, 0, samples.data(), room.samplesPerChannel);

        const auto curve = RoomMeasures::bandDecayCurve (samples.data(), room.samplesPerChannel, sampleRate, band);
        edtSum += DecayAnalysis::fitDecayTime (curve, sampleRate, 0.0, -10.0);
        t30Sum += DecayAnalysis::fitT30 (curve, sampleRate);
    }

    const auto rows = PackMeasures::measure (room, RoomSynthesiser::Layout::trueStereo, response);
    const auto row = std::find_if (rows.begin(), rows.end(), [&] (const auto& r) { return r.name.startsWith ("EDT / T30 " + band.getName()); });
    ASSERT_NE (row, rows.end());
    EXPECT_NEAR (row->value, edtSum / t30Sum, 1.0e-9);
    EXPECT_TRUE (row->isMet()) << row->value;
}

//==============================================================================
TEST (RoomMeasures, ADiffuseTailDoesNotRepeatALoopedOneDoes)
{
    std::vector<float> diffuse ((size_t) toSamples (1.0), 0.0f);
    addDecayingNoise (diffuse, 0.0, 0.0, 1.0, 11);

    // The first 40 ms over and over, decaying as before.
    auto looped = diffuse;
    const auto loop = (size_t) toSamples (0.04);

    for (size_t i = loop; i < looped.size(); ++i)
        looped[i] = diffuse[i % loop] * (float) std::pow (10.0, -3.0 * (double) (i - i % loop) / sampleRate);

    EXPECT_LT (RoomMeasures::lateRepetition (diffuse.data(), (int) diffuse.size(), sampleRate, 0, 0.005), 0.1);
    EXPECT_GT (RoomMeasures::lateRepetition (looped.data(), (int) looped.size(), sampleRate, 0, 0.005), 0.8);
}

//==============================================================================
struct DirectSoundCase
{
    const char* name;
    std::vector<std::pair<int, float>> pulses;   // sample, value
    int direct;
};

class RoomMeasuresDirectSound : public ::testing::TestWithParam<DirectSoundCase> {};

TEST_P (RoomMeasuresDirectSound, IsTheFirstStrongArrivalNotTheLoudestSample)
{
    std::vector<float> samples ((size_t) toSamples (0.1), 0.0f);

    for (const auto& [sample, value] : GetParam().pulses)
        samples[(size_t) sample] = value;

    EXPECT_EQ (RoomMeasures::findDirectSound (samples.data(), (int) samples.size(), sampleRate), GetParam().direct);
}

INSTANTIATE_TEST_SUITE_P (Cases, RoomMeasuresDirectSound, ::testing::Values (
    DirectSoundCase { "alone", { { 100, 1.0f } }, 100 },
    DirectSoundCase { "before_weaker_reflections", { { 100, -1.0f }, { 400, 0.5f }, { 900, 0.3f } }, 100 },
    // A direct sound between two samples, then a floor reflection nearly as strong that falls on one.
    DirectSoundCase { "split_between_two_samples", { { 100, 0.64f }, { 101, 0.64f }, { 180, 0.9f } }, 100 },
    DirectSoundCase { "peak_after_its_onset", { { 100, 0.6f }, { 102, 1.0f }, { 900, 0.9f } }, 102 },
    DirectSoundCase { "after_faint_noise", { { 20, 0.01f }, { 100, 1.0f } }, 100 }),
    [] (const auto& info) { return std::string (info.param.name); });

//==============================================================================
struct ReflectionCase
{
    const char* name;
    bool amidDenseReflections;
};

class EarlyMeasuresReflectionOverDiffuse : public ::testing::TestWithParam<ReflectionCase> {};

TEST_P (EarlyMeasuresReflectionOverDiffuse, IsJudgedAgainstTheNoiseNotItsNeighbours)
{
    // A reflection whose millisecond holds 6 dB more than the noise's; in the second case other
    // reflections, as strong as it and closer together than a millisecond, surround it for
    // 8 ms either side, as second-order ones do in a small room.
    std::vector<float> samples ((size_t) toSamples (0.2), 0.0f);
    addDecayingNoise (samples, 0.0, -40.0, 100.0, 7);
    const auto arrival = toSamples (0.1);
    const auto noisePerMillisecond = toSamples (0.001) * 1.0e-4;
    const auto amplitude = (float) std::sqrt (noisePerMillisecond * (std::pow (10.0, 0.6) - 1.0));
    samples[(size_t) arrival] = amplitude;
    std::vector<int> others;

    if (GetParam().amidDenseReflections)
        for (auto offset = -0.008; offset <= 0.008; offset += 0.0006)
            if (offset < -0.0015 || offset > 0.002)
            {
                others.push_back (arrival + toSamples (offset));
                samples[(size_t) others.back()] += amplitude;
            }

    const auto level = EarlyMeasures::reflectionOverDiffuseDb (samples.data(), (int) samples.size(), sampleRate, arrival, 0, others);
    // The reference noise is a few milliseconds of white noise: 1.5 dB is three times its scatter.
    // Counting the neighbours as diffuse sound would put the reflection 2 dB below it.
    EXPECT_NEAR (level, 6.0, 1.5);
}

INSTANTIATE_TEST_SUITE_P (Cases, EarlyMeasuresReflectionOverDiffuse, ::testing::Values (
    ReflectionCase { "inNoiseAlone", false },
    ReflectionCase { "amidDenseReflections", true }),
    [] (const auto& info) { return std::string (info.param.name); });

//==============================================================================
struct IdealFieldCase
{
    double spacing, bandCentre, tolerance;
};

class LateCoherenceOfAnIdealField : public ::testing::TestWithParam<IdealFieldCase> {};

// Two channels of an ideal diffuse field, coherent as sin(kd)/kd at every frequency and
// everywhere in time, measured as the report measures a tail: the value expected of the
// band is the one the estimator finds. At 125 Hz the estimator's 50 ms envelope holds only a
// few of the band's fluctuations, which leaves it a bias of a few hundredths of its own.
TEST_P (LateCoherenceOfAnIdealField, IsTheExpectedValue)
{
    const auto [spacing, centre, tolerance] = GetParam();
    juce::Array<RoomDesign> rooms;
    ASSERT_TRUE (RoomDesign::loadTable (juce::File (VOK_ROOM_TABLE), rooms).wasOk());
    auto room = rooms.getReference (0);
    room.leftMicrophone = { 1.0, 1.0, 1.0 };
    room.rightMicrophone = { 1.0 + spacing, 1.0, 1.0 };

    // Long enough (B T of some 4000) that the estimate scatters by about 0.01.
    const int size = 1 << 21;
    std::vector<std::complex<double>> left ((size_t) size), right ((size_t) size);
    std::mt19937 random (7);
    std::normal_distribution<double> gaussian;

    for (int bin = 1; bin < size / 2; ++bin)
    {
        const auto coherence = DiffuseField::getDiffuseCoherence (bin * sampleRate / size, spacing, room.speedOfSound);
        const std::complex<double> own (gaussian (random), gaussian (random)), other (gaussian (random), gaussian (random));
        left[(size_t) bin] = own;
        right[(size_t) bin] = coherence * own + std::sqrt (1.0 - coherence * coherence) * other;
        left[(size_t) (size - bin)] = std::conj (left[(size_t) bin]);
        right[(size_t) (size - bin)] = std::conj (right[(size_t) bin]);
    }

    const Fft fft (size);
    fft.inverse (left);
    fft.inverse (right);
    std::vector<float> a ((size_t) size), b ((size_t) size);

    for (size_t i = 0; i < (size_t) size; ++i)
    {
        a[i] = (float) (left[i].real() * 1000.0);
        b[i] = (float) (right[i].real() * 1000.0);
    }

    const auto band = RoomMeasures::Band::octave (centre);
    const auto measured = TailMeasures::normalisedCoherences (a.data(), b.data(), size, sampleRate, band,
                                                              { { toSamples (1.0), size - toSamples (1.0) } }).front();
    EXPECT_NEAR (measured, PackMeasures::expectedCoherence (room, RoomSynthesiser::Layout::stereo, 0, 1, centre), tolerance);
}

INSTANTIATE_TEST_SUITE_P (SpacingsAndBands, LateCoherenceOfAnIdealField,
                          ::testing::Values (IdealFieldCase { 0.4, 250.0, 0.02 }, IdealFieldCase { 0.5, 250.0, 0.02 },
                                             IdealFieldCase { 1.67, 125.0, 0.05 }, IdealFieldCase { 0.6, 125.0, 0.05 }));
