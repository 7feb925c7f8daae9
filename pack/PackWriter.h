#pragma once

#include "RoomSynthesiser.h"

#include <juce_core/juce_core.h>

/**
    Writes the pack's impulse files: renders a room, draws its picture and saves each
    layout through the impulse file library, the way the plug-in will find them.
*/
class PackWriter
{
public:
    /** What writing one room did, for the generator's report. */
    struct RoomReport
    {
        RoomDesign::BandValues stereoT30 {}, trueStereoT30 {};   // measured, mean over channels
    };

    /** The factory presets every file carries, sorted by name as the preset list is kept. */
    static juce::StringPairArray getFactoryPresets();

    /** The header element of a pack file: sample rate, channel configuration, scrambling,
        the description of the sample pool and the factory presets.
    */
    static std::unique_ptr<juce::XmlElement> createHeader (const RoomDesign& room,
                                                           RoomSynthesiser::Layout layout);

    /** Saves one impulse file and checks that it reads back. */
    static juce::Result writeImpulseFile (const juce::File& target, const RoomDesign& room,
                                          RoomSynthesiser::Layout layout,
                                          const juce::AudioBuffer<float>& response,
                                          const juce::String& pictureText);

    /** T30 per octave band, measured on each channel and averaged over them. */
    static RoomDesign::BandValues measureMeanT30 (const RoomDesign& room, const juce::AudioBuffer<float>& response);

    /** Renders and writes both files of a room into the folder. */
    static juce::Result writeRoom (const RoomDesign& room, const juce::File& folder, RoomReport& report);
};
