#include "ImpulseResampler.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <cmath>
#include <numeric>

namespace
{
    // The interpolator's output sample n is its input at time n * ratio - baseLatency: its sinc
    // reaches that far into the past of the newest input sample.
    constexpr int interpolatorLatency = (int) juce::WindowedSincInterpolator::getBaseLatency();

    // The modified Bessel function of the first kind, order 0, by its power series.
    double besselI0 (double x)
    {
        double sum = 1.0, term = 1.0;

        for (int k = 1; k < 50 && term > 1.0e-12 * sum; ++k)
        {
            term *= (x / (2.0 * k)) * (x / (2.0 * k));
            sum += term;
        }

        return sum;
    }

    /** A linear-phase low-pass of 2 * halfLength + 1 taps with its cutoff at that fraction of
        the sample rate, applied without delay. Its Kaiser window (beta 10) keeps the ripple of the
        pass band and what passes of the stop band some 100 dB down.
    */
    std::vector<float> lowPass (const float* samples, int numSamples, double cutoff)
    {
        constexpr int halfLength = 384;
        constexpr double beta = 10.0;
        std::vector<double> taps (2 * halfLength + 1);

        for (int i = -halfLength; i <= halfLength; ++i)
        {
            const auto x = juce::MathConstants<double>::twoPi * cutoff * i;
            const auto sinc = i == 0 ? 1.0 : std::sin (x) / x;
            const auto position = (double) i / halfLength;
            const auto window = besselI0 (beta * std::sqrt (1.0 - position * position)) / besselI0 (beta);
            taps[(size_t) (i + halfLength)] = 2.0 * cutoff * sinc * window;
        }

        std::vector<float> filtered ((size_t) numSamples);

        for (int n = 0; n < numSamples; ++n)
        {
            double sum = 0.0;
            const auto first = std::max (-halfLength, n - (numSamples - 1)), last = std::min (halfLength, n);

            for (int k = first; k <= last; ++k)
                sum += taps[(size_t) (k + halfLength)] * samples[n - k];

            filtered[(size_t) n] = (float) sum;
        }

        return filtered;
    }
}

int ImpulseResampler::getResampledLength (int numSamples, int fromRate, int toRate)
{
    return (int) (((juce::int64) numSamples * toRate + fromRate - 1) / fromRate);
}

std::vector<float> ImpulseResampler::resample (const float* samples, int numSamples, int fromRate, int toRate)
{
    std::vector<float> bandLimited;

    // Downwards, what lies above the new Nyquist frequency would fold back into the band.
    if (toRate < fromRate)
    {
        bandLimited = lowPass (samples, numSamples, 0.475 * toRate / fromRate);
        samples = bandLimited.data();
    }

    // With the ratio a / b in lowest terms, a lead of zeros that brings the interpolator's
    // latency to a whole multiple of a makes it a whole number of output samples, which are
    // dropped: output sample n then lies exactly at input time n * a / b.
    const auto divisor = std::gcd (fromRate, toRate);
    const auto a = fromRate / divisor, b = toRate / divisor;
    const auto multiples = (interpolatorLatency + a - 1) / a;
    const auto leadingZeros = multiples * a - interpolatorLatency;
    const auto dropped = multiples * b;

    std::vector<float> input ((size_t) leadingZeros, 0.0f);
    input.insert (input.end(), samples, samples + numSamples);

    const auto length = getResampledLength (numSamples, fromRate, toRate);
    std::vector<float> output ((size_t) (dropped + length));

    // Past its end the input is taken as silence, which lets the sinc's tail out.
    juce::WindowedSincInterpolator interpolator;
    const auto ratio = (double) a / (double) b;
    interpolator.process (ratio, input.data(), output.data(), (int) output.size(), (int) input.size(), 0);

    output.erase (output.begin(), output.begin() + dropped);
    juce::FloatVectorOperations::multiply (output.data(), 1.0f / getInterpolatorGain (ratio), (int) output.size());
    return output;
}

// The interpolator's table of sinc values passes a constant at about 0.99 of its level; what it
// passes at this ratio, averaged over the fractions of a sample it meets, is divided out.
float ImpulseResampler::getInterpolatorGain (double ratio)
{
    constexpr int numOutputs = 2000, settled = 500;
    std::vector<float> ones ((size_t) (numOutputs * ratio) + 2 * interpolatorLatency + 2, 1.0f);
    std::vector<float> output ((size_t) numOutputs);

    juce::WindowedSincInterpolator interpolator;
    interpolator.process (ratio, ones.data(), output.data(), numOutputs);

    double sum = 0.0;

    for (int n = settled; n < numOutputs; ++n)
        sum += output[(size_t) n];

    return (float) (sum / (numOutputs - settled));
}
