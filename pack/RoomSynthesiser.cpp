#include "RoomSynthesiser.h"
#include "DiffuseField.h"
#include "FilterChain.h"
#include "ImageSources.h"
#include "RoomModes.h"

#include <cmath>

namespace
{
    constexpr double pi = juce::MathConstants<double>::pi;
}

RoomSynthesiser::RoomSynthesiser (const RoomDesign& design)
    : room (design)
{
}

RoomSynthesiser::~RoomSynthesiser() = default;

juce::StringArray RoomSynthesiser::getChannelDescriptions (Layout layout)
{
    if (layout == Layout::stereo)
        return { "C->L", "C->R" };

    return { "L->L", "L->R", "R->L", "R->R" };
}

std::vector<RoomSynthesiser::Path> RoomSynthesiser::getPaths (const RoomDesign& room, Layout layout)
{
    std::vector<Path> paths;

    if (layout == Layout::stereo)
        paths = { { room.centreSource, room.leftMicrophone }, { room.centreSource, room.rightMicrophone } };
    else
        paths = { { room.leftSource, room.leftMicrophone }, { room.leftSource, room.rightMicrophone },
                  { room.rightSource, room.leftMicrophone }, { room.rightSource, room.rightMicrophone } };

    for (auto& path : paths)
        path.directSeconds = path.source.distanceTo (path.microphone) / room.speedOfSound;

    return paths;
}

void RoomSynthesiser::assemble (const std::vector<float>& early, const std::vector<float>& diffuse, float* output) const
{
    const auto numSamples = room.samplesPerChannel;

    for (int i = 0; i < numSamples; ++i)
        output[i] = early[(size_t) i] + diffuse[(size_t) i];

    // A room is measured through a loudspeaker, which passes nothing far below the audio band.
    // A vented measurement loudspeaker of studio-monitor size rolls off as a fourth-order
    // high-pass (Thiele 1971, Small 1973: the B4 alignment) about 35 Hz; the microphone's own
    // roll-off lies far lower. The response thus shows the low end a measurement would, and
    // leaves the file without DC.
    FilterChain measurementChain;
    measurementChain.addButterworth4HighPass (room.sampleRate, measurementHighPassHz);
    measurementChain.process (output, numSamples);

    // The tail has long decayed by the end; the fade makes sure the last sample is exactly 0.
    const auto fadeLength = juce::jmin (numSamples / 10, static_cast<int> (fadeOutSeconds * room.sampleRate));

    for (int i = 0; i < fadeLength; ++i)
    {
        const auto gain = std::cos (0.5 * pi * (i + 1) / fadeLength);
        output[numSamples - fadeLength + i] *= static_cast<float> (gain * gain);
    }
}

void RoomSynthesiser::normalise (juce::AudioBuffer<float>& response, const std::vector<Path>& paths,
                                     double offsetSeconds) const
{
    // The same reverberant energy in every file, so that switching presets keeps the level;
    // the direct sound then sits where each room's balance puts it.
    double energy = 0.0;

    for (int channel = 0; channel < response.getNumChannels(); ++channel)
    {
        const auto first = juce::jmax (0, static_cast<int> ((paths[(size_t) channel].directSeconds + directSoundSeconds - offsetSeconds) * room.sampleRate));
        const auto* samples = response.getReadPointer (channel);

        for (int i = first; i < response.getNumSamples(); ++i)
            energy += (double) samples[i] * samples[i];
    }

    energy /= response.getNumChannels();

    if (energy <= 0.0)
        return;

    auto gain = std::sqrt (std::pow (10.0, reverberantLevelDb / 10.0) / energy);
    float peak = 0.0f;

    for (int channel = 0; channel < response.getNumChannels(); ++channel)
        peak = juce::jmax (peak, response.getMagnitude (channel, 0, response.getNumSamples()));

    // A room so dry that its direct sound would clip gives up some reverberant level instead.
    gain = juce::jmin (gain, juce::Decibels::decibelsToGain (maxPeakDb) / (double) peak);
    response.applyGain (static_cast<float> (gain));
}

juce::AudioBuffer<float> RoomSynthesiser::render (Layout layout) const
{
    const auto paths = getPaths (room, layout);
    const auto numChannels = static_cast<int> (paths.size());

    // The file starts just before its earliest arrival; the channels keep their relative delays.
    // The scattered sound of each path starts with its first reflection.
    ImageSources imageSources (room);
    auto earliest = paths.front().directSeconds;
    std::vector<double> firstReflectionSeconds;

    for (const auto& path : paths)
    {
        earliest = juce::jmin (earliest, path.directSeconds);
        firstReflectionSeconds.push_back (imageSources.getFirstReflectionSeconds (path.source, path.microphone));
    }

    const auto offsetSeconds = earliest - leadSeconds;
    const auto handOverEnd = room.getSpecularEndSeconds();
    const auto handOverStart = handOverStartShare * handOverEnd;

    // Seeds differ by room, layout and channel.
    const auto seed = static_cast<juce::uint64> (room.seed) * 1000u + (layout == Layout::stereo ? 0u : 100u) + 1u;
    const auto diffuse = DiffuseField (room, numChannels / 2, firstReflectionSeconds, offsetSeconds, handOverStart, handOverEnd, seed).render();

    const RoomModes modes (room);
    juce::AudioBuffer<float> response (numChannels, room.samplesPerChannel);

    for (int channel = 0; channel < numChannels; ++channel)
    {
        const auto& path = paths[(size_t) channel];
        std::vector<float> early ((size_t) room.samplesPerChannel, 0.0f);
        imageSources.render (path.source, path.microphone, offsetSeconds, handOverStart, handOverEnd, early);

        // Below a small room's Schroeder frequency its modes carry what the other two leave out there.
        modes.render (path.source, path.microphone, offsetSeconds, path.directSeconds, early);
        assemble (early, diffuse[(size_t) channel], response.getWritePointer (channel));
    }

    normalise (response, paths, offsetSeconds);
    return response;
}
