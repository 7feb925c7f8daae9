#pragma once

#include "VOK_RoomDesign.h"

#include <vector>

/**
    The measures by which the pack's rooms are judged, computed on the rendered responses:
    the tests check them against their targets, and the pack report tabulates and draws them.
*/
class VOK_RoomMeasures
{
public:
    /** A measurement band: fourth-order Butterworth edges (no upper edge when it lies at or
        above the Nyquist frequency).
    */
    struct Band
    {
        double lowEdge = 0.0, highEdge = 0.0;

        double getCentre() const noexcept;
        juce::String getName() const;

        static Band octave (double centre) noexcept        { return { centre / std::sqrt (2.0), centre * std::sqrt (2.0) }; }
    };

    /** The bands whose decay the pack is checked in: the table's octaves, 8 kHz, and everything above 11.3 kHz. */
    static std::vector<Band> getDecayBands();

    static void filter (std::vector<float>& samples, double sampleRate, const Band& band);

    /** Schroeder's energy decay curve in dB of the band. */
    static std::vector<double> bandDecayCurve (const float* samples, int numSamples, double sampleRate, const Band& band);

    struct DecayPrediction
    {
        double t30 = 0.0, lateDecay = 0.0;   // fitted from -5 to -35 dB, and from -25 to -45 dB
    };

    /** The decay a band of an ideal room would show whose decay time at 4 kHz is decayAt4k
        and, above it, shortens by the air's absorption only (ISO 9613-1): the fits to the
        band's summed exponential decays, through the same band filter.
    */
    static DecayPrediction predictAirDecay (double decayAt4k, const Band& band, double sampleRate, double speedOfSound);

    /** The normalised echo density profile of J. S. Abel and P. Huang ("A simple, robust measure
        of reverberation echo density", AES 121st Conv., 2006): the fraction of samples in a
        20 ms Hann window that lie more than one standard deviation from zero, over the
        fraction a Gaussian gives, erfc (1/sqrt 2). Evaluated every stepSeconds from sample 0.
    */
    static std::vector<double> echoDensity (const float* samples, int numSamples, double sampleRate,
                                            double stepSeconds, double maxSeconds);

    /** When the echo density first reaches 1, in seconds after startSample; -1 if never. */
    static double firstFullEchoDensity (const float* samples, int numSamples, double sampleRate, int startSample);

    /** The normalised correlation of two channels in a band over a time range. */
    static double bandCoherence (const float* first, const float* second, int numSamples, double sampleRate,
                                 const Band& band, int startSample, int endSample);

    /** The sample with the largest magnitude: a file's direct sound. */
    static int findLoudestSample (const float* samples, int numSamples) noexcept;

    /** The first sample louder than thresholdDb below the loudest. */
    static int findFirstArrival (const float* samples, int numSamples, double thresholdDb) noexcept;

    /** The energy from startSample to the end. */
    static double energyFrom (const float* samples, int numSamples, int startSample) noexcept;

    static constexpr double echoDensityWindowSeconds = 0.02;
};
