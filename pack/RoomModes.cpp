#include "RoomModes.h"
#include "DiffuseField.h"

#include <cmath>
#include <complex>

namespace
{
    constexpr double pi = juce::MathConstants<double>::pi;
    constexpr double ln1000 = 6.907755278982137;

    double modeShape (int order, double size, double position) noexcept
    {
        return std::cos (order * pi * position / size);
    }

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

    const auto highest = getHighestModeFrequency();
    const auto half = 0.5 * room.speedOfSound;
    const auto rate = room.sampleRate;
    const auto scale = 4.0 * pi * room.speedOfSound * room.speedOfSound / (room.getVolume() * rate);
    const auto orderLimit = [&] (double size) { return static_cast<int> (highest / half * size) + 1; };
    const auto firstSample = juce::jmax (0, static_cast<int> (std::ceil ((directSeconds - offsetSeconds) * rate)));
    const auto numSamples = static_cast<int> (output.size());
    std::vector<double> sum ((size_t) numSamples, 0.0);

    for (int p = 0; p <= orderLimit (room.width); ++p)
        for (int q = 0; q <= orderLimit (room.length); ++q)
            for (int r = 0; r <= orderLimit (room.height); ++r)
            {
                const auto frequency = half * std::sqrt (std::pow (p / room.width, 2.0) + std::pow (q / room.length, 2.0)
                                                          + std::pow (r / room.height, 2.0));

                if (frequency < lowestModeHz || frequency > highest)
                    continue;

                const auto shapes = modeShape (p, room.width, source.x) * modeShape (q, room.length, source.y) * modeShape (r, room.height, source.z)
                                  * modeShape (p, room.width, microphone.x) * modeShape (q, room.length, microphone.y)
                                  * modeShape (r, room.height, microphone.z);
                const auto omega = 2.0 * pi * frequency;
                const auto modalShare = std::sqrt (juce::jmax (0.0, 1.0 - std::pow (getDiffuseShare (frequency), 2.0)));
                const auto amplitude = scale * modalShare * shapes / (normOf (p) * normOf (q) * normOf (r)) / omega;
                const auto start = firstSample / rate + offsetSeconds;
                const auto decayRate = ln1000 / DiffuseField::getDecayTime (room.targetT30, frequency, room.speedOfSound);
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
