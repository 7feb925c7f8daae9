#pragma once

#include "RoomDesign.h"

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_graphics/juce_graphics.h>

/**
    The picture an impulse file of the pack carries: the room's floor plan with its
    sources and microphones, beside the energy decay curves of its octave bands.

    It holds no text: text would need the machine's fonts, and fonts differ between
    machines, while the pack must come out the same on every build.
*/
class RoomPicture
{
public:
    static constexpr int width = 480;
    static constexpr int height = 270;
    static constexpr float jpegQuality = 0.85f;

    /** The colours of the picture, which the pack report's sheets share. */
    struct Palette
    {
        static inline const juce::Colour background  { 0xff1c2230 };
        static inline const juce::Colour panel       { 0xff252d3d };
        static inline const juce::Colour grid        { 0xff3a4558 };
        static inline const juce::Colour floor       { 0xff3b3430 };
        static inline const juce::Colour wall        { 0xffd8cfc4 };
        static inline const juce::Colour source      { 0xffff9a3c };
        static inline const juce::Colour microphone  { 0xff6ec8ff };
    };

    /** Draws the room; the decay curves are measured on the response's first channel. */
    static juce::Image draw (const RoomDesign& room, const juce::AudioBuffer<float>& response);

    /** The picture as the impulse files carry it: the JPEG file's bytes in the base-64 text form. */
    static juce::String createPictureText (const RoomDesign& room, const juce::AudioBuffer<float>& response);

    static juce::MemoryBlock encodeJpeg (const juce::Image& image);

    /** The octave bands' energy decay curves of the first channel, over 60 dB. */
    static void drawDecayCurves (juce::Graphics& g, const RoomDesign& room,
                                 const juce::AudioBuffer<float>& response, juce::Rectangle<float> area);

private:
    static void drawFloorPlan (juce::Graphics& g, const RoomDesign& room, juce::Rectangle<float> area);
};
