#pragma once

#include "RoomSynthesiser.h"

#include <vector>

/**
    Measures of the early part of a response, from the direct sound to about the mixing time:
    whether its reflections are each path's own, whether left and right differ as two
    microphones apart hear them, and whether the first reflections stand out of the diffuse
    sound around them.
*/
class EarlyMeasures
{
public:
    /** A peak of a channel: a sample louder than every other within peakHalfWidthSeconds, and
        peakFactor times louder than the RMS within localSeconds around it.
    */
    struct Peak
    {
        int sample = 0;
        bool positive = true;
    };

    static std::vector<Peak> findPeaks (const float* samples, int numSamples, double sampleRate, int startSample, int endSample);

    /** The share of the peaks in one list that lie on the very same sample as a peak of the
        other, of opposite sign only if oppositeSignOnly; 0 with fewer than minimumPeaks peaks.
    */
    static double coincidentShare (const std::vector<Peak>& peaks, const std::vector<Peak>& others, bool oppositeSignOnly);

    /** The energy of (a - b) over that of (a + b) above highPassHz from startSample to endSample, in dB. */
    static double differenceLevelDb (const float* a, const float* b, int numSamples, double sampleRate,
                                     double highPassHz, int startSample, int endSample);

    /** How far a reflection at arrivalSample stands above the diffuse sound around it, in dB: the
        mean energy of the millisecond at the arrival over the mean energy of the samples around
        it, none before firstSample, leaving out the reflection itself and the half milliseconds
        around the other reflections (otherArrivals, in samples). The window reaches localSeconds
        either side, or further, up to widestLocalSeconds, until it holds clearSecondsWanted of
        such samples; at least clearSecondsNeeded of them must be found, or the other
        reflections count as well.
    */
    static double reflectionOverDiffuseDb (const float* samples, int numSamples, double sampleRate,
                                           int arrivalSample, int firstSample, const std::vector<int>& otherArrivals);

    static constexpr double peakHalfWidthSeconds = 0.0005;
    static constexpr double localSeconds = 0.005;
    static constexpr double widestLocalSeconds = 0.02;
    static constexpr double clearSecondsWanted = 0.002;
    static constexpr double clearSecondsNeeded = 0.001;
    static constexpr double peakFactor = 3.0;
    static constexpr int minimumPeaks = 3;
};
