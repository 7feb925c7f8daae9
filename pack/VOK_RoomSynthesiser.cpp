#include "VOK_RoomSynthesiser.h"
#include "VOK_FilterChain.h"
#include "VOK_DecayAnalysis.h"

#include <cmath>

namespace
{
    constexpr double pi = juce::MathConstants<double>::pi;

    // The tail stops 140 dB below its start: far under any converter's noise. Not computing
    // what follows saves most of the work in the short rooms, and keeps denormals out.
    constexpr double tailRangeDb = 140.0;

    // Trimming may lengthen a band's decay; the noise is made long enough for this much.
    constexpr double decayTimeMargin = 1.3;

    /** A small, fully specified generator (splitmix64), so that every platform and library
        version draws the same noise.
    */
    class NoiseSource
    {
    public:
        explicit NoiseSource (juce::uint64 seed) noexcept : state (seed) {}

        /** Uniform noise of unit variance. */
        float next() noexcept
        {
            state += 0x9e3779b97f4a7c15ull;
            auto z = state;
            z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
            z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
            z ^= z >> 31;
            const auto unit = static_cast<double> (z >> 11) * (1.0 / 9007199254740992.0);
            return static_cast<float> ((2.0 * unit - 1.0) * std::sqrt (3.0));
        }

    private:
        juce::uint64 state;
    };

    /** The tail is made in the table's octave bands and one more above them, for the top
        octaves, where air absorbs enough to shorten the decay audibly in large rooms. */
    constexpr int numSynthesisBands = VOK_RoomDesign::numBands + 1;
    constexpr size_t airBand = VOK_RoomDesign::numBands;

    // How much more air absorbs at 8 kHz than at 4 kHz (20 degrees C, 50 % humidity, after
    // ISO 9613-1), as the energy attenuation per metre.
    constexpr double extraAirAbsorption = 0.017;

    /** The 8 kHz decay time from the 4 kHz one, by Sabine's formula with the air term. */
    double airBandDecayTime (double highestBandDecayTime, double speedOfSound)
    {
        return 1.0 / (1.0 / highestBandDecayTime + 4.0 * extraAirAbsorption * speedOfSound / 55.3);
    }

    double crossoverFrequency (int index)
    {
        return VOK_RoomDesign::bandCentres[(size_t) index] * std::sqrt (2.0);
    }

    /** A raised-sine ramp from 0 at start to 1 at end. */
    double rampUp (double t, double start, double end)
    {
        if (t <= start)  return 0.0;
        if (t >= end)    return 1.0;
        return std::sin (0.5 * pi * (t - start) / (end - start));
    }

    /** The complement of rampUp in energy: their squares add up to 1. */
    double rampDown (double t, double start, double end)
    {
        if (t <= start)  return 1.0;
        if (t >= end)    return 0.0;
        return std::cos (0.5 * pi * (t - start) / (end - start));
    }
}

//==============================================================================
struct VOK_RoomSynthesiser::PathParts
{
    VOK_RoomDesign::BandValues decayTimes {};   // T60 per table band the tail is made with
    VOK_RoomDesign::BandValues measuredT30 {};  // what the last trimming pass measured
    int directSample = 0;
    double directGain = 0.0;
    double directSeconds = 0.0;

    // Per octave band: the band-filtered image sources (short), and band-filtered noise (full length).
    std::array<std::vector<float>, numSynthesisBands> early, noise;
};

//==============================================================================
VOK_RoomSynthesiser::VOK_RoomSynthesiser (const VOK_RoomDesign& design)
    : room (design),
      startingDecayTimes (design.targetT30)
{
    // Diffuse-field energy per sample in a room of volume V: 4 pi c / (V fs), on the scale
    // where a point source gives 1/r at distance r. The image sources have the same mean.
    tailLevel = std::sqrt (4.0 * pi * room.speedOfSound / (room.getVolume() * room.sampleRate));

    // Reflections become dense after about sqrt(V) milliseconds; hand over within twice that.
    mixingSeconds = juce::jlimit (0.025, 0.15, 2.0 * std::sqrt (room.getVolume()) / 1000.0);
}

VOK_RoomSynthesiser::~VOK_RoomSynthesiser() = default;

juce::StringArray VOK_RoomSynthesiser::getChannelDescriptions (Layout layout)
{
    if (layout == Layout::stereo)
        return { "C->L", "C->R" };

    return { "L->L", "L->R", "R->L", "R->R" };
}

//==============================================================================
void VOK_RoomSynthesiser::filterIntoBand (std::vector<float>& samples, int band) const
{
    // Band k of a Linkwitz-Riley crossover tree: the high-passes of the splits below it,
    // its own low-pass, and the all-passes of the splits above it. The bands then add up
    // to one common all-pass, so equal band gains leave a reflection's spectrum flat.
    const auto rate = room.sampleRate;
    const auto lastSplit = numSynthesisBands - 2;
    VOK_FilterChain chain;

    for (int split = 0; split < band; ++split)
        chain.addLinkwitzRileyHighPass (rate, crossoverFrequency (split));

    if (band <= lastSplit)
        chain.addLinkwitzRileyLowPass (rate, crossoverFrequency (band));

    for (int split = band + 1; split <= lastSplit; ++split)
        chain.addLinkwitzRileyAllPass (rate, crossoverFrequency (split));

    chain.process (samples.data(), static_cast<int> (samples.size()));
}

void VOK_RoomSynthesiser::addImageSources (PathParts& parts, const VOK_RoomDesign::Position& source,
                                           const VOK_RoomDesign::Position& microphone) const
{
    const auto endSeconds = parts.directSeconds + mixingSeconds;
    const auto maxDistance = endSeconds * room.speedOfSound;
    const auto earlyLength = parts.early[0].size();

    std::array<double, numSynthesisBands> wallReflection {}, floorReflection {}, ceilingReflection {};

    for (size_t band = 0; band < (size_t) numSynthesisBands; ++band)
    {
        // Surfaces absorb in the air band as they do at 4 kHz.
        const auto tableBand = juce::jmin (band, airBand - 1);
        wallReflection[band] = std::sqrt (1.0 - room.wallAbsorption[tableBand]);
        floorReflection[band] = std::sqrt (1.0 - room.floorAbsorption[tableBand]);
        ceilingReflection[band] = std::sqrt (1.0 - room.ceilingAbsorption[tableBand]);
    }

    const auto orderLimit = [maxDistance] (double size) { return static_cast<int> (std::ceil (maxDistance / (2.0 * size))) + 1; };
    const int nxMax = orderLimit (room.width), nyMax = orderLimit (room.length), nzMax = orderLimit (room.height);

    // Image (n, u) along an axis of size L sits at (1 - 2u) s + 2 n L and has met the wall at 0
    // |n - u| times and the wall at L |n| times.
    for (int nx = -nxMax; nx <= nxMax; ++nx)
     for (int ux = 0; ux <= 1; ++ux)
      for (int ny = -nyMax; ny <= nyMax; ++ny)
       for (int uy = 0; uy <= 1; ++uy)
        for (int nz = -nzMax; nz <= nzMax; ++nz)
         for (int uz = 0; uz <= 1; ++uz)
         {
             const int wallHits = std::abs (nx - ux) + std::abs (nx) + std::abs (ny - uy) + std::abs (ny);
             const int floorHits = std::abs (nz - uz), ceilingHits = std::abs (nz);

             if (wallHits + floorHits + ceilingHits == 0)
                 continue; // the direct sound, added broadband on its own

             const VOK_RoomDesign::Position image { (1 - 2 * ux) * source.x + 2 * nx * room.width,
                                                    (1 - 2 * uy) * source.y + 2 * ny * room.length,
                                                    (1 - 2 * uz) * source.z + 2 * nz * room.height };
             const auto distance = image.distanceTo (microphone);

             if (distance >= maxDistance)
                 continue;

             const auto seconds = distance / room.speedOfSound;
             const auto sample = static_cast<size_t> (std::lround (seconds * room.sampleRate));

             if (sample >= earlyLength)
                 continue;

             const auto weight = rampDown (seconds, parts.directSeconds, endSeconds) / distance;

             for (size_t band = 0; band < (size_t) numSynthesisBands; ++band)
             {
                 const auto air = band == airBand ? std::exp (-0.5 * extraAirAbsorption * distance) : 1.0;
                 const auto reflection = air * std::pow (wallReflection[band], wallHits)
                                       * std::pow (floorReflection[band], floorHits)
                                       * std::pow (ceilingReflection[band], ceilingHits);
                 parts.early[band][sample] += static_cast<float> (weight * reflection);
             }
         }
}

VOK_RoomSynthesiser::PathParts VOK_RoomSynthesiser::makePath (const VOK_RoomDesign::Position& source,
                                                              const VOK_RoomDesign::Position& microphone,
                                                              juce::uint64 seed) const
{
    PathParts parts;
    parts.decayTimes = startingDecayTimes;
    const auto numSamples = static_cast<size_t> (room.samplesPerChannel);
    const auto distance = source.distanceTo (microphone);

    parts.directSeconds = distance / room.speedOfSound;
    parts.directGain = 1.0 / distance;
    parts.directSample = static_cast<int> (std::lround (parts.directSeconds * room.sampleRate));

    // The image sources end with the hand-over; leave their filters time to ring out.
    const auto earlySeconds = parts.directSeconds + mixingSeconds + 0.1;
    const auto earlyLength = juce::jmin (numSamples, static_cast<size_t> (std::ceil (earlySeconds * room.sampleRate)));

    auto longestDecay = 0.0;

    for (auto t30 : parts.decayTimes)
        longestDecay = juce::jmax (longestDecay, t30);

    const auto tailSeconds = parts.directSeconds + mixingSeconds + decayTimeMargin * longestDecay * tailRangeDb / 60.0;
    const auto tailLength = juce::jmin (numSamples, static_cast<size_t> (std::ceil (tailSeconds * room.sampleRate)));

    for (auto& band : parts.early)
        band.assign (earlyLength, 0.0f);

    addImageSources (parts, source, microphone);

    NoiseSource noise (seed);
    std::vector<float> white (tailLength);

    for (auto& sample : white)
        sample = noise.next();

    for (int band = 0; band < numSynthesisBands; ++band)
    {
        filterIntoBand (parts.early[(size_t) band], band);
        parts.noise[(size_t) band] = white;
        filterIntoBand (parts.noise[(size_t) band], band);
    }

    return parts;
}

std::vector<VOK_RoomSynthesiser::PathParts> VOK_RoomSynthesiser::makePaths (Layout layout) const
{
    // Each path draws its own noise: seeds differ by room, layout and channel.
    const auto baseSeed = static_cast<juce::uint64> (room.seed) * 1000u + (layout == Layout::stereo ? 0u : 100u);
    std::vector<PathParts> paths;

    if (layout == Layout::stereo)
    {
        paths.push_back (makePath (room.centreSource, room.leftMicrophone, baseSeed + 1));
        paths.push_back (makePath (room.centreSource, room.rightMicrophone, baseSeed + 2));
    }
    else
    {
        paths.push_back (makePath (room.leftSource, room.leftMicrophone, baseSeed + 1));
        paths.push_back (makePath (room.leftSource, room.rightMicrophone, baseSeed + 2));
        paths.push_back (makePath (room.rightSource, room.leftMicrophone, baseSeed + 3));
        paths.push_back (makePath (room.rightSource, room.rightMicrophone, baseSeed + 4));
    }

    return paths;
}

//==============================================================================
void VOK_RoomSynthesiser::mix (const PathParts& parts, float* output) const
{
    const auto numSamples = room.samplesPerChannel;
    const auto rate = room.sampleRate;
    const auto handOverEnd = parts.directSeconds + mixingSeconds;

    std::array<double, numSynthesisBands> envelope {}, decayPerSample {};

    for (size_t band = 0; band < (size_t) numSynthesisBands; ++band)
    {
        const auto decayTime = band == airBand ? airBandDecayTime (parts.decayTimes[airBand - 1], room.speedOfSound)
                                               : parts.decayTimes[band];
        envelope[band] = tailLevel;
        decayPerSample[band] = std::pow (10.0, -3.0 / (decayTime * rate));
    }

    const auto tailLength = static_cast<int> (parts.noise[0].size());
    const auto silentLevel = tailLevel * juce::Decibels::decibelsToGain (-tailRangeDb, -1000.0);

    for (int i = 0; i < tailLength; ++i)
    {
        const auto fadeIn = rampUp (i / rate, parts.directSeconds, handOverEnd);
        double sum = 0.0, loudest = 0.0;

        for (size_t band = 0; band < (size_t) numSynthesisBands; ++band)
        {
            sum += envelope[band] * fadeIn * parts.noise[band][(size_t) i];
            loudest = juce::jmax (loudest, envelope[band]);
            envelope[band] *= decayPerSample[band];
        }

        output[i] = loudest > silentLevel ? static_cast<float> (sum) : 0.0f;
    }

    std::fill (output + tailLength, output + numSamples, 0.0f);

    for (const auto& band : parts.early)
        juce::FloatVectorOperations::add (output, band.data(), static_cast<int> (band.size()));

    if (parts.directSample < numSamples)
        output[parts.directSample] += static_cast<float> (parts.directGain);

    // Microphones don't pass DC, and the file must not hold any.
    VOK_Biquad::highPass (rate, dcBlockingFrequency, VOK_FilterChain::butterworth2Q).process (output, numSamples);

    // The tail has long decayed by the end; the fade makes sure the last sample is exactly 0.
    const auto fadeLength = juce::jmin (numSamples / 10, static_cast<int> (fadeOutSeconds * rate));

    for (int i = 0; i < fadeLength; ++i)
    {
        const auto gain = std::cos (0.5 * pi * (i + 1) / fadeLength);
        output[numSamples - fadeLength + i] *= static_cast<float> (gain * gain);
    }
}

juce::AudioBuffer<float> VOK_RoomSynthesiser::mixAll (const std::vector<PathParts>& paths) const
{
    juce::AudioBuffer<float> result (static_cast<int> (paths.size()), room.samplesPerChannel);

    for (int channel = 0; channel < result.getNumChannels(); ++channel)
        mix (paths[(size_t) channel], result.getWritePointer (channel));

    // One gain for all channels keeps the level differences between the paths.
    float peak = 0.0f;

    for (int channel = 0; channel < result.getNumChannels(); ++channel)
        peak = juce::jmax (peak, result.getMagnitude (channel, 0, result.getNumSamples()));

    if (peak > 0.0f)
        result.applyGain (juce::Decibels::decibelsToGain (static_cast<float> (peakLevelDb)) / peak);

    return result;
}

double VOK_RoomSynthesiser::trimDecayTimes (PathParts& parts) const
{
    std::vector<float> channel ((size_t) room.samplesPerChannel);
    double deviation = 1.0;

    for (int pass = 0; pass < maxTrimPasses; ++pass)
    {
        mix (parts, channel.data());
        parts.measuredT30 = VOK_DecayAnalysis::measureT30 (channel.data(), room.samplesPerChannel, room.sampleRate);
        deviation = 0.0;

        for (size_t band = 0; band < parts.measuredT30.size(); ++band)
            deviation = juce::jmax (deviation, std::abs (parts.measuredT30[band] / room.targetT30[band] - 1.0));

        // Stop with the decay times that gave this measurement, so that it describes the render.
        if (deviation <= trimTolerance || pass == maxTrimPasses - 1)
            break;

        for (size_t band = 0; band < parts.measuredT30.size(); ++band)
            if (parts.measuredT30[band] > 0.0)
                parts.decayTimes[band] *= room.targetT30[band] / parts.measuredT30[band];
    }

    return deviation;
}

juce::AudioBuffer<float> VOK_RoomSynthesiser::render (Layout layout)
{
    auto paths = makePaths (layout);
    lastTrimDeviation = 0.0;

    lastMeasuredT30 = {};
    VOK_RoomDesign::BandValues meanDecayTimes {};

    for (auto& path : paths)
    {
        lastTrimDeviation = juce::jmax (lastTrimDeviation, trimDecayTimes (path));

        for (size_t band = 0; band < lastMeasuredT30.size(); ++band)
        {
            lastMeasuredT30[band] += path.measuredT30[band] / (double) paths.size();
            meanDecayTimes[band] += path.decayTimes[band] / (double) paths.size();
        }
    }

    // The next layout of the same room needs nearly the same corrections: start from them.
    startingDecayTimes = meanDecayTimes;

    return mixAll (paths);
}
