#pragma once

#include <juce_core/juce_core.h>

/**
    A small, fully specified generator (splitmix64), so that every build draws the same
    noise whatever the standard library does.
*/
class NoiseSource
{
public:
    explicit NoiseSource (juce::uint64 seed) noexcept : state (seed) {}

    /** Uniform in [0, 1). */
    double nextUnit() noexcept;

    /** Uniform noise of unit variance. */
    float nextUniform() noexcept;

    /** Gaussian noise of unit variance (Box and Muller). */
    double nextGaussian() noexcept;

    /** +1 or -1 with equal odds. */
    double nextSign() noexcept                      { return nextUnit() < 0.5 ? -1.0 : 1.0; }

private:
    juce::uint64 state;
};
