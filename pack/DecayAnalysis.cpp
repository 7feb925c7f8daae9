#include "DecayAnalysis.h"
#include "FilterChain.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <cmath>
#include <limits>

void DecayAnalysis::filterOctaveBand (std::vector<float>& samples, double sampleRate, int band)
{
    jassert (band >= 0 && band < RoomDesign::numBands);

    const auto centre = RoomDesign::bandCentres[(size_t) band];
    FilterChain filter;
    filter.addButterworth4HighPass (sampleRate, centre / std::sqrt (2.0));
    filter.addButterworth4LowPass (sampleRate, centre * std::sqrt (2.0));
    filter.process (samples.data(), static_cast<int> (samples.size()));
}

std::vector<double> DecayAnalysis::backwardIntegral (const float* samples, int numSamples)
{
    std::vector<double> remaining ((size_t) juce::jmax (0, numSamples));
    double sum = 0.0;

    for (int i = numSamples; --i >= 0;)
    {
        sum += (double) samples[i] * (double) samples[i];
        remaining[(size_t) i] = sum;
    }

    if (sum > 0.0)
        for (auto& value : remaining)
            value /= sum;

    return remaining;
}

std::vector<double> DecayAnalysis::energyDecayCurve (const float* samples, int numSamples)
{
    auto curve = backwardIntegral (samples, numSamples);

    for (auto& value : curve)
        value = value > 0.0 ? 10.0 * std::log10 (value) : -std::numeric_limits<double>::infinity();

    return curve;
}

std::vector<double> DecayAnalysis::octaveBandDecayCurve (const float* samples, int numSamples,
                                                             double sampleRate, int band)
{
    std::vector<float> filtered (samples, samples + juce::jmax (0, numSamples));
    filterOctaveBand (filtered, sampleRate, band);
    return energyDecayCurve (filtered.data(), numSamples);
}

namespace
{
    /** T30 from the curve's levels (dB) over its fit range: the least-squares line, extended to -60 dB. */
    double fitLine (const std::vector<double>& levelsDb, double sampleRate)
    {
        // Centred sums keep the fit well conditioned over long ranges.
        const auto count = static_cast<double> (levelsDb.size());
        const auto meanIndex = (count - 1.0) / 2.0;
        double meanLevel = 0.0;

        for (auto level : levelsDb)
            meanLevel += level / count;

        double covariance = 0.0, variance = 0.0;

        for (size_t i = 0; i < levelsDb.size(); ++i)
        {
            const auto dx = static_cast<double> (i) - meanIndex;
            covariance += dx * (levelsDb[i] - meanLevel);
            variance += dx * dx;
        }

        const auto slopePerSample = covariance / variance;
        return slopePerSample < 0.0 ? -60.0 / (slopePerSample * sampleRate) : 0.0;
    }

    /** The fit range: from the first value at or below `start` to the first at or below `end`. */
    template <typename Values>
    bool findFitRange (const Values& curve, double start, double end, size_t& first, size_t& last)
    {
        first = 0;

        while (first < curve.size() && curve[first] > start)
            ++first;

        last = first;

        while (last < curve.size() && curve[last] > end)
            ++last;

        return last < curve.size() && last > first + 1;
    }
}

double DecayAnalysis::fitT30 (const std::vector<double>& curve, double sampleRate)
{
    return fitDecayTime (curve, sampleRate, -5.0, -35.0);
}

double DecayAnalysis::fitDecayTime (const std::vector<double>& curve, double sampleRate, double startDb, double endDb)
{
    size_t first = 0, last = 0;

    if (! findFitRange (curve, startDb, endDb, first, last))
        return 0.0;

    return fitLine ({ curve.begin() + (std::ptrdiff_t) first, curve.begin() + (std::ptrdiff_t) last + 1 }, sampleRate);
}

double DecayAnalysis::fitT30FromIntegral (const std::vector<double>& integral, double sampleRate)
{
    // Searching the energy ratios spares the logarithms outside the fit range.
    size_t first = 0, last = 0;

    if (! findFitRange (integral, std::pow (10.0, -0.5), std::pow (10.0, -3.5), first, last))
        return 0.0;

    std::vector<double> levelsDb;
    levelsDb.reserve (last - first + 1);

    for (auto i = first; i <= last; ++i)
        levelsDb.push_back (10.0 * std::log10 (integral[i]));

    return fitLine (levelsDb, sampleRate);
}

int DecayAnalysis::getAudibleLength (const float* samples, int numSamples, double sampleRate)
{
    const auto range = juce::FloatVectorOperations::findMinAndMax (samples, numSamples);
    const auto peak = juce::jmax (std::abs (range.getStart()), std::abs (range.getEnd()));
    const auto threshold = peak * juce::Decibels::decibelsToGain (-negligibleLevelDb, -1000.0);
    auto last = numSamples;

    while (last > 0 && std::abs (samples[last - 1]) <= threshold)
        --last;

    // Leave the octave filters time to ring out after the last audible sample.
    return juce::jmin (numSamples, last + static_cast<int> (ringOutSeconds * sampleRate));
}

RoomDesign::BandValues DecayAnalysis::measureT30 (const float* samples, int numSamples, double sampleRate)
{
    RoomDesign::BandValues result {};
    numSamples = getAudibleLength (samples, numSamples, sampleRate);

    std::vector<float> filtered;

    for (int band = 0; band < RoomDesign::numBands; ++band)
    {
        filtered.assign (samples, samples + numSamples);
        filterOctaveBand (filtered, sampleRate, band);
        result[(size_t) band] = fitT30FromIntegral (backwardIntegral (filtered.data(), numSamples), sampleRate);
    }

    return result;
}


double DecayAnalysis::correlation (const float* first, const float* second, int startSample, int numSamples)
{
    double product = 0.0, firstEnergy = 0.0, secondEnergy = 0.0;

    for (int i = startSample; i < startSample + numSamples; ++i)
    {
        product += (double) first[i] * (double) second[i];
        firstEnergy += (double) first[i] * (double) first[i];
        secondEnergy += (double) second[i] * (double) second[i];
    }

    if (firstEnergy <= 0.0 || secondEnergy <= 0.0)
        return 0.0;

    return product / std::sqrt (firstEnergy * secondEnergy);
}
