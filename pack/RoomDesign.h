#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <vector>

/**
    The design of one room of the pack, as the room table (rooms.json) gives it:
    its shape, where the sources and the microphone pair stand, how each of its six
    surfaces absorbs and scatters, and the reverberation time it must have in each
    octave band.

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

    /** A decay time's 60 dB of amplitude in nepers, ln 1000: an amplitude decays as
        exp (-nepersPerDecay t / T60).
    */
    static constexpr double nepersPerDecay = 6.907755278982137;

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

    /** The shoebox's six surfaces, by where they stand. */
    enum Surface { leftWall, rightWall, microphoneEndWall, sourceEndWall, floor, ceiling, numSurfaces };

    /** How a surface treats the sound that meets it, per octave band: the share it absorbs
        (random incidence), and the share of the rest it scatters out of the specular direction
        (the random-incidence scattering coefficient of ISO 17497-1).
    */
    struct SurfaceDesign
    {
        juce::String material;
        BandValues absorption {}, scattering {};
    };

    std::array<SurfaceDesign, numSurfaces> surfaces;
    BandValues targetT30 {};
    juce::String t30Source;
    juce::int64 seed = 0;

    /** A file must be this many times its longest T30 long, so that its tail fades out. */
    static constexpr double tailFadeMargin = 1.25;

    double getVolume() const noexcept              { return width * length * height; }
    double getSurfaceArea() const noexcept         { return 2.0 * (width * length + width * height + length * height); }
    double getSurfaceArea (Surface surface) const noexcept;

    /** The table's key of a surface. */
    static const char* getSurfaceKey (Surface surface) noexcept;

    /** The mean distance sound travels between two reflections, 4 V / S (Kuttruff, Room Acoustics, ch. 5). */
    double getMeanFreePath() const noexcept        { return 4.0 * getVolume() / getSurfaceArea(); }

    /** The surfaces' scattering coefficients per band, weighted by their areas. */
    BandValues getMeanScattering() const noexcept;

    /** The share of its energy that sound still carries along specular paths after it has
        travelled for this long: at each of the c t / l surfaces it met on the way (l the mean
        free path) the share s scatters (s the surfaces' mean scattering at the frequency), so
        (1 - s)^(c t / l) is left.
    */
    double getSpecularShare (double frequency, double seconds) const noexcept;

    /** How long after emission the specular reflections are worth drawing one by one: until
        their share at mid frequencies (500 Hz and 1 kHz) has fallen to 1 %, or until they come
        ten to a millisecond (4 pi c^3 t^2 / V per second, Kuttruff, Room Acoustics, ch. 4), more
        than the ear can tell apart, whichever comes first.
    */
    double getSpecularEndSeconds() const noexcept;

    /** The reverberation time per band by Sabine's formula, 0.161 V / sum (S alpha): what the
        surfaces' absorption gives without the air.
    */
    BandValues getSabineT30() const noexcept;

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

    /** Whether the room is small enough for its modes to be heard apart. */
    bool isModal() const noexcept                   { return getSchroederFrequency() > lowestModalSchroederFrequency; }

    static constexpr double lowestModalSchroederFrequency = 100.0;

    /** A mode (p, q, r) of the rigid-walled shoebox, ringing at
        f = c/2 sqrt ((p/Lx)^2 + (q/Ly)^2 + (r/Lz)^2).
    */
    struct Mode
    {
        int p = 0, q = 0, r = 0;
        double frequency = 0.0;
    };

    /** The room's modes from lowestModeHz up to highest, lowest first. */
    std::vector<Mode> getModes (double highest) const;

    /** The mode's pressure at a point, cos (p pi x / Lx) cos (q pi y / Ly) cos (r pi z / Lz). */
    double getModeShape (const Mode& mode, const Position& point) const noexcept;

    static constexpr double lowestModeHz = 20.0;

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
