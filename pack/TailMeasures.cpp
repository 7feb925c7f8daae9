#include "TailMeasures.h"
#include "DecayAnalysis.h"
#include "Fft.h"
#include "NoiseSource.h"

#include <array>
#include <cmath>

namespace
{
    /** The band's filter run forwards and then backwards: the band without its phase shift. */
    std::vector<float> zeroPhaseBand (const float* samples, int numSamples, double sampleRate, const RoomMeasures::Band& band)
    {
        std::vector<float> filtered (samples, samples + numSamples);
        RoomMeasures::filter (filtered, sampleRate, band);
        std::reverse (filtered.begin(), filtered.end());
        RoomMeasures::filter (filtered, sampleRate, band);
        std::reverse (filtered.begin(), filtered.end());
        return filtered;
    }

    /** The mean power per bin between two frequencies. */
    double meanPower (const std::vector<std::complex<double>>& spectrum, double sampleRate, double low, double high)
    {
        const auto size = (double) spectrum.size();
        const auto first = juce::jmax (1, static_cast<int> (std::ceil (low * size / sampleRate)));
        const auto last = static_cast<int> (std::floor (high * size / sampleRate));
        double power = 0.0;

        for (int bin = first; bin <= last; ++bin)
            power += std::norm (spectrum[(size_t) bin]);

        return last >= first ? power / (last - first + 1) : 0.0;
    }
}

double TailMeasures::envelopeFluctuationDb (const float* samples, int numSamples, double sampleRate,
                                            const RoomMeasures::Band& band, int startSample, int endSample)
{
    std::vector<float> filtered (samples, samples + numSamples);
    RoomMeasures::filter (filtered, sampleRate, band);

    const auto frameLength = static_cast<int> (frameSeconds * sampleRate);
    std::vector<double> levels;

    for (int start = juce::jmax (0, startSample); start + frameLength <= juce::jmin (numSamples, endSample); start += frameLength)
    {
        double energy = 0.0;

        for (int i = start; i < start + frameLength; ++i)
            energy += (double) filtered[(size_t) i] * filtered[(size_t) i];

        levels.push_back (10.0 * std::log10 (energy + 1.0e-30));
    }

    const auto count = (double) levels.size();

    if (count < 4.0)
        return 0.0;

    // The least-squares decay through the levels, a parabola in dB: above 2 kHz the air's
    // absorption gives a band's decay a slight bend, which is no fluctuation.
    std::array<std::array<double, 4>, 3> normal {};

    for (size_t k = 0; k < levels.size(); ++k)
    {
        const double powers[] { 1.0, (double) k, (double) k * (double) k };

        for (int row = 0; row < 3; ++row)
        {
            for (int column = 0; column < 3; ++column)
                normal[(size_t) row][(size_t) column] += powers[row] * powers[column];

            normal[(size_t) row][3] += powers[row] * levels[k];
        }
    }

    for (int pivot = 0; pivot < 3; ++pivot)
        for (int row = 0; row < 3; ++row)
            if (row != pivot)
            {
                const auto factor = normal[(size_t) row][(size_t) pivot] / normal[(size_t) pivot][(size_t) pivot];

                for (int column = 0; column < 4; ++column)
                    normal[(size_t) row][(size_t) column] -= factor * normal[(size_t) pivot][(size_t) column];
            }

    double spread = 0.0;

    for (size_t k = 0; k < levels.size(); ++k)
    {
        const auto x = (double) k;
        const auto fitted = normal[0][3] / normal[0][0] + x * normal[1][3] / normal[1][1] + x * x * normal[2][3] / normal[2][2];
        spread += std::pow (levels[k] - fitted, 2.0);
    }

    return std::sqrt (spread / (count - 3.0));
}

double TailMeasures::gaussianFluctuationDb (double t30, double sampleRate, const RoomMeasures::Band& band,
                                            int startSample, int endSample)
{
    double sum = 0.0;

    for (int seed = 0; seed < numReferenceNoises; ++seed)
    {
        NoiseSource noise ((juce::uint64) (0x5eed0000 + seed));
        std::vector<float> reference ((size_t) endSample);

        for (int i = 0; i < endSample; ++i)
            reference[(size_t) i] = static_cast<float> (noise.nextGaussian() * std::exp (-RoomDesign::nepersPerDecay * i / (sampleRate * t30)));

        sum += envelopeFluctuationDb (reference.data(), endSample, sampleRate, band, startSample, endSample);
    }

    return sum / numReferenceNoises;
}

std::vector<double> TailMeasures::normalisedCoherences (const float* first, const float* second, int numSamples, double sampleRate,
                                                        const RoomMeasures::Band& band, const std::vector<std::pair<int, int>>& ranges)
{
    auto a = zeroPhaseBand (first, numSamples, sampleRate, band);
    auto b = zeroPhaseBand (second, numSamples, sampleRate, band);

    // The common envelope: the RMS of both channels over a sliding window.
    const auto half = static_cast<int> (0.5 * envelopeSeconds * sampleRate);
    std::vector<double> cumulative ((size_t) numSamples + 1, 0.0);

    for (int i = 0; i < numSamples; ++i)
        cumulative[(size_t) i + 1] = cumulative[(size_t) i] + 0.5 * ((double) a[(size_t) i] * a[(size_t) i] + (double) b[(size_t) i] * b[(size_t) i]);

    std::vector<double> coherences;

    for (const auto& [start, end] : ranges)
    {
        double product = 0.0, energyA = 0.0, energyB = 0.0;

        for (int i = juce::jmax (0, start); i < juce::jmin (numSamples, end); ++i)
        {
            const auto from = juce::jmax (0, i - half), to = juce::jmin (numSamples, i + half + 1);
            const auto meanSquare = (cumulative[(size_t) to] - cumulative[(size_t) from]) / (to - from);

            if (meanSquare <= 0.0)
                continue;

            product += a[(size_t) i] * (double) b[(size_t) i] / meanSquare;
            energyA += a[(size_t) i] * (double) a[(size_t) i] / meanSquare;
            energyB += b[(size_t) i] * (double) b[(size_t) i] / meanSquare;
        }

        coherences.push_back (energyA > 0.0 && energyB > 0.0 ? product / std::sqrt (energyA * energyB) : 0.0);
    }

    return coherences;
}

int TailMeasures::findBandDecayEnd (const float* first, const float* second, int numSamples, double sampleRate,
                                    const RoomMeasures::Band& band, int startSample, double dropDb)
{
    auto a = zeroPhaseBand (first, numSamples, sampleRate, band);
    const auto b = zeroPhaseBand (second, numSamples, sampleRate, band);

    for (int i = 0; i < numSamples; ++i)
        a[(size_t) i] = static_cast<float> (std::sqrt (0.5 * ((double) a[(size_t) i] * a[(size_t) i] + (double) b[(size_t) i] * b[(size_t) i])));

    const auto remaining = DecayAnalysis::backwardIntegral (a.data(), numSamples);
    const auto start = juce::jlimit (0, numSamples - 1, startSample);
    auto end = start;

    while (end < numSamples && remaining[(size_t) end] > remaining[(size_t) start] * std::pow (10.0, -dropDb / 10.0))
        ++end;

    return end;
}

double TailMeasures::subsonicLevelDb (const float* samples, int numSamples, double sampleRate)
{
    const auto spectrum = Fft::spectrumOf (samples, numSamples);
    return 10.0 * std::log10 ((meanPower (spectrum, sampleRate, 2.0, 20.0) + 1.0e-30) / (meanPower (spectrum, sampleRate, 30.0, 300.0) + 1.0e-30));
}
