#pragma once

#include "VOK_RoomDesign.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

/**
    Makes a room's impulse responses from its design.

    Each path from a source to a microphone is the direct sound at the delay its
    distance gives, early reflections from an image-source model of the shoebox room
    (one gain per octave band from the surfaces' absorption), and a late tail of
    octave-band noise that decays at each band's reverberation time (and, above the 4 kHz
    band, faster still, as air absorbs the top octaves). The tail fades in
    while the image sources fade out (their mean energies agree, both following the
    statistical energy density of the room), so the two join without a seam. Every path
    has its own noise, so the tails of different channels are uncorrelated.

    Everything is seeded from the design: the same design always gives the same samples.
*/
class VOK_RoomSynthesiser
{
public:
    enum class Layout
    {
        stereo,     // centre source to the left and right microphones
        trueStereo  // left source to left and right, then right source to left and right
    };

    explicit VOK_RoomSynthesiser (const VOK_RoomDesign& room);
    ~VOK_RoomSynthesiser();

    static int getNumChannels (Layout layout) noexcept      { return layout == Layout::stereo ? 2 : 4; }

    /** Which path each channel holds, e.g. "L->R" for the left source heard by the right microphone. */
    static juce::StringArray getChannelDescriptions (Layout layout);

    /** Renders the layout: one channel per path, peak at peakLevelDb over all channels.

        The octave filters of a measurement also pass some of the neighbouring bands, whose
        decay differs, and a short noise tail has its own random deviations. So each path's
        decay times are trimmed: rendered, measured, corrected, until its T30 meets the targets.
    */
    juce::AudioBuffer<float> render (Layout layout);

    /** The largest relative T30 deviation left after trimming the last render. */
    double getLastTrimDeviation() const noexcept        { return lastTrimDeviation; }

    /** The T30 per band of the last render, measured on each channel, averaged over the channels. */
    const VOK_RoomDesign::BandValues& getLastMeasuredT30() const noexcept   { return lastMeasuredT30; }

    /** How long after the direct sound the image sources take to hand over to the tail. */
    double getMixingSeconds() const noexcept            { return mixingSeconds; }

    static constexpr int maxTrimPasses = 5;
    static constexpr double trimTolerance = 0.02;
    static constexpr double peakLevelDb = -1.0;
    static constexpr double fadeOutSeconds = 0.2;
    static constexpr double dcBlockingFrequency = 20.0;

private:
    struct PathParts;

    std::vector<PathParts> makePaths (Layout layout) const;
    PathParts makePath (const VOK_RoomDesign::Position& source, const VOK_RoomDesign::Position& microphone,
                        juce::uint64 seed) const;
    void addImageSources (PathParts& parts, const VOK_RoomDesign::Position& source,
                          const VOK_RoomDesign::Position& microphone) const;
    void filterIntoBand (std::vector<float>& samples, int band) const;
    double trimDecayTimes (PathParts& parts) const;
    void mix (const PathParts& parts, float* output) const;
    juce::AudioBuffer<float> mixAll (const std::vector<PathParts>& paths) const;

    VOK_RoomDesign room;
    VOK_RoomDesign::BandValues startingDecayTimes;   // where the next render's trimming starts
    double tailLevel;              // amplitude of the diffuse field per sample at emission time
    double mixingSeconds;          // how long the image sources take to hand over to the tail
    double lastTrimDeviation = 0.0;
    VOK_RoomDesign::BandValues lastMeasuredT30 {};

    JUCE_DECLARE_NON_COPYABLE (VOK_RoomSynthesiser)
};
