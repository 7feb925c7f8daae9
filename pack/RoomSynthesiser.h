#pragma once

#include "DecayEnvelope.h"
#include "RoomDesign.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>
#include <vector>

/**
    Makes a room's impulse responses from its design, as a hybrid of models:

    - the direct sound and the early reflections come from the image sources of the shoebox
      room (ImageSources), each one a compact, minimum-phase arrival at its exact delay;
    - the diffuse part (DiffuseField) grows from sparse pulses at the room's reflection
      rate into dense noise, decays at a time that varies smoothly with frequency, and is as
      coherent between the channels as the microphones' and sources' spacings make it;
    - below the Schroeder frequency of a small room, its modes (RoomModes) take over from both.

    The image sources fade out while the diffuse part fades in around the perceptual mixing
    time (Lindau et al. 2012); both follow the statistical energy of the room, so the two
    join without a seam.

    Every file depends only on its room's design and the layout: the same design always
    gives the same samples, whatever was rendered before.
*/
class RoomSynthesiser
{
public:
    enum class Layout
    {
        stereo,     // centre source to the left and right microphones
        trueStereo  // left source to left and right, then right source to left and right
    };

    /** One channel's path from a source to a microphone. */
    struct Path
    {
        RoomDesign::Position source, microphone;
        double directSeconds = 0.0;
    };

    explicit RoomSynthesiser (const RoomDesign& room);
    ~RoomSynthesiser();

    /** The layout's paths, in channel order. */
    static std::vector<Path> getPaths (const RoomDesign& room, Layout layout);

    static int getNumChannels (Layout layout) noexcept      { return layout == Layout::stereo ? 2 : 4; }

    /** Which path each channel holds, e.g. "L->R" for the left source heard by the right microphone. */
    static juce::StringArray getChannelDescriptions (Layout layout);

    /** Renders the layout: one channel per path, the earliest arrival half a millisecond after
        the start, the reverberant energy at reverberantLevelDb.

        The octave filters of a measurement also pass some of the neighbouring bands, and a
        short noise tail has its own random deviations. So each channel's decay envelope is
        trimmed: rendered, measured (T30, early decay time and late slope, as ISO 3382-1
        measures them), corrected, until its T30 meets the targets and its decay is straight. A short late
        tail also holds few independent frequencies in the bass, so the channels' coherence
        at 125 and 250 Hz is trimmed the same way towards the diffuse field's.
    */
    juce::AudioBuffer<float> render (Layout layout);

    /** The largest relative T30 deviation left after trimming the last render. */
    double getLastTrimDeviation() const noexcept        { return lastTrimDeviation; }

    /** The largest deviation of a pair's late bass coherence from the diffuse field's after the last render. */
    double getLastCoherenceDeviation() const noexcept   { return lastCoherenceDeviation; }

    /** The T30 per band of the last render, measured on each channel, averaged over the channels. */
    const RoomDesign::BandValues& getLastMeasuredT30() const noexcept   { return lastMeasuredT30; }

    /** How long after the direct sound the image sources take to hand over to the diffuse part. */
    double getMixingSeconds() const noexcept            { return room.getPredictedMixingSeconds(); }

    /** Where the reverberation starts: this long after each channel's direct sound. */
    static constexpr double directSoundSeconds = 0.005;

    static constexpr int maxTrimPasses = 6;
    static constexpr double trimTolerance = 0.015;
    static constexpr double coherenceTolerance = 0.08;
    static constexpr double earlyDecayTolerance = 0.12;
    static constexpr double lateDecayTolerance = 0.05;
    static constexpr double maxSpanFactor = 2.0;
    static constexpr double leadSeconds = 0.0005;
    static constexpr double reverberantLevelDb = -2.0;
    static constexpr double maxPeakDb = -1.0;
    static constexpr double fadeOutSeconds = 0.2;
    static constexpr double maxEarlyLevelDb = 10.0;

private:
    void assemble (const std::vector<float>& early, const std::vector<float>& diffuse, const Path& path,
                   double offsetSeconds, float* output) const;
    void removeDirectCurrent (const Path& path, double offsetSeconds, int endSample, float* output) const;
    std::vector<float> addModes (const std::vector<float>& early, const Path& path, const DecayEnvelope& envelope,
                                 double offsetSeconds) const;
    /** The largest deviations a render's decays show: of T30 from its target, and of the early
        decay time and the late slope from T30 (relative, the late one only where slower).
    */
    struct DecayDeviations { double t30 = 0.0, earlyDecay = 0.0, lateDecay = 0.0; };

    DecayDeviations trimDecayTimes (const juce::AudioBuffer<float>& response, std::vector<DecayEnvelope>& envelopes);
    double trimCoherence (const juce::AudioBuffer<float>& response, Layout layout, std::array<std::vector<double>, 2>& trim) const;
    RoomDesign::BandValues measureEarlyLevels (const std::vector<float>& early, const Path& path, double offsetSeconds) const;
    void normalise (juce::AudioBuffer<float>& response, const std::vector<Path>& paths, double offsetSeconds) const;

    RoomDesign room;
    double lastTrimDeviation = 0.0, lastCoherenceDeviation = 0.0;
    RoomDesign::BandValues lastMeasuredT30 {};

    JUCE_DECLARE_NON_COPYABLE (RoomSynthesiser)
};
