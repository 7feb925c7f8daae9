#include "FilterChain.h"

void FilterChain::addLinkwitzRileyLowPass (double sampleRate, double frequency)
{
    addPair (Biquad::lowPass (sampleRate, frequency, butterworth2Q), Biquad::lowPass (sampleRate, frequency, butterworth2Q));
}

void FilterChain::addLinkwitzRileyHighPass (double sampleRate, double frequency)
{
    addPair (Biquad::highPass (sampleRate, frequency, butterworth2Q), Biquad::highPass (sampleRate, frequency, butterworth2Q));
}

void FilterChain::addLinkwitzRileyAllPass (double sampleRate, double frequency)
{
    add (Biquad::allPass (sampleRate, frequency, butterworth2Q));
}

void FilterChain::addButterworth4LowPass (double sampleRate, double frequency)
{
    addPair (Biquad::lowPass (sampleRate, frequency, butterworth4Q1), Biquad::lowPass (sampleRate, frequency, butterworth4Q2));
}

void FilterChain::addButterworth4HighPass (double sampleRate, double frequency)
{
    addPair (Biquad::highPass (sampleRate, frequency, butterworth4Q1), Biquad::highPass (sampleRate, frequency, butterworth4Q2));
}

void FilterChain::addPair (const Biquad& first, const Biquad& second)
{
    add (first);
    add (second);
}

void FilterChain::reset() noexcept
{
    for (auto& section : sections)
        section.reset();
}

void FilterChain::process (float* samples, int numSamples) noexcept
{
    std::size_t index = 0;

    for (; index + 1 < sections.size(); index += 2)
        Biquad::processPair (sections[index], sections[index + 1], samples, numSamples);

    if (index < sections.size())
        sections[index].process (samples, numSamples);
}

double FilterChain::getMagnitude (double sampleRate, double frequency) const noexcept
{
    double magnitude = 1.0;

    for (auto& section : sections)
        magnitude *= section.getMagnitude (sampleRate, frequency);

    return magnitude;
}
