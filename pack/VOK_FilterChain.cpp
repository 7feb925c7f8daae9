#include "VOK_FilterChain.h"

void VOK_FilterChain::addLinkwitzRileyLowPass (double sampleRate, double frequency)
{
    add (VOK_Biquad::lowPass (sampleRate, frequency, butterworth2Q));
    add (VOK_Biquad::lowPass (sampleRate, frequency, butterworth2Q));
}

void VOK_FilterChain::addLinkwitzRileyHighPass (double sampleRate, double frequency)
{
    add (VOK_Biquad::highPass (sampleRate, frequency, butterworth2Q));
    add (VOK_Biquad::highPass (sampleRate, frequency, butterworth2Q));
}

void VOK_FilterChain::addLinkwitzRileyAllPass (double sampleRate, double frequency)
{
    add (VOK_Biquad::allPass (sampleRate, frequency, butterworth2Q));
}

void VOK_FilterChain::addButterworth4LowPass (double sampleRate, double frequency)
{
    add (VOK_Biquad::lowPass (sampleRate, frequency, butterworth4Q1));
    add (VOK_Biquad::lowPass (sampleRate, frequency, butterworth4Q2));
}

void VOK_FilterChain::addButterworth4HighPass (double sampleRate, double frequency)
{
    add (VOK_Biquad::highPass (sampleRate, frequency, butterworth4Q1));
    add (VOK_Biquad::highPass (sampleRate, frequency, butterworth4Q2));
}

void VOK_FilterChain::reset() noexcept
{
    for (auto& section : sections)
        section.reset();
}

void VOK_FilterChain::process (float* samples, int numSamples) noexcept
{
    std::size_t index = 0;

    for (; index + 1 < sections.size(); index += 2)
        VOK_Biquad::processPair (sections[index], sections[index + 1], samples, numSamples);

    if (index < sections.size())
        sections[index].process (samples, numSamples);
}

double VOK_FilterChain::getMagnitude (double sampleRate, double frequency) const noexcept
{
    double magnitude = 1.0;

    for (auto& section : sections)
        magnitude *= section.getMagnitude (sampleRate, frequency);

    return magnitude;
}
