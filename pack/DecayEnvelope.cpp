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

DecayEnvelope::SpanRates DecayEnvelope::getSpanRates (double frequency, double referenceDecay) const noexcept
{
    SpanRates rates;

    for (auto span : { early, middle, late })
    {
        const auto decayTime = juce::jmin (referenceDecay, getDecayTime (span, frequency));
        rates.extraNepersPerSecond[(size_t) span] = ln1000 * (1.0 / decayTime - 1.0 / referenceDecay);
        rates.ends[(size_t) span] = getSpanEnd (span, frequency);
    }

    return rates;
}

double DecayEnvelope::SpanRates::getExtraNepers (double seconds) const noexcept
{
    double nepers = 0.0, spanStart = 0.0;

    for (size_t span = 0; span < ends.size() && seconds > spanStart; ++span)
    {
        nepers += extraNepersPerSecond[span] * (juce::jmin (seconds, ends[span]) - spanStart);
        spanStart = ends[span];
    }

    return nepers;
}

double DecayEnvelope::getDecayNepers (double frequency, double seconds) const noexcept
{
    return getSpanRates (frequency).getExtraNepers (seconds);
}
