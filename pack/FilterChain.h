#pragma once

#include "Biquad.h"

#include <cstddef>
#include <vector>

/**
    A cascade of sections, run one after the other over a whole buffer.
*/
class FilterChain
{
public:
    /** The Q values of the two sections of a fourth-order Butterworth filter. */
    static constexpr double butterworth4Q1 = 0.54119610014619701;
    static constexpr double butterworth4Q2 = 1.3065629648763764;
    static constexpr double butterworth2Q  = 0.70710678118654757;

    void add (const Biquad& section)           { sections.push_back (section); }

    /** Fourth-order Linkwitz-Riley: two second-order Butterworth sections. Its low- and
        high-pass halves add up to an all-pass, so a band split of a click keeps it flat.
    */
    void addLinkwitzRileyLowPass (double sampleRate, double frequency);
    void addLinkwitzRileyHighPass (double sampleRate, double frequency);

    /** The all-pass that a Linkwitz-Riley split at this frequency puts on the sum of its halves. */
    void addLinkwitzRileyAllPass (double sampleRate, double frequency);

    void addButterworth4LowPass (double sampleRate, double frequency);
    void addButterworth4HighPass (double sampleRate, double frequency);

    void reset() noexcept;
    void process (float* samples, int numSamples) noexcept;
    double getMagnitude (double sampleRate, double frequency) const noexcept;

private:
    void addPair (const Biquad& first, const Biquad& second);

    std::vector<Biquad> sections;
};
