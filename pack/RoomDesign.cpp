#include "RoomDesign.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
    // Beyond these the synthesiser would either need unreasonable memory or produce nonsense.
    constexpr int maxSamplesPerChannel = 10 * 1000 * 1000;
    constexpr double maxDimension = 500.0;
    constexpr double minT30 = 0.05, maxT30 = 30.0;

    juce::Result fail (const juce::String& roomName, const juce::String& problem)
    {
        return juce::Result::fail ("Room \"" + roomName + "\": " + problem);
    }

    bool readNumber (const juce::var& value, double& result)
    {
        if (! (value.isDouble() || value.isInt() || value.isInt64()))
            return false;

        result = static_cast<double> (value);
        return std::isfinite (result);
    }

    bool readBandValues (const juce::var& value, RoomDesign::BandValues& result)
    {
        auto* array = value.getArray();

        if (array == nullptr || array->size() != RoomDesign::numBands)
            return false;

        for (int band = 0; band < RoomDesign::numBands; ++band)
            if (! readNumber (array->getReference (band), result[(size_t) band]))
                return false;

        return true;
    }

    bool readPosition (const juce::var& value, RoomDesign::Position& result)
    {
        auto* array = value.getArray();

        return array != nullptr && array->size() == 3
            && readNumber (array->getReference (0), result.x)
            && readNumber (array->getReference (1), result.y)
            && readNumber (array->getReference (2), result.z);
    }

    bool allWithin (const RoomDesign::BandValues& values, double low, double high)
    {
        for (auto v : values)
            if (v < low || v > high)
                return false;

        return true;
    }
}

double RoomDesign::Position::distanceTo (const Position& other) const noexcept
{
    return std::sqrt ((x - other.x) * (x - other.x)
                    + (y - other.y) * (y - other.y)
                    + (z - other.z) * (z - other.z));
}

double RoomDesign::interpolateBands (const BandValues& values, double frequency) noexcept
{
    if (frequency <= bandCentres.front())
        return values.front();

    if (frequency >= bandCentres.back())
        return values.back();

    const auto position = std::log2 (frequency / bandCentres.front());   // octaves above the first band
    const auto lower = juce::jmin (numBands - 2, static_cast<int> (position));
    const auto fraction = position - lower;
    return values[(size_t) lower] + fraction * (values[(size_t) lower + 1] - values[(size_t) lower]);
}

double RoomDesign::getSurfaceArea (Surface surface) const noexcept
{
    switch (surface)
    {
        case leftWall: case rightWall:                  return length * height;
        case microphoneEndWall: case sourceEndWall:     return width * height;
        case floor: case ceiling: case numSurfaces:     break;
    }

    return width * length;
}

const char* RoomDesign::getSurfaceKey (Surface surface) noexcept
{
    static constexpr const char* keys[] { "left", "right", "microphoneEnd", "sourceEnd", "floor", "ceiling" };
    return keys[juce::jlimit (0, numSurfaces - 1, (int) surface)];
}

RoomDesign::BandValues RoomDesign::getMeanScattering() const noexcept
{
    BandValues mean {};

    for (int surface = 0; surface < numSurfaces; ++surface)
        for (int band = 0; band < numBands; ++band)
            mean[(size_t) band] += surfaces[(size_t) surface].scattering[(size_t) band]
                                 * getSurfaceArea (static_cast<Surface> (surface)) / getSurfaceArea();

    return mean;
}

std::vector<RoomDesign::Mode> RoomDesign::getModes (double highest) const
{
    const auto half = 0.5 * speedOfSound;
    const auto orderLimit = [&] (double size) { return static_cast<int> (highest / half * size) + 1; };
    std::vector<Mode> modes;

    for (int p = 0; p <= orderLimit (width); ++p)
        for (int q = 0; q <= orderLimit (length); ++q)
            for (int r = 0; r <= orderLimit (height); ++r)
            {
                const auto frequency = half * std::sqrt (std::pow (p / width, 2.0) + std::pow (q / length, 2.0) + std::pow (r / height, 2.0));

                if (frequency >= lowestModeHz && frequency <= highest)
                    modes.push_back ({ p, q, r, frequency });
            }

    std::sort (modes.begin(), modes.end(), [] (const Mode& a, const Mode& b) { return a.frequency < b.frequency; });
    return modes;
}

double RoomDesign::getModeShape (const Mode& mode, const Position& point) const noexcept
{
    constexpr auto pi = juce::MathConstants<double>::pi;
    return std::cos (mode.p * pi * point.x / width) * std::cos (mode.q * pi * point.y / length) * std::cos (mode.r * pi * point.z / height);
}

double RoomDesign::getSpecularShare (double frequency, double seconds) const noexcept
{
    const auto reflections = juce::jmax (0.0, seconds) * speedOfSound / getMeanFreePath();
    return std::pow (1.0 - interpolateBands (getMeanScattering(), frequency), reflections);
}

double RoomDesign::getSpecularEndSeconds() const noexcept
{
    constexpr double smallestShare = 0.01, densestRate = 10000.0;
    const auto scattering = 0.5 * (getMeanScattering()[2] + getMeanScattering()[3]);
    const auto scatteredAway = -std::log (smallestShare) / -std::log (juce::jmax (1.0e-6, 1.0 - scattering)) * getMeanFreePath() / speedOfSound;
    const auto tooDense = std::sqrt (densestRate * getVolume() / (4.0 * juce::MathConstants<double>::pi * std::pow (speedOfSound, 3.0)));
    return juce::jmin (scatteredAway, tooDense);
}

RoomDesign::BandValues RoomDesign::getSabineT30() const noexcept
{
    BandValues t30 {};

    for (int band = 0; band < numBands; ++band)
    {
        double absorptionArea = 0.0;

        for (int surface = 0; surface < numSurfaces; ++surface)
            absorptionArea += surfaces[(size_t) surface].absorption[(size_t) band] * getSurfaceArea (static_cast<Surface> (surface));

        t30[(size_t) band] = absorptionArea > 0.0 ? 0.161 * getVolume() / absorptionArea : std::numeric_limits<double>::infinity();
    }

    return t30;
}

bool RoomDesign::contains (const Position& p) const noexcept
{
    return p.x > 0.0 && p.x < width
        && p.y > 0.0 && p.y < length
        && p.z > 0.0 && p.z < height;
}

juce::Result RoomDesign::parseRoom (const juce::var& roomObject, double rate, double soundSpeed,
                                        RoomDesign& room)
{
    room = {};
    room.sampleRate = rate;
    room.speedOfSound = soundSpeed;
    room.name = roomObject["name"].toString();

    if (room.name.isEmpty())
        return juce::Result::fail ("A room of the table has no name");

    double samples = 0.0;

    if (! readNumber (roomObject["samplesPerChannel"], samples)
         || samples < 1.0 || samples > maxSamplesPerChannel || samples != std::floor (samples))
        return fail (room.name, "samplesPerChannel must be a whole number from 1 to " + juce::String (maxSamplesPerChannel));

    room.samplesPerChannel = static_cast<int> (samples);

    auto* dimensions = roomObject["dimensions"].getArray();

    if (dimensions == nullptr || dimensions->size() != 3
         || ! readNumber (dimensions->getReference (0), room.width)
         || ! readNumber (dimensions->getReference (1), room.length)
         || ! readNumber (dimensions->getReference (2), room.height)
         || room.width <= 0.5 || room.length <= 0.5 || room.height <= 0.5
         || room.width > maxDimension || room.length > maxDimension || room.height > maxDimension)
        return fail (room.name, "dimensions must be three lengths in metres between 0.5 and " + juce::String (maxDimension));

    const auto& sources = roomObject["sources"];
    const auto& microphones = roomObject["microphones"];

    if (! readPosition (sources["centre"], room.centreSource)
         || ! readPosition (sources["left"], room.leftSource)
         || ! readPosition (sources["right"], room.rightSource)
         || ! readPosition (microphones["left"], room.leftMicrophone)
         || ! readPosition (microphones["right"], room.rightMicrophone))
        return fail (room.name, "sources (centre, left, right) and microphones (left, right) must be [x, y, z] positions");

    for (auto* p : { &room.centreSource, &room.leftSource, &room.rightSource, &room.leftMicrophone, &room.rightMicrophone })
        if (! room.contains (*p))
            return fail (room.name, "every source and microphone must stand inside the room");

    for (auto* source : { &room.centreSource, &room.leftSource, &room.rightSource })
        for (auto* microphone : { &room.leftMicrophone, &room.rightMicrophone })
            if (source->distanceTo (*microphone) < 0.1)
                return fail (room.name, "a source stands on a microphone");

    const auto& surfaces = roomObject["surfaces"];

    for (int index = 0; index < numSurfaces; ++index)
    {
        const auto surface = static_cast<Surface> (index);
        const auto& entry = surfaces[getSurfaceKey (surface)];
        auto& design = room.surfaces[(size_t) index];
        design.material = entry["material"].toString();

        if (design.material.isEmpty()
             || ! readBandValues (entry["absorption"], design.absorption) || ! allWithin (design.absorption, 0.0, 0.99)
             || ! readBandValues (entry["scattering"], design.scattering) || ! allWithin (design.scattering, 0.0, 1.0))
            return fail (room.name, "surfaces." + juce::String (getSurfaceKey (surface)) + " must name its material and give "
                                       + juce::String (numBands) + " absorption coefficients from 0 to 0.99 and "
                                       + juce::String (numBands) + " scattering coefficients from 0 to 1");
    }

    if (! readBandValues (roomObject["t30"], room.targetT30) || ! allWithin (room.targetT30, minT30, maxT30))
        return fail (room.name, "t30 must give " + juce::String (numBands) + " reverberation times from "
                                   + juce::String (minT30) + " to " + juce::String (maxT30) + " s");

    // The tail must have died away before the file ends: 60 dB in the longest band's T30,
    // with a quarter more for the fade-out.
    auto longestT30 = 0.0;

    for (auto t30 : room.targetT30)
        longestT30 = juce::jmax (longestT30, t30);

    if (tailFadeMargin * longestT30 >= room.samplesPerChannel / room.sampleRate)
        return fail (room.name, "t30 is too long for samplesPerChannel: the tail could not fade out before the file ends");

    room.t30Source = roomObject["t30Source"].toString();

    if (room.t30Source.isEmpty())
        return fail (room.name, "t30Source must say where the reverberation times come from");

    const auto& seed = roomObject["seed"];

    if (! (seed.isInt() || seed.isInt64()))
        return fail (room.name, "seed must be a whole number");

    room.seed = static_cast<juce::int64> (seed);
    return juce::Result::ok();
}

juce::Result RoomDesign::loadTable (const juce::File& tableFile, juce::Array<RoomDesign>& rooms)
{
    rooms.clear();

    if (! tableFile.existsAsFile())
        return juce::Result::fail ("Room table not found: " + tableFile.getFullPathName());

    juce::var table;
    const auto parsed = juce::JSON::parse (tableFile.loadFileAsString(), table);

    if (parsed.failed())
        return juce::Result::fail ("Room table " + tableFile.getFullPathName() + ": " + parsed.getErrorMessage());

    double sampleRate = 0.0, speedOfSound = 0.0;

    if (! readNumber (table["sampleRate"], sampleRate) || sampleRate < 8000.0 || sampleRate > 384000.0)
        return juce::Result::fail ("Room table: sampleRate must be a rate in Hz from 8000 to 384000");

    if (! readNumber (table["speedOfSound"], speedOfSound) || speedOfSound < 300.0 || speedOfSound > 400.0)
        return juce::Result::fail ("Room table: speedOfSound must be given in metres per second");

    BandValues bands {};

    if (! readBandValues (table["bands"], bands) || bands != bandCentres)
        return juce::Result::fail ("Room table: bands must be the octave bands 125 to 4000 Hz");

    auto* roomList = table["rooms"].getArray();

    if (roomList == nullptr || roomList->isEmpty())
        return juce::Result::fail ("Room table: rooms must be a non-empty list");

    juce::Array<RoomDesign> parsedRooms;
    juce::StringArray names;

    for (const auto& roomObject : *roomList)
    {
        RoomDesign room;
        const auto result = parseRoom (roomObject, sampleRate, speedOfSound, room);

        if (result.failed())
            return result;

        if (names.contains (room.name, true))
            return fail (room.name, "the name is used twice");

        names.add (room.name);
        parsedRooms.add (room);
    }

    rooms.swapWith (parsedRooms);
    return juce::Result::ok();
}
