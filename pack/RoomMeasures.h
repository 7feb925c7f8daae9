#pragma once

#include "RoomDesign.h"

#include <vector>

/**
    The measures by which the pack's rooms are judged, computed on the rendered responses:
    the tests check them against their targets, and the pack report tabulates and draws them.
*/
class RoomMeasures
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
        A window whose mean level lies echoDensityFloorDb or more below the loudest sample
        counts as empty (density 0).
    */
    static std::vector<double> echoDensity (const float* samples, int numSamples, double sampleRate,
                                            double stepSeconds, double maxSeconds);

    /** When the echo density, after a centred moving average over smoothingSeconds (0 for none),
        first reaches threshold, in seconds after startSample; -1 if never within a second.
    */
    static double firstEchoDensity (const float* samples, int numSamples, double sampleRate, int startSample,
                                    double threshold, double smoothingSeconds);

    /** A profile's centred moving average over smoothingSeconds, its points stepSeconds apart. */
    static std::vector<double> smoothProfile (const std::vector<double>& profile, double stepSeconds, double smoothingSeconds);

    static constexpr double echoDensityStepSeconds = 0.0005;

    /** The largest echo criterion EK of L. Dietsch and W. Kraak ("Ein objektives Kriterium zur
        Erfassung von Echostörungen bei Musik- und Sprachdarbietungen", Acustica 60, 1986) for
        music, from startSample (the direct sound) on: the build-up time
        ts(tau) = integral of |p|^n t dt / integral of |p|^n dt up to tau, with n = 1, over the
        1 and 2 kHz octave bands, and EK = its rise over 14 ms, divided by 14 ms. Music carries
        an audible echo for half of the listeners at EK 1.8 and for one in ten at 1.5.
    */
    static double echoCriterionForMusic (const float* samples, int numSamples, double sampleRate, int startSample);

    /** How much the late part repeats itself: the largest normalised autocorrelation, at lags
        from minLagSeconds up to half the part, of the part above 1 kHz from startSample until
        it has decayed by 40 dB, each sample divided by the part's RMS envelope (20 ms) so that
        the whole decay counts. A tail built from a repeated or looped segment shows a value
        near 1; a diffuse tail, a value near 0.
    */
    static double lateRepetition (const float* samples, int numSamples, double sampleRate, int startSample,
                                  double minLagSeconds);

    /** The normalised correlation of two channels in a band over a time range. */
    static double bandCoherence (const float* first, const float* second, int numSamples, double sampleRate,
                                 const Band& band, int startSample, int endSample);

    /** The sample with the largest magnitude. */
    static int findLoudestSample (const float* samples, int numSamples) noexcept;

    /** The direct sound's peak: the loudest sample within directPeakSeconds of the first sample
        that comes within directThresholdDb of the loudest. The loudest sample alone may be a
        reflection: a direct sound that falls between two samples spreads its peak over both
        (each down to 0.64 of it), while a reflection nearly as strong that falls on a sample
        keeps all of its own, as a floor reflection over a long, low path does.
    */
    static int findDirectSound (const float* samples, int numSamples, double sampleRate) noexcept;

    static constexpr double directThresholdDb = 6.0;
    static constexpr double directPeakSeconds = 0.0005;

    /** The first sample louder than thresholdDb below the loudest. */
    static int findFirstArrival (const float* samples, int numSamples, double thresholdDb) noexcept;

    /** The energy from startSample to the end. */
    static double energyFrom (const float* samples, int numSamples, int startSample) noexcept;

    static constexpr double echoDensityWindowSeconds = 0.02;
    static constexpr double echoDensityFloorDb = -80.0;
};
