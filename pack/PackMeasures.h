#pragma once

#include "RoomSynthesiser.h"

/**
    Every measure a file of the pack is judged by, each against its target range: the
    acoustic parameters of ISO 3382-1 (T30, EDT), the decay above 4 kHz against the air's
    absorption (ISO 9613-1), the late decay's straightness, the echo density against the
    perceptual mixing time, the early reflections' levels, the late coherence against the
    diffuse field, and the file's level and start.

    Each row holds the worst value over the file's channels.
*/
class PackMeasures
{
public:
    struct Row
    {
        juce::String name;
        double value = 0.0, low = 0.0, high = 0.0;

        bool isMet() const noexcept             { return value >= low && value <= high; }
    };

    static std::vector<Row> measure (const RoomDesign& room, RoomSynthesiser::Layout layout,
                                     const juce::AudioBuffer<float>& response);

    /** The energy after each channel's direct sound, mean over the channels, in dB. */
    static double reverberantLevelDb (const RoomDesign& room, RoomSynthesiser::Layout layout,
                                      const juce::AudioBuffer<float>& response);

    /** The largest deviation, in dB, of the strongest isolated early reflections of a channel
        from the level each would have alone (its distance, its surfaces' octave-band
        absorption and the air's), relative to the direct sound.
    */
    static double earlyReflectionDeviationDb (const RoomDesign& room, const RoomSynthesiser::Path& path,
                                              const float* samples, int numSamples);

    /** How far the level at the room modes that the path's source and microphone couple to
        stands above the level halfway between them, in dB, below the Schroeder frequency.
    */
    static double modeSalienceDb (const RoomDesign& room, const RoomSynthesiser::Path& path,
                                  const float* samples, int numSamples);

    /** The frequencies of the shoebox's modes below the Schroeder frequency, as (p, q, r) with
        f = c/2 sqrt ((p/Lx)^2 + (q/Ly)^2 + (r/Lz)^2), that both ends of the path couple to:
        the product of cos (p pi x / Lx) cos (q pi y / Ly) cos (r pi z / Lz) at the two points.
    */
    static std::vector<double> coupledModeFrequencies (const RoomDesign& room, const RoomSynthesiser::Path& path);

    /** Where the room's modes stand apart enough to be heard as such. */
    static constexpr double modalRoomSchroederFrequency = 100.0;

    /** The diffuse-field coherence the pair of channels should show in an octave band. */
    static double expectedCoherence (const RoomDesign& room, RoomSynthesiser::Layout layout,
                                     int firstChannel, int secondChannel, double bandCentre);

    /** Where the late part whose coherence is judged starts: the mixing time after the last
        channel's direct sound, plus 100 ms for the early reflections' low frequencies and the
        octave filters to ring out.
    */
    static int getLateCoherenceStart (const RoomDesign& room, const juce::AudioBuffer<float>& response);

    /** The late coherence of two channels in an octave band. */
    static double measureLateCoherence (const RoomDesign& room, const juce::AudioBuffer<float>& response,
                                        int firstChannel, int secondChannel, double bandCentre, int lateStart);

    static constexpr int numEarlyReflections = 5;
};
