#pragma once

#include "RoomSynthesiser.h"

#include <juce_graphics/juce_graphics.h>

/**
    One room's sheet of the pack report, drawn from its stereo response: the early part of the
    left and right channels overlaid, in dB, with the image sources' arrivals marked; the
    octave bands' decay curves and a spectrogram of the left channel; and both channels' echo
    density over time against the perceptual mixing time.
*/
class RoomReportSheet
{
public:
    static constexpr int width = 1200;
    static constexpr int height = 800;

    static juce::Image draw (const RoomDesign& room, const juce::AudioBuffer<float>& stereoResponse);

private:
    static void drawEarlyPart (juce::Graphics& g, const RoomDesign& room, const juce::AudioBuffer<float>& response,
                               juce::Rectangle<float> area);
    static void drawSpectrogram (juce::Graphics& g, const RoomDesign& room, const float* samples, int numSamples,
                                 juce::Rectangle<float> area);
    static void drawEchoDensity (juce::Graphics& g, const RoomDesign& room, const juce::AudioBuffer<float>& response,
                                 juce::Rectangle<float> area);
    static void drawTitle (juce::Graphics& g, const juce::String& text, juce::Rectangle<float>& area);

    /** A panel whose x axis runs from the direct sound (RoomMeasures::findDirectSound) to
        shownSeconds after it. */
    struct TimePanel
    {
        juce::Rectangle<float> area;
        double shownSeconds;
        int directSample;

        float toX (double seconds) const    { return area.getX() + area.getWidth() * (float) (seconds / shownSeconds); }
    };

    /** Titles the panel with its subject, its length in ms and its legend, and fills its background. */
    static TimePanel beginTimePanel (juce::Graphics& g, const juce::String& subject, const juce::String& legend,
                                     juce::Rectangle<float>& area, double shownSeconds,
                                     const float* samples, int numSamples, double sampleRate);
    static void drawTimeMarker (juce::Graphics& g, juce::Rectangle<float> area, float x);
};
