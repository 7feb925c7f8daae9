#pragma once

#include <juce_core/juce_core.h>

#include <array>

/**
    The design of one room of the pack, as the room table (rooms.json) gives it:
    its shape, where the sources and the microphone pair stand, how its surfaces
    absorb, and the reverberation time it must have in each octave band.

    Positions are in metres: x across the room (left to right as seen from the
    microphones), y along it towards the sources, z up from the floor.
*/
class RoomDesign
{
public:
    static constexpr int numBands = 6;
    using BandValues = std::array<double, numBands>;

    /** The octave bands' centre frequencies in Hz, lowest first. */
    static constexpr BandValues bandCentres { 125.0, 250.0, 500.0, 1000.0, 2000.0, 4000.0 };

    struct Position
    {
        double x = 0.0, y = 0.0, z = 0.0;

        double distanceTo (const Position& other) const noexcept;
    };

    juce::String name;
    int samplesPerChannel = 0;
    double sampleRate = 44100.0;
    double speedOfSound = 343.0;

    double width = 0.0, length = 0.0, height = 0.0;
    Position centreSource, leftSource, rightSource;
    Position leftMicrophone, rightMicrophone;

    BandValues floorAbsorption {}, ceilingAbsorption {}, wallAbsorption {};
    BandValues targetT30 {};
    juce::String t30Source;
    juce::int64 seed = 0;

    /** A file must be this many times its longest T30 long, so that its tail fades out. */
    static constexpr double tailFadeMargin = 1.25;

    double getVolume() const noexcept              { return width * length * height; }
    double getSurfaceArea() const noexcept         { return 2.0 * (width * length + width * height + length * height); }

    /** When the reflections after the direct sound have become a diffuse field to the ear: the
        perceptual mixing time that Lindau, Kosanke and Weinzierl (2012) predict from the
        volume-to-surface ratio of a shoebox room, (20 V/S + 20) / 0.8 ms.
    */
    double getPredictedMixingSeconds() const noexcept   { return (20.0 * getVolume() / getSurfaceArea() + 20.0) / 0.8 / 1000.0; }

    /** Below this frequency the room's modes stand apart (M. R. Schroeder and K. H. Kuttruff,
        J. Acoust. Soc. Am. 34, 1962): 2000 sqrt (T / V), with the mid-frequency T30 (500 Hz
        and 1 kHz).
    */
    double getSchroederFrequency() const noexcept
    {
        return 2000.0 * std::sqrt (0.5 * (targetT30[2] + targetT30[3]) / getVolume());
    }

    /** A band value at any frequency: linear in the logarithm of the frequency between the
        bands' centres, and the outer bands' values beyond them.
    */
    static double interpolateBands (const BandValues& values, double frequency) noexcept;
    bool contains (const Position& p) const noexcept;

    juce::String getStereoFileName() const         { return name + " stereo.vok"; }
    juce::String getTrueStereoFileName() const     { return name + " true stereo.vok"; }

    //==============================================================================
    /** Reads the room table. On failure the result says which room and which field is wrong,
        and rooms is left empty.
    */
    static juce::Result loadTable (const juce::File& tableFile, juce::Array<RoomDesign>& rooms);

    /** Parses one room of the table; fails with a message naming the field. */
    static juce::Result parseRoom (const juce::var& roomObject, double sampleRate, double speedOfSound,
                                   RoomDesign& room);
};
