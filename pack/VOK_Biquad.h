#pragma once

#include <vector>

/**
    One second-order IIR section (bilinear transform with pre-warping) and its state.

    The state is kept in double precision: the octave filters at 125 Hz run at a
    small fraction of the sample rate, where single precision would add audible noise.
*/
class VOK_Biquad
{
public:
    static VOK_Biquad lowPass (double sampleRate, double frequency, double q);
    static VOK_Biquad highPass (double sampleRate, double frequency, double q);
    static VOK_Biquad allPass (double sampleRate, double frequency, double q);

    void reset() noexcept                          { z1 = z2 = 0.0; }

    /** Filters the samples in place. */
    void process (float* samples, int numSamples) noexcept;

    /** The magnitude of the response at a frequency, for checking designs. */
    double getMagnitude (double sampleRate, double frequency) const noexcept;

private:
    VOK_Biquad (double b0, double b1, double b2, double a0, double a1, double a2) noexcept;

    double b0, b1, b2, a1, a2;
    double z1 = 0.0, z2 = 0.0;
};

//==============================================================================
/**
    A cascade of sections, run one after the other over a whole buffer.
*/
class VOK_FilterChain
{
public:
    /** The Q values of the two sections of a fourth-order Butterworth filter. */
    static constexpr double butterworth4Q1 = 0.54119610014619701;
    static constexpr double butterworth4Q2 = 1.3065629648763764;
    static constexpr double butterworth2Q  = 0.70710678118654757;

    void add (const VOK_Biquad& section)           { sections.push_back (section); }

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
    std::vector<VOK_Biquad> sections;
};
