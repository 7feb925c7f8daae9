#pragma once

#include "RoomDesign.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>
#include <vector>

/**
    Makes a room's impulse responses from its design, as a hybrid of models:

    - the direct sound and the specular reflections come from the image sources of the
      shoebox room (ImageSources), each one a compact, minimum-phase arrival at its exact delay,
      carrying what its surfaces neither absorbed nor scattered;
    - the diffuse part (DiffuseField) carries the energy the surfaces scattered: weak beside
      the reflections at first, it takes the energy over as the sound meets more surfaces, so
      the response turns from separate reflections into dense noise as a real room's does;
      it decays at a time that varies smoothly with frequency, and is as coherent between the
      channels as the microphones' and sources' spacings make it;
    - below the Schroeder frequency of a small room, its modes (RoomModes) take over from both.

    Once the reflections come too thick to tell apart, or hold too little energy to matter
    (RoomDesign::getSpecularEndSeconds), the image sources end and the diffuse part takes their
    energy over. Both follow the statistical energy of the room, so the two join without a seam.
    Nothing is measured and corrected: the response is what the model makes, scaled once to
    the pack's reverberant level, and heard through a measurement chain's low end (a
    measurement loudspeaker's fourth-order roll-off below 35 Hz).

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
    */
    juce::AudioBuffer<float> render (Layout layout) const;

    /** How long after the direct sound the image sources take to hand over to the diffuse part. */
    double getMixingSeconds() const noexcept            { return room.getPredictedMixingSeconds(); }

    /** Where the reverberation starts: this long after each channel's direct sound. */
    static constexpr double directSoundSeconds = 0.005;

    static constexpr double leadSeconds = 0.0005;
    static constexpr double reverberantLevelDb = -2.0;
    static constexpr double maxPeakDb = -1.0;
    static constexpr double fadeOutSeconds = 0.2;
    static constexpr double measurementHighPassHz = 35.0;

    /** Where the image sources start handing their energy over to the diffuse part, as a
        share of the time they end at.
    */
    static constexpr double handOverStartShare = 0.75;

private:
    void assemble (const std::vector<float>& early, const std::vector<float>& diffuse, float* output) const;
    void normalise (juce::AudioBuffer<float>& response, const std::vector<Path>& paths, double offsetSeconds) const;

    RoomDesign room;

    JUCE_DECLARE_NON_COPYABLE (RoomSynthesiser)
};
