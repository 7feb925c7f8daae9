#include "RoomModes.h"
#include "DiffuseField.h"

#include <cmath>
#include <complex>

namespace
{
    constexpr double pi = juce::MathConstants<double>::pi;

    /** The mean square of a mode shape along one axis: 1 for order 0, 1/2 otherwise. */
    double normOf (int order) noexcept          { return order == 0 ? 1.0 : 0.5; }
}

RoomModes::RoomModes (const RoomDesign& design)
    : room (design)
{
}

double RoomModes::getDiffuseShare (double frequency) const noexcept
{
    if (! isModal())
        return 1.0;

    const auto octavesAbove = std::log2 (juce::jmax (1.0, frequency) / room.getSchroederFrequency()) - handOverStartOctaves;
    const auto diffuseShare = juce::jlimit (0.0, 1.0, octavesAbove / handOverOctaves);
    return std::sin (0.5 * pi * diffuseShare);
}

void RoomModes::render (const RoomDesign::Position& source, const RoomDesign::Position& microphone,
                        double offsetSeconds, double directSeconds, std::vector<float>& output) const
{
    if (! isModal())
        return;

    const auto rate = room.sampleRate;
    const auto scale = 4.0 * pi * room.speedOfSound * room.speedOfSound / (room.getVolume() * rate);
    const auto firstSample = juce::jmax (0, static_cast<int> (std::ceil ((directSeconds - offsetSeconds) * rate)));
    const auto numSamples = static_cast<int> (output.size());
    std::vector<double> sum ((size_t) numSamples, 0.0);

    for (const auto& mode : room.getModes (getHighestModeFrequency()))
    {
        const auto shapes = room.getModeShape (mode, source) * room.getModeShape (mode, microphone);
        const auto omega = 2.0 * pi * mode.frequency;
        const auto modalShare = std::sqrt (juce::jmax (0.0, 1.0 - std::pow (getDiffuseShare (mode.frequency), 2.0)));
        const auto amplitude = scale * modalShare * shapes / (normOf (mode.p) * normOf (mode.q) * normOf (mode.r)) / omega;
        const auto start = firstSample / rate + offsetSeconds;
        const auto decayRate = RoomDesign::nepersPerDecay / DiffuseField::getDecayTime (room.targetT30, mode.frequency, room.speedOfSound);
        const auto step = std::polar (std::exp (-decayRate / rate), omega / rate);
        auto phasor = std::polar (std::exp (-decayRate * start), omega * start);

        // A recursive oscillator, e^{(-delta + j omega) t}, its imaginary part the mode.
        for (auto i = firstSample; i < numSamples; ++i, phasor *= step)
            sum[(size_t) i] += amplitude * phasor.imag();
    }

    const auto buildUp = static_cast<int> (buildUpSeconds * rate);

    for (int i = firstSample; i < numSamples; ++i)
    {
        const auto fade = juce::jmin (1.0, (i - firstSample) / (double) buildUp);
        output[(size_t) i] += static_cast<float> (sum[(size_t) i] * std::sin (0.5 * pi * fade) * std::sin (0.5 * pi * fade));
    }
}
