#pragma once

#include "RoomDesign.h"

#include <vector>

/**
    Measures how an impulse response decays, the way room acousticians do: octave-band
    filtering, Schroeder's backward integration of the energy, and a straight-line fit
    of the decay curve from -5 dB to -35 dB (T30).

    The generator uses it to check and trim its rooms, and the tests use it to judge the
    files the build made, so both agree on one measurement.
*/
class DecayAnalysis
{
public:
    /** The octave-band filter of a band: fourth-order Butterworth edges an octave apart
        around the band's centre.
    */
    static void filterOctaveBand (std::vector<float>& samples, double sampleRate, int band);

    /** Schroeder's backward integration: the energy from each sample to the end, as a
        fraction of the whole response's energy.
    */
    static std::vector<double> backwardIntegral (const float* samples, int numSamples);

    /** Schroeder's backward-integrated energy decay curve in dB, 0 dB at the first sample.
        Samples after the energy has run out read as -infinity.
    */
    static std::vector<double> energyDecayCurve (const float* samples, int numSamples);

    /** The octave band's energy decay curve of a response. */
    static std::vector<double> octaveBandDecayCurve (const float* samples, int numSamples,
                                                     double sampleRate, int band);

    /** T30 in seconds from a decay curve: the least-squares line through the curve between its
        first fall to -5 dB and its first fall to -35 dB, extended to -60 dB. Returns 0 when the
        curve does not fall to -35 dB.
    */
    static double fitT30 (const std::vector<double>& decayCurveDb, double sampleRate);

    /** The decay time (to -60 dB) of the least-squares line through the curve between its first
        fall to startDb and its first fall to endDb: T30 from -5 to -35 dB, the early decay time
        (EDT, ISO 3382-1) from 0 to -10 dB. Returns 0 when the curve does not reach endDb.
    */
    static double fitDecayTime (const std::vector<double>& decayCurveDb, double sampleRate, double startDb, double endDb);

    /** The length without the trailing samples more than negligibleLevelDb below the peak,
        plus the filters' ring-out time. They can't move a decay curve's -35 dB point.
    */
    static int getAudibleLength (const float* samples, int numSamples, double sampleRate);

    static constexpr double negligibleLevelDb = 150.0;
    static constexpr double ringOutSeconds = 0.1;

    /** T30 of a response in each octave band (0 where it can't be measured). */
    static RoomDesign::BandValues measureT30 (const float* samples, int numSamples, double sampleRate);

    /** Normalised correlation (at lag 0) of two signals over a range; 0 when either is silent there. */
    static double correlation (const float* first, const float* second, int startSample, int numSamples);

private:
    static double fitT30FromIntegral (const std::vector<double>& backwardIntegral, double sampleRate);
};
