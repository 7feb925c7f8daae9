#include "NoiseSource.h"

#include <cmath>

double NoiseSource::nextUnit() noexcept
{
    state += 0x9e3779b97f4a7c15ull;
    auto z = state;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    z ^= z >> 31;
    return static_cast<double> (z >> 11) * (1.0 / 9007199254740992.0);
}

float NoiseSource::nextUniform() noexcept
{
    return static_cast<float> ((2.0 * nextUnit() - 1.0) * std::sqrt (3.0));
}

double NoiseSource::nextGaussian() noexcept
{
    const auto radius = std::sqrt (-2.0 * std::log (1.0 - nextUnit()));
    return radius * std::cos (2.0 * juce::MathConstants<double>::pi * nextUnit());
}
