#pragma once

#include "RoomSynthesiser.h"

/**
    Every measure a file of the pack is judged by, each against its target range and with the
    source of that range: the acoustic parameters of ISO 3382-1 (T30, EDT, the late slope), the
    decay above 4 kHz against the air's absorption (ISO 9613-1), the echo density against the
    perceptual mixing time, whether the early reflections are each path's own and differ left
    and right, how the first reflections stand out, the late envelope's fluctuation and the
    late coherence against a diffuse field's, the modes of a small room, the low end, and the
    file's level and start.

    Each row holds the worst value over the file's channels (or pairs of channels); T30 holds
    the mean of the paths.
*/
class PackMeasures
{
public:
    struct Row
    {
        juce::String name;
        double value = 0.0, low = 0.0, high = 0.0;
        juce::String source;

        bool isMet() const noexcept             { return value >= low && value <= high; }
    };

    static std::vector<Row> measure (const RoomDesign& room, RoomSynthesiser::Layout layout,
                                     const juce::AudioBuffer<float>& response);

    /** How far a file's T30 in a band (the mean of its paths) may lie from another's: 5 %, or
        the estimator's own scatter in a short decay of a narrow band, 1.25 / sqrt (B T30) with B
        the band's width in Hz, where that is larger. Below it, a room's two files, whose paths
        start at different places, can differ in a real room as well.
    */
    static double t30Tolerance (double bandwidth, double t30) noexcept;

    struct Agreement
    {
        double bandCentre = 0.0, difference = 0.0, tolerance = 1.0;

        bool isMet() const noexcept             { return difference <= tolerance; }
    };

    /** The band in which a room's two files differ most in T30 (each the mean of its paths),
        relative to the band's tolerance.
    */
    static Agreement t30Agreement (const RoomDesign& room, const juce::AudioBuffer<float>& stereo,
                                   const juce::AudioBuffer<float>& trueStereo);

    /** The energy after each channel's direct sound, mean over the channels, in dB. */
    static double reverberantLevelDb (const RoomDesign& room, RoomSynthesiser::Layout layout,
                                      const juce::AudioBuffer<float>& response);

    /** How far each first-order reflection of the path stands above the diffuse sound around
        it, in dB, strongest expected reflection first.
    */
    static std::vector<double> firstOrderReflectionsOverDiffuseDb (const RoomDesign& room, const RoomSynthesiser::Path& path,
                                                                   const float* samples, int numSamples);

    /** The pairs of channels that mirror each other: C->L and C->R; L->L and R->R, L->R and R->L. */
    static std::vector<std::pair<int, int>> getMirrorPairs (RoomSynthesiser::Layout layout);

    /** How far the level at the room modes that the path's source and microphone couple to
        stands above the level halfway between them, in dB; NaN where no two such modes stand apart.
    */
    static double modeSalienceDb (const RoomDesign& room, const RoomSynthesiser::Path& path,
                                  const float* samples, int numSamples);

    /** The frequencies of the shoebox's modes up to highestJudgedModeShare times the Schroeder
        frequency, as (p, q, r) with f = c/2 sqrt ((p/Lx)^2 + (q/Ly)^2 + (r/Lz)^2), that both
        ends of the path couple to: the product of cos (p pi x / Lx) cos (q pi y / Ly)
        cos (r pi z / Lz) at the two points is at least 0.5. Higher up the modes overlap (at the
        Schroeder frequency three to a bandwidth), so that none can stand out even in a real room.
    */
    static std::vector<double> coupledModeFrequencies (const RoomDesign& room, const RoomSynthesiser::Path& path);

    static constexpr double highestJudgedModeShare = 0.7;

    /** The diffuse-field coherence the pair of channels should show in an octave band, with
        every moment from startSeconds to endSeconds after emission weighted alike. Where the
        room's decay time changes across the band, the band's slower end holds more of the
        energy the later it gets, and its coherence counts for more; with no range given, the
        band counts as at emission.
    */
    static double expectedCoherence (const RoomDesign& room, RoomSynthesiser::Layout layout,
                                     int firstChannel, int secondChannel, double bandCentre,
                                     double startSeconds = 0.0, double endSeconds = 0.0);
};
