#include "DecayEnvelope.h"
#include "DiffuseField.h"

#include <cmath>

namespace
{
    constexpr double ln1000 = 6.907755278982137;   // 60 dB of amplitude, in nepers
}

DecayEnvelope::DecayEnvelope (const RoomDesign& room, const RoomDesign::BandValues& times)
    : decayTimes (times), targetT30 (room.targetT30), speedOfSound (room.speedOfSound)
{
}

double DecayEnvelope::getDecayTime (Span span, double frequency) const noexcept
{
    const auto decay = DiffuseField::getDecayTime (decayTimes, frequency, speedOfSound);

    if (span == early)  return decay * RoomDesign::interpolateBands (earlyFactors, frequency);
    if (span == late)   return decay * RoomDesign::interpolateBands (lateFactors, frequency);
    return decay;
}

double DecayEnvelope::getSpanEnd (Span span, double frequency) const noexcept
{
    const auto t30 = RoomDesign::interpolateBands (targetT30, frequency);

    if (span == early)   return t30 * 10.0 / 60.0;
    if (span == middle)  return t30 * 25.0 / 60.0;
    return 1.0e9;
}

double DecayEnvelope::getDecayNepers (double frequency, double seconds, double longestDecay) const noexcept
{
    double nepers = 0.0, spanStart = 0.0;

    for (auto span : { early, middle, late })
    {
        const auto spanEnd = getSpanEnd (span, frequency);

        if (seconds > spanStart)
            nepers += ln1000 * (juce::jmin (seconds, spanEnd) - spanStart) / juce::jmin (longestDecay, getDecayTime (span, frequency));

        spanStart = spanEnd;
    }

    return nepers;
}
