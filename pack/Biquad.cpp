#include "Biquad.h"

#include <juce_core/juce_core.h>

#include <cmath>
#include <complex>

namespace
{
    constexpr double pi = juce::MathConstants<double>::pi;

    struct Prewarped
    {
        double cosW, alpha;
    };

    Prewarped prewarp (double sampleRate, double frequency, double q)
    {
        const auto w = 2.0 * pi * frequency / sampleRate;
        return { std::cos (w), std::sin (w) / (2.0 * q) };
    }
}

Biquad::Biquad (double nb0, double nb1, double nb2, double a0, double na1, double na2) noexcept
    : b0 (nb0 / a0), b1 (nb1 / a0), b2 (nb2 / a0), a1 (na1 / a0), a2 (na2 / a0)
{
}

Biquad Biquad::lowPass (double sampleRate, double frequency, double q)
{
    const auto p = prewarp (sampleRate, frequency, q);
    return { (1.0 - p.cosW) / 2.0, 1.0 - p.cosW, (1.0 - p.cosW) / 2.0,
             1.0 + p.alpha, -2.0 * p.cosW, 1.0 - p.alpha };
}

Biquad Biquad::highPass (double sampleRate, double frequency, double q)
{
    const auto p = prewarp (sampleRate, frequency, q);
    return { (1.0 + p.cosW) / 2.0, -(1.0 + p.cosW), (1.0 + p.cosW) / 2.0,
             1.0 + p.alpha, -2.0 * p.cosW, 1.0 - p.alpha };
}

Biquad Biquad::allPass (double sampleRate, double frequency, double q)
{
    const auto p = prewarp (sampleRate, frequency, q);
    return { 1.0 - p.alpha, -2.0 * p.cosW, 1.0 + p.alpha,
             1.0 + p.alpha, -2.0 * p.cosW, 1.0 - p.alpha };
}

void Biquad::process (float* samples, int numSamples) noexcept
{
    auto s1 = z1, s2 = z2;

    for (int i = 0; i < numSamples; ++i)
    {
        const double in = samples[i];
        const double out = b0 * in + s1;
        s1 = b1 * in - a1 * out + s2;
        s2 = b2 * in - a2 * out;
        samples[i] = static_cast<float> (out);
    }

    z1 = s1;
    z2 = s2;
}

void Biquad::processPair (Biquad& first, Biquad& second, float* samples, int numSamples) noexcept
{
    auto f1 = first.z1, f2 = first.z2, s1 = second.z1, s2 = second.z2;

    for (int i = 0; i < numSamples; ++i)
    {
        const double in = samples[i];
        const double middle = first.b0 * in + f1;
        f1 = first.b1 * in - first.a1 * middle + f2;
        f2 = first.b2 * in - first.a2 * middle;

        const double out = second.b0 * middle + s1;
        s1 = second.b1 * middle - second.a1 * out + s2;
        s2 = second.b2 * middle - second.a2 * out;
        samples[i] = static_cast<float> (out);
    }

    first.z1 = f1;
    first.z2 = f2;
    second.z1 = s1;
    second.z2 = s2;
}

double Biquad::getMagnitude (double sampleRate, double frequency) const noexcept
{
    const auto z = std::polar (1.0, -2.0 * pi * frequency / sampleRate);
    const auto numerator = b0 + b1 * z + b2 * z * z;
    const auto denominator = 1.0 + a1 * z + a2 * z * z;
    return std::abs (numerator / denominator);
}
