#include <pack/DecayAnalysis.h>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace
{
    constexpr double sampleRate = 44100.0;

    /** White noise decaying at the same rate in every band: T60 seconds for 60 dB. */
    std::vector<float> decayingNoise (double t60, double seconds, unsigned int seed)
    {
        std::mt19937 random (seed);
        std::vector<float> samples ((size_t) (seconds * sampleRate));

        for (size_t i = 0; i < samples.size(); ++i)
        {
            const auto white = (double) random() / (double) std::mt19937::max() * 2.0 - 1.0;
            samples[i] = (float) (white * std::pow (10.0, -3.0 * (double) i / (t60 * sampleRate)));
        }

        return samples;
    }
}

class DecayAnalysisKnownDecay : public ::testing::TestWithParam<double> {};

TEST_P (DecayAnalysisKnownDecay, MeasuresTheDecayOfNoiseInEveryOctaveBand)
{
    // One noise decay measured in one octave band varies by a few per cent by chance;
    // the mean of several shows the measurement's own error.
    const auto t60 = GetParam();
    constexpr int numRealisations = 8;
    RoomDesign::BandValues mean {};

    for (unsigned int seed = 1; seed <= numRealisations; ++seed)
    {
        const auto samples = decayingNoise (t60, 1.5 * t60 + 0.2, seed);
        const auto measured = DecayAnalysis::measureT30 (samples.data(), (int) samples.size(), sampleRate);

        for (size_t band = 0; band < mean.size(); ++band)
            mean[band] += measured[band] / numRealisations;
    }

    for (size_t band = 0; band < mean.size(); ++band)
        EXPECT_NEAR (mean[band], t60, 0.05 * t60) << "band " << RoomDesign::bandCentres[band] << " Hz";
}

INSTANTIATE_TEST_SUITE_P (Decays, DecayAnalysisKnownDecay, ::testing::Values (0.3, 1.0, 2.5, 4.5));

TEST (DecayAnalysis, FitsTheLineBetweenMinusFiveAndMinusThirtyFiveDecibels)
{
    // A curve that falls 60 dB per second after an instant 3 dB drop: only the fit range counts.
    std::vector<double> curve;

    for (int i = 0; i < 2 * (int) sampleRate; ++i)
        curve.push_back (i == 0 ? 0.0 : -3.0 - 60.0 * i / sampleRate);

    EXPECT_NEAR (DecayAnalysis::fitT30 (curve, sampleRate), 1.0, 1.0e-6);
}

TEST (DecayAnalysis, GivesNothingForACurveThatNeverReachesMinusThirtyFive)
{
    std::vector<double> curve;

    for (int i = 0; i < 1000; ++i)
        curve.push_back (-0.03 * i);

    EXPECT_EQ (DecayAnalysis::fitT30 (curve, sampleRate), 0.0);
    EXPECT_EQ (DecayAnalysis::fitT30 ({}, sampleRate), 0.0);

    const std::vector<float> silence (1000, 0.0f);
    const auto measured = DecayAnalysis::measureT30 (silence.data(), (int) silence.size(), sampleRate);

    for (auto t30 : measured)
        EXPECT_EQ (t30, 0.0);
}

TEST (DecayAnalysis, BackwardIntegralStartsAtOneAndEndsWithTheLastSample)
{
    const std::vector<float> samples { 1.0f, 0.0f, 1.0f, 2.0f };
    const auto integral = DecayAnalysis::backwardIntegral (samples.data(), (int) samples.size());

    ASSERT_EQ (integral.size(), 4u);
    EXPECT_DOUBLE_EQ (integral[0], 1.0);
    EXPECT_DOUBLE_EQ (integral[1], 5.0 / 6.0);
    EXPECT_DOUBLE_EQ (integral[2], 5.0 / 6.0);
    EXPECT_DOUBLE_EQ (integral[3], 4.0 / 6.0);

    const auto curve = DecayAnalysis::energyDecayCurve (samples.data(), (int) samples.size());
    EXPECT_DOUBLE_EQ (curve[0], 0.0);
    EXPECT_NEAR (curve[3], 10.0 * std::log10 (4.0 / 6.0), 1.0e-12);
}

TEST (DecayAnalysis, AudibleLengthDropsTrailingSilenceButLeavesRingOutTime)
{
    std::vector<float> samples (100000, 0.0f);
    samples[10] = 1.0f;
    samples[1000] = 1.0e-9f;   // 180 dB down: negligible

    const auto ringOut = (int) (DecayAnalysis::ringOutSeconds * sampleRate);
    EXPECT_EQ (DecayAnalysis::getAudibleLength (samples.data(), (int) samples.size(), sampleRate), 11 + ringOut);

    samples[50000] = 1.0e-3f;
    EXPECT_EQ (DecayAnalysis::getAudibleLength (samples.data(), (int) samples.size(), sampleRate), 50001 + ringOut);

    samples.back() = 0.5f;
    EXPECT_EQ (DecayAnalysis::getAudibleLength (samples.data(), (int) samples.size(), sampleRate), (int) samples.size());
}

TEST (DecayAnalysis, CorrelationOfEqualOppositeIndependentAndSilentSignals)
{
    const auto first = decayingNoise (10.0, 1.0, 1);
    const auto second = decayingNoise (10.0, 1.0, 2);
    std::vector<float> negated (first.size()), silent (first.size(), 0.0f);

    for (size_t i = 0; i < first.size(); ++i)
        negated[i] = -first[i];

    const auto n = (int) first.size() - 100;
    EXPECT_NEAR (DecayAnalysis::correlation (first.data(), first.data(), 100, n), 1.0, 1.0e-9);
    EXPECT_NEAR (DecayAnalysis::correlation (first.data(), negated.data(), 100, n), -1.0, 1.0e-9);
    EXPECT_LT (std::abs (DecayAnalysis::correlation (first.data(), second.data(), 100, n)), 0.05);
    EXPECT_EQ (DecayAnalysis::correlation (first.data(), silent.data(), 100, n), 0.0);
}

TEST (DecayAnalysis, OctaveBandFilterPassesItsBandAndStopsTheOthers)
{
    for (int band = 0; band < RoomDesign::numBands; ++band)
    {
        const auto centre = RoomDesign::bandCentres[(size_t) band];

        const auto levelAt = [band] (double frequency)
        {
            std::vector<float> tone ((size_t) sampleRate);

            for (size_t i = 0; i < tone.size(); ++i)
                tone[i] = (float) std::sin (2.0 * 3.14159265358979323846 * frequency * (double) i / sampleRate);

            DecayAnalysis::filterOctaveBand (tone, sampleRate, band);
            double energy = 0.0;

            for (size_t i = tone.size() / 2; i < tone.size(); ++i)
                energy += (double) tone[i] * tone[i];

            return 10.0 * std::log10 (energy / (double) (tone.size() / 2) * 2.0);
        };

        // Each fourth-order edge, half an octave away, takes 0.26 dB off the centre.
        EXPECT_NEAR (levelAt (centre), -0.53, 0.1) << centre << " Hz";
        EXPECT_LT (levelAt (centre * 4.0), -20.0) << centre << " Hz";
        EXPECT_LT (levelAt (centre / 4.0), -20.0) << centre << " Hz";
    }
}
