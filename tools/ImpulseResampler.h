#pragma once

#include <vector>

/**
    Brings an impulse recorded at one sample rate to another, with the framework's windowed-sinc
    interpolator (juce::WindowedSincInterpolator).

    That interpolator is chosen over libsamplerate and libsoxr because the vok program is linked
    wholly statically and Debian ships neither of those as a static library; a sinc of 200 points
    brings a band-limited signal from 44.1 to 48 kHz within some 100 dB of exact, once its gain
    is corrected. When the impulse's rate is the higher one its content above
    the new Nyquist frequency is first removed with a steep low-pass, which the interpolator
    alone does not do.
*/
class ImpulseResampler
{
public:
    /** The samples at toRate, sample n taken at time n / toRate; both rates whole numbers of Hz. */
    static std::vector<float> resample (const float* samples, int numSamples, int fromRate, int toRate);

    /** How many samples an impulse of numSamples at fromRate has at toRate. */
    static int getResampledLength (int numSamples, int fromRate, int toRate);

private:
    static float getInterpolatorGain (double ratio);
};
