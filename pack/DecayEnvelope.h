#pragma once

#include "RoomDesign.h"

#include <array>
#include <limits>

/**
    How one channel's reverberation decays at every frequency: the decay times (T60) of the
    table's bands, in three spans of the decay.

    A short tail of noise has its own random ups and downs, and in a small room a few modes
    beat against each other, so a decay made at one rate need not measure straight: its first
    10 dB (the early decay time of ISO 3382-1) or its late part may come out slower or faster
    than its T30. Each span therefore has a factor on the decay times, which the synthesiser
    trims from what it measures, as it trims the decay times themselves.

    The spans end where a straight decay at the room's T30 has fallen by 10 dB and by 25 dB
    after emission: the ranges of the early decay time and of the late slope.
*/
class DecayEnvelope
{
public:
    DecayEnvelope (const RoomDesign& room, const RoomDesign::BandValues& decayTimes);

    enum Span { early, middle, late, numSpans };

    /** The decay time (T60) of a span at a frequency: the bands' values interpolated, air
        absorption above 4 kHz, times the span's factor.
    */
    double getDecayTime (Span span, double frequency) const noexcept;

    /** When a span ends at a frequency, in seconds after emission. */
    double getSpanEnd (Span span, double frequency) const noexcept;

    /** A frequency's decay span by span, for code that asks for it at many times: how many
        nepers of amplitude each span takes away per second beyond what a decay of
        referenceDecay (a T60) would, no span counted slower than referenceDecay.
    */
    struct SpanRates
    {
        std::array<double, numSpans> extraNepersPerSecond {}, ends {};

        /** How far the decay has gone beyond the reference at a time after emission, in nepers. */
        double getExtraNepers (double seconds) const noexcept;
    };

    SpanRates getSpanRates (double frequency, double referenceDecay = std::numeric_limits<double>::infinity()) const noexcept;

    /** How far the decay has gone at a time after emission, in nepers of amplitude. */
    double getDecayNepers (double frequency, double seconds) const noexcept;

    RoomDesign::BandValues decayTimes;
    RoomDesign::BandValues earlyFactors { 1.0, 1.0, 1.0, 1.0, 1.0, 1.0 }, lateFactors { 1.0, 1.0, 1.0, 1.0, 1.0, 1.0 };

private:
    RoomDesign::BandValues targetT30;
    double speedOfSound;
};
