#pragma once

#include "VOK_RoomSynthesiser.h"

#include <juce_graphics/juce_graphics.h>

/**
    One room's sheet of the pack report, drawn from its stereo response's first channel: the
    early part in dB with the image sources' arrivals marked, the octave bands' decay curves,
    a spectrogram, and the echo density over time against the perceptual mixing time.
*/
class VOK_RoomReportSheet
{
public:
    static constexpr int width = 1200;
    static constexpr int height = 800;

    static juce::Image draw (const VOK_RoomDesign& room, const juce::AudioBuffer<float>& stereoResponse);

private:
    static void drawEarlyPart (juce::Graphics& g, const VOK_RoomDesign& room, const float* samples, int numSamples,
                               juce::Rectangle<float> area);
    static void drawSpectrogram (juce::Graphics& g, const VOK_RoomDesign& room, const float* samples, int numSamples,
                                 juce::Rectangle<float> area);
    static void drawEchoDensity (juce::Graphics& g, const VOK_RoomDesign& room, const float* samples, int numSamples,
                                 juce::Rectangle<float> area);
    static void drawTitle (juce::Graphics& g, const juce::String& text, juce::Rectangle<float>& area);
    static void fillPanel (juce::Graphics& g, juce::Rectangle<float> area);
    static void drawTimeMarker (juce::Graphics& g, juce::Rectangle<float> area, float x);
};
