#pragma once

#include <complex>
#include <vector>

/**
    A complex radix-2 FFT of a fixed size, in double precision.

    The pack is generated on the build machine and must come out the same on every
    build, so the synthesiser uses this small transform of its own rather than one
    whose results depend on the library version or the processor's vector units.
*/
class Fft
{
public:
    /** size must be a power of two. */
    explicit Fft (int size);

    int getSize() const noexcept                   { return size; }

    /** Transforms in place; the inverse includes the 1/size scaling. */
    void forward (std::vector<std::complex<double>>& data) const noexcept   { transform (data, false); }
    void inverse (std::vector<std::complex<double>>& data) const noexcept   { transform (data, true); }

    /** The spectrum of a whole signal, zero-padded to the next power of two; bin k lies at
        k * sampleRate / size, where size is the returned spectrum's length.
    */
    static std::vector<std::complex<double>> spectrumOf (const float* samples, int numSamples);

private:
    void transform (std::vector<std::complex<double>>& data, bool inverse) const noexcept;

    int size;
    std::vector<std::complex<double>> twiddles;
    std::vector<int> bitReversed;
};
