#include "Fft.h"

#include <juce_core/juce_core.h>

#include <cmath>

Fft::Fft (int fftSize)
    : size (fftSize)
{
    jassert (size > 1 && juce::isPowerOfTwo (size));

    twiddles.resize ((size_t) size / 2);

    for (int i = 0; i < size / 2; ++i)
    {
        const auto angle = -2.0 * juce::MathConstants<double>::pi * i / size;
        twiddles[(size_t) i] = { std::cos (angle), std::sin (angle) };
    }

    int bits = 0;

    while ((1 << bits) < size)
        ++bits;

    bitReversed.resize ((size_t) size);

    for (int i = 0; i < size; ++i)
    {
        int reversed = 0;

        for (int bit = 0; bit < bits; ++bit)
            if ((i >> bit) & 1)
                reversed |= 1 << (bits - 1 - bit);

        bitReversed[(size_t) i] = reversed;
    }
}

std::vector<std::complex<double>> Fft::spectrumOf (const float* samples, int numSamples)
{
    const auto size = juce::nextPowerOfTwo (numSamples);
    std::vector<std::complex<double>> spectrum ((size_t) size);

    for (int i = 0; i < numSamples; ++i)
        spectrum[(size_t) i] = samples[i];

    Fft (size).forward (spectrum);
    return spectrum;
}

void Fft::transform (std::vector<std::complex<double>>& data, bool inverse) const noexcept
{
    jassert ((int) data.size() == size);

    for (int i = 0; i < size; ++i)
        if (i < bitReversed[(size_t) i])
            std::swap (data[(size_t) i], data[(size_t) bitReversed[(size_t) i]]);

    for (int half = 1; half < size; half *= 2)
    {
        const auto stride = size / (2 * half);

        for (int start = 0; start < size; start += 2 * half)
        {
            for (int k = 0; k < half; ++k)
            {
                auto w = twiddles[(size_t) (k * stride)];

                if (inverse)
                    w = std::conj (w);

                const auto a = data[(size_t) (start + k)];
                const auto b = w * data[(size_t) (start + k + half)];
                data[(size_t) (start + k)] = a + b;
                data[(size_t) (start + k + half)] = a - b;
            }
        }
    }

    if (inverse)
        for (auto& value : data)
            value /= (double) size;
}
