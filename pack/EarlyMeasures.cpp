#include "EarlyMeasures.h"
#include "FilterChain.h"

#include <algorithm>
#include <cmath>

namespace
{
    /** Mean energy per sample from start to end, within the signal. */
    double meanEnergy (const float* samples, int numSamples, int start, int end)
    {
        start = juce::jlimit (0, numSamples, start);
        end = juce::jlimit (start, numSamples, end);
        double energy = 0.0;

        for (int i = start; i < end; ++i)
            energy += (double) samples[i] * samples[i];

        return end > start ? energy / (end - start) : 0.0;
    }

    /** The energy of the samples within halfWidth of a reflection, none before firstSample and
        none in the reflection's own window: of all of them, and of those more than half a
        millisecond from every other arrival.
    */
    struct LocalEnergy
    {
        int halfWidth = 0;
        double all = 0.0, clear = 0.0;
        int numAll = 0, numClear = 0;
    };

    LocalEnergy energyAround (const float* samples, int numSamples, int arrivalSample, int firstSample,
                              int halfWidth, int millisecond, const std::vector<int>& otherArrivals)
    {
        LocalEnergy around;
        around.halfWidth = halfWidth;

        for (int i = juce::jmax (juce::jmax (0, firstSample), arrivalSample - halfWidth); i < juce::jmin (numSamples, arrivalSample + halfWidth); ++i)
        {
            if (i > arrivalSample - millisecond && i < arrivalSample + 3 * millisecond / 2)
                continue;

            const auto energy = (double) samples[i] * samples[i];
            const auto nearOther = std::any_of (otherArrivals.begin(), otherArrivals.end(),
                                                [&] (int other) { return std::abs (other - i) < millisecond / 2; });
            around.all += energy;
            ++around.numAll;

            if (! nearOther)
            {
                around.clear += energy;
                ++around.numClear;
            }
        }

        return around;
    }
}

std::vector<EarlyMeasures::Peak> EarlyMeasures::findPeaks (const float* samples, int numSamples, double sampleRate,
                                                          int startSample, int endSample)
{
    const auto halfWidth = static_cast<int> (peakHalfWidthSeconds * sampleRate);
    const auto local = static_cast<int> (localSeconds * sampleRate);
    std::vector<Peak> peaks;

    for (int i = juce::jmax (0, startSample); i < juce::jmin (numSamples, endSample); ++i)
    {
        const auto magnitude = std::abs (samples[i]);

        if (magnitude == 0.0f)
            continue;

        auto isPeak = true;

        for (int j = juce::jmax (0, i - halfWidth); j <= juce::jmin (numSamples - 1, i + halfWidth) && isPeak; ++j)
            isPeak = j == i || std::abs (samples[j]) < magnitude;

        if (isPeak && magnitude * magnitude >= peakFactor * peakFactor * meanEnergy (samples, numSamples, i - local, i + local + 1))
            peaks.push_back ({ i, samples[i] > 0.0f });
    }

    return peaks;
}

double EarlyMeasures::coincidentShare (const std::vector<Peak>& peaks, const std::vector<Peak>& others, bool oppositeSignOnly)
{
    if ((int) peaks.size() < minimumPeaks)
        return 0.0;

    int coincident = 0;

    for (const auto& peak : peaks)
    {
        const auto found = std::lower_bound (others.begin(), others.end(), peak.sample,
                                             [] (const Peak& other, int sample) { return other.sample < sample; });

        if (found != others.end() && found->sample == peak.sample && (! oppositeSignOnly || found->positive != peak.positive))
            ++coincident;
    }

    return coincident / (double) peaks.size();
}

double EarlyMeasures::differenceLevelDb (const float* a, const float* b, int numSamples, double sampleRate,
                                         double highPassHz, int startSample, int endSample)
{
    std::vector<float> difference ((size_t) numSamples), sum ((size_t) numSamples);

    for (int i = 0; i < numSamples; ++i)
    {
        difference[(size_t) i] = a[i] - b[i];
        sum[(size_t) i] = a[i] + b[i];
    }

    for (auto* signal : { &difference, &sum })
    {
        FilterChain highPass;
        highPass.addButterworth4HighPass (sampleRate, highPassHz);
        highPass.process (signal->data(), numSamples);
    }

    const auto differenceEnergy = meanEnergy (difference.data(), numSamples, startSample, endSample);
    const auto sumEnergy = meanEnergy (sum.data(), numSamples, startSample, endSample);
    return 10.0 * std::log10 ((differenceEnergy + 1.0e-30) / (sumEnergy + 1.0e-30));
}

double EarlyMeasures::reflectionOverDiffuseDb (const float* samples, int numSamples, double sampleRate,
                                               int arrivalSample, int firstSample, const std::vector<int>& otherArrivals)
{
    const auto millisecond = static_cast<int> (0.001 * sampleRate);
    const auto lead = millisecond / 4;
    const auto arrival = meanEnergy (samples, numSamples, arrivalSample - lead, arrivalSample - lead + millisecond);

    // The diffuse level is taken only where no specular arrival is. In a small room the
    // arrivals soon come closer together than a millisecond, and a level over all the samples
    // would be that of the neighbouring reflections; so the window widens until it holds twice
    // the reflection's own millisecond clear of them (the reference then scatters less than the
    // reflection's window does), makes do with one millisecond at its widest, and counts every
    // sample only where even that fails.
    const auto widest = static_cast<int> (widestLocalSeconds * sampleRate);
    const auto wanted = static_cast<int> (clearSecondsWanted * sampleRate);
    const auto needed = static_cast<int> (clearSecondsNeeded * sampleRate);
    auto around = energyAround (samples, numSamples, arrivalSample, firstSample, static_cast<int> (localSeconds * sampleRate),
                                millisecond, otherArrivals);

    while (around.numClear < wanted && around.halfWidth < widest)
        around = energyAround (samples, numSamples, arrivalSample, firstSample, around.halfWidth + millisecond, millisecond, otherArrivals);

    const auto diffuse = around.numClear >= needed ? around.clear / around.numClear
                                                   : (around.numAll > 0 ? around.all / around.numAll : 0.0);
    return 10.0 * std::log10 ((arrival + 1.0e-30) / (diffuse + 1.0e-30));
}
