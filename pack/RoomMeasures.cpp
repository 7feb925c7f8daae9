#include "RoomMeasures.h"
#include "AirAbsorption.h"
#include "DecayAnalysis.h"
#include "Fft.h"
#include "FilterChain.h"

#include <cmath>
#include <complex>

double RoomMeasures::Band::getCentre() const noexcept
{
    return std::sqrt (lowEdge * highEdge);
}

juce::String RoomMeasures::Band::getName() const
{
    const auto centre = getCentre();

    if (highEdge > 20000.0)
        return "> " + juce::String (lowEdge / 1000.0, 1) + " kHz";

    return centre >= 1000.0 ? juce::String (juce::roundToInt (centre / 1000.0)) + " kHz"
                            : juce::String (juce::roundToInt (centre)) + " Hz";
}

std::vector<RoomMeasures::Band> RoomMeasures::getDecayBands()
{
    std::vector<Band> bands;

    for (auto centre : RoomDesign::bandCentres)
        bands.push_back (Band::octave (centre));

    bands.push_back (Band::octave (8000.0));
    bands.push_back ({ 8000.0 * std::sqrt (2.0), 22050.0 * std::sqrt (2.0) });
    return bands;
}

namespace
{
    FilterChain makeBandFilter (double sampleRate, const RoomMeasures::Band& band)
    {
        FilterChain chain;
        chain.addButterworth4HighPass (sampleRate, band.lowEdge);

        if (band.highEdge < 0.5 * sampleRate)
            chain.addButterworth4LowPass (sampleRate, band.highEdge);

        return chain;
    }
}

void RoomMeasures::filter (std::vector<float>& samples, double sampleRate, const Band& band)
{
    makeBandFilter (sampleRate, band).process (samples.data(), static_cast<int> (samples.size()));
}

std::vector<double> RoomMeasures::bandDecayCurve (const float* samples, int numSamples, double sampleRate, const Band& band)
{
    std::vector<float> filtered (samples, samples + numSamples);
    filter (filtered, sampleRate, band);
    return DecayAnalysis::energyDecayCurve (filtered.data(), numSamples);
}

RoomMeasures::DecayPrediction RoomMeasures::predictAirDecay (double decayAt4k, const Band& band, double sampleRate, double speedOfSound)
{
    const auto bandFilter = makeBandFilter (sampleRate, band);
    constexpr double step = 25.0, curveStep = 0.001;
    const auto longest = AirAbsorption::extrapolateDecayTime (decayAt4k, 4000.0, 4000.0, speedOfSound);
    std::vector<double> weights, decays;

    for (auto frequency = 4000.0; frequency < 0.5 * sampleRate; frequency += step)
    {
        const auto gain = bandFilter.getMagnitude (sampleRate, frequency);
        weights.push_back (gain * gain);
        decays.push_back (AirAbsorption::extrapolateDecayTime (decayAt4k, 4000.0, frequency, speedOfSound));
    }

    // Below 4 kHz the band filters pass so little that the 4 kHz decay stands for it.
    std::vector<double> curve;

    for (double t = 0.0; t < 3.0 * longest; t += curveStep)
    {
        double energy = 0.0;

        for (size_t i = 0; i < weights.size(); ++i)
            energy += weights[i] * decays[i] * std::exp (-13.815510557964274 * t / decays[i]);

        curve.push_back (energy);
    }

    const auto start = curve.front();

    for (auto& value : curve)
        value = 10.0 * std::log10 (value / start);

    return { DecayAnalysis::fitT30 (curve, 1.0 / curveStep),
             DecayAnalysis::fitDecayTime (curve, 1.0 / curveStep, -25.0, -45.0) };
}

std::vector<double> RoomMeasures::echoDensity (const float* samples, int numSamples, double sampleRate,
                                                   double stepSeconds, double maxSeconds)
{
    const auto windowLength = static_cast<int> (echoDensityWindowSeconds * sampleRate) | 1;
    const auto half = windowLength / 2;
    std::vector<double> window ((size_t) windowLength);
    double windowSum = 0.0;

    for (int i = 0; i < windowLength; ++i)
    {
        window[(size_t) i] = 0.5 - 0.5 * std::cos (2.0 * juce::MathConstants<double>::pi * (i + 1) / (windowLength + 1));
        windowSum += window[(size_t) i];
    }

    const auto gaussianFraction = std::erfc (1.0 / std::sqrt (2.0));
    const auto loudest = numSamples > 0 ? std::abs ((double) samples[findLoudestSample (samples, numSamples)]) : 0.0;
    const auto floorVariance = std::pow (loudest * std::pow (10.0, echoDensityFloorDb / 20.0), 2.0);
    std::vector<double> profile;

    for (double t = 0.0; t <= maxSeconds; t += stepSeconds)
    {
        const auto centre = static_cast<int> (t * sampleRate);
        double variance = 0.0;

        for (int i = 0; i < windowLength; ++i)
        {
            const auto index = centre - half + i;
            const auto value = index >= 0 && index < numSamples ? (double) samples[index] : 0.0;
            variance += window[(size_t) i] * value * value / windowSum;
        }

        // The measure does not see level: the faint residue of filters in a gap between
        // reflections would read as dense as a diffuse field. A window far below the response,
        // under any real measurement's noise floor, holds no echoes.
        if (variance <= floorVariance)
        {
            profile.push_back (0.0);
            continue;
        }

        const auto deviation = std::sqrt (variance);
        double outside = 0.0;

        for (int i = 0; i < windowLength; ++i)
        {
            const auto index = centre - half + i;
            const auto value = index >= 0 && index < numSamples ? (double) samples[index] : 0.0;

            if (std::abs (value) > deviation)
                outside += window[(size_t) i] / windowSum;
        }

        profile.push_back (outside / gaussianFraction);
    }

    return profile;
}

std::vector<double> RoomMeasures::smoothProfile (const std::vector<double>& profile, double stepSeconds, double smoothingSeconds)
{
    const auto half = static_cast<int> (0.5 * smoothingSeconds / stepSeconds);
    const auto size = static_cast<int> (profile.size());
    std::vector<double> smoothed (profile.size());

    for (int i = 0; i < size; ++i)
    {
        const auto from = juce::jmax (0, i - half), to = juce::jmin (size - 1, i + half);
        double sum = 0.0;

        for (int j = from; j <= to; ++j)
            sum += profile[(size_t) j];

        smoothed[(size_t) i] = sum / (to - from + 1);
    }

    return smoothed;
}

double RoomMeasures::firstEchoDensity (const float* samples, int numSamples, double sampleRate, int startSample,
                                       double threshold, double smoothingSeconds)
{
    constexpr double step = echoDensityStepSeconds;
    const auto length = numSamples - startSample;
    auto profile = echoDensity (samples + startSample, length, sampleRate, step, juce::jmin (1.0, length / sampleRate));

    if (smoothingSeconds > 0.0)
        profile = smoothProfile (profile, step, smoothingSeconds);

    for (size_t i = 0; i < profile.size(); ++i)
        if (profile[i] >= threshold)
            return (double) i * step;

    return -1.0;
}

double RoomMeasures::echoCriterionForMusic (const float* samples, int numSamples, double sampleRate, int startSample)
{
    constexpr double echoTime = 0.014;   // Delta tau_E for music
    std::vector<float> filtered (samples, samples + numSamples);
    filter (filtered, sampleRate, { 1000.0 / std::sqrt (2.0), 2000.0 * std::sqrt (2.0) });

    // ts (tau) for every sample, from running sums of |p| and |p| t.
    std::vector<double> buildUp;
    double weighted = 0.0, total = 0.0;

    for (int i = juce::jmax (0, startSample); i < numSamples; ++i)
    {
        const auto magnitude = std::abs ((double) filtered[(size_t) i]);
        weighted += magnitude * (i - startSample) / sampleRate;
        total += magnitude;
        buildUp.push_back (total > 0.0 ? weighted / total : 0.0);
    }

    const auto lag = static_cast<size_t> (echoTime * sampleRate);
    double largest = 0.0;

    for (size_t i = lag; i < buildUp.size(); ++i)
        largest = juce::jmax (largest, (buildUp[i] - buildUp[i - lag]) / echoTime);

    return largest;
}

double RoomMeasures::lateRepetition (const float* samples, int numSamples, double sampleRate, int startSample,
                                         double minLagSeconds)
{
    startSample = juce::jlimit (0, numSamples, startSample);
    std::vector<float> part (samples + startSample, samples + numSamples);
    filter (part, sampleRate, { 1000.0, 2.0 * sampleRate });

    // Until the part has decayed by 40 dB.
    const auto remaining = DecayAnalysis::backwardIntegral (part.data(), (int) part.size());
    size_t length = 0;

    while (length < remaining.size() && remaining[length] > remaining.front() * 1.0e-4)
        ++length;

    part.resize (length);

    // Each sample over the RMS of the 20 ms around it.
    const auto half = static_cast<size_t> (0.01 * sampleRate);
    std::vector<double> cumulative (length + 1, 0.0);

    for (size_t i = 0; i < length; ++i)
        cumulative[i + 1] = cumulative[i] + (double) part[i] * part[i];

    int fftSize = 1;

    while (fftSize < (int) (2 * length))
        fftSize *= 2;

    std::vector<std::complex<double>> spectrum ((size_t) fftSize);

    for (size_t i = 0; i < length; ++i)
    {
        const auto from = i > half ? i - half : 0, to = juce::jmin (length, i + half + 1);
        const auto meanSquare = (cumulative[to] - cumulative[from]) / (double) (to - from);
        spectrum[i] = meanSquare > 0.0 ? part[i] / std::sqrt (meanSquare) : 0.0;
    }

    // The autocorrelation, by the power spectrum.
    const Fft fft (fftSize);
    fft.forward (spectrum);

    for (auto& bin : spectrum)
        bin = std::norm (bin);

    fft.inverse (spectrum);

    const auto zeroLag = spectrum.front().real();
    double largest = 0.0;

    if (zeroLag <= 0.0)
        return largest;

    for (auto lagSamples = static_cast<size_t> (minLagSeconds * sampleRate); lagSamples < length / 2; ++lagSamples)
        largest = juce::jmax (largest, std::abs (spectrum[lagSamples].real()) / zeroLag);

    return largest;
}

double RoomMeasures::bandCoherence (const float* first, const float* second, int numSamples, double sampleRate,
                                        const Band& band, int startSample, int endSample)
{
    std::vector<float> a (first, first + numSamples), b (second, second + numSamples);
    filter (a, sampleRate, band);
    filter (b, sampleRate, band);
    endSample = juce::jmin (endSample, numSamples);
    return DecayAnalysis::correlation (a.data(), b.data(), startSample, endSample - startSample);
}

int RoomMeasures::findLoudestSample (const float* samples, int numSamples) noexcept
{
    int loudest = 0;

    for (int i = 1; i < numSamples; ++i)
        if (std::abs (samples[i]) > std::abs (samples[loudest]))
            loudest = i;

    return loudest;
}

int RoomMeasures::findDirectSound (const float* samples, int numSamples, double sampleRate) noexcept
{
    const auto first = findFirstArrival (samples, numSamples, directThresholdDb);
    const auto last = juce::jmin (numSamples, first + static_cast<int> (directPeakSeconds * sampleRate) + 1);
    auto peak = first;

    for (int i = first + 1; i < last; ++i)
        if (std::abs (samples[i]) > std::abs (samples[peak]))
            peak = i;

    return juce::jmin (peak, numSamples - 1);
}

int RoomMeasures::findFirstArrival (const float* samples, int numSamples, double thresholdDb) noexcept
{
    const auto threshold = std::abs (samples[findLoudestSample (samples, numSamples)]) * std::pow (10.0, -thresholdDb / 20.0);

    for (int i = 0; i < numSamples; ++i)
        if (std::abs (samples[i]) > threshold)
            return i;

    return numSamples;
}

double RoomMeasures::energyFrom (const float* samples, int numSamples, int startSample) noexcept
{
    double energy = 0.0;

    for (int i = juce::jmax (0, startSample); i < numSamples; ++i)
        energy += (double) samples[i] * samples[i];

    return energy;
}
