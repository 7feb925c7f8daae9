#pragma once

/**
    One second-order IIR section (bilinear transform with pre-warping) and its state.

    The state is kept in double precision: the octave filters at 125 Hz run at a
    small fraction of the sample rate, where single precision would add audible noise.
*/
class Biquad
{
public:
    static Biquad lowPass (double sampleRate, double frequency, double q);
    static Biquad highPass (double sampleRate, double frequency, double q);
    static Biquad allPass (double sampleRate, double frequency, double q);

    void reset() noexcept                          { z1 = z2 = 0.0; }

    /** Filters the samples in place. */
    void process (float* samples, int numSamples) noexcept;

    /** Filters the samples in place through first, then second, in one pass: the two
        sections' work on neighbouring samples overlaps, which nearly halves the time of
        the long cascades, and the sample between them keeps double precision.
    */
    static void processPair (Biquad& first, Biquad& second, float* samples, int numSamples) noexcept;

    /** The magnitude of the response at a frequency, for checking designs. */
    double getMagnitude (double sampleRate, double frequency) const noexcept;

private:
    Biquad (double b0, double b1, double b2, double a0, double a1, double a2) noexcept;

    double b0, b1, b2, a1, a2;
    double z1 = 0.0, z2 = 0.0;
};
