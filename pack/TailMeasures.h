#pragma once

#include "RoomMeasures.h"

#include <vector>

/**
    Measures of the late part of a response, each judged against what a diffuse field gives:
    how much its band energy fluctuates about the decay (J.-D. Polack's model of late
    reverberation, Gaussian noise under an exponential envelope), how coherent two channels are
    at every moment of it, and how little it holds below the audio band.
*/
class TailMeasures
{
public:
    /** The standard deviation, in dB, of the band's energy in frames of frameSeconds about its
        least-squares decay (a line allowed a slight bend), from startSample to endSample.
    */
    static double envelopeFluctuationDb (const float* samples, int numSamples, double sampleRate,
                                         const RoomMeasures::Band& band, int startSample, int endSample);

    /** The same for exponentially decaying Gaussian noise with the given T30, the mean over
        numReferenceNoises seeded noises of the same length: enough of them that the reference's
        own scatter (a few frames of a short tail scatter by a fifth from noise to noise) stays
        a few per cent.
    */
    static double gaussianFluctuationDb (double t30, double sampleRate, const RoomMeasures::Band& band,
                                         int startSample, int endSample);

    /** Two channels' correlation in a band with every moment weighted alike: both are filtered
        forwards and backwards (no phase shift between them), divided by their common RMS
        envelope (envelopeSeconds), and correlated over each of the ranges.
    */
    static std::vector<double> normalisedCoherences (const float* first, const float* second, int numSamples, double sampleRate,
                                                     const RoomMeasures::Band& band, const std::vector<std::pair<int, int>>& ranges);

    /** Where a band of the two channels together has decayed by dropDb from startSample on. */
    static int findBandDecayEnd (const float* first, const float* second, int numSamples, double sampleRate,
                                 const RoomMeasures::Band& band, int startSample, double dropDb);

    /** The power per hertz from 2 to 20 Hz over that from 30 to 300 Hz, in dB. */
    static double subsonicLevelDb (const float* samples, int numSamples, double sampleRate);

    static constexpr double frameSeconds = 0.01;
    static constexpr double envelopeSeconds = 0.05;
    static constexpr int numReferenceNoises = 64;
};
