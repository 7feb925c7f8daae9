#pragma once

#include "RoomDesign.h"
#include "Fft.h"

#include <complex>
#include <vector>

/**
    The diffuse part of a room's responses: the energy the surfaces scatter out of the
    specular paths, and, once the image sources end, the specular energy as well.

    At every reflection a surface scatters the share s of what it reflects (its scattering
    coefficient, ISO 17497-1). Sound that has travelled c t after emission has met about
    c t / l surfaces, l the mean free path 4 V / S (Kuttruff, Room Acoustics, ch. 5), so a share
    (1 - s)^(c t / l) of the room's energy is still specular and the rest has been scattered.
    The scattered rays cross the room in every direction and arrive from many surfaces at once:
    their sum is a Gaussian noise (J.-D. Polack, "Playing billiards in the concert hall", Appl.
    Acoust. 38, 1993) whose energy is the room's statistical energy, decaying as the table's
    T30 says, times that scattered share (E. A. Lehmann and A. M. Johansson, "Diffuse
    reverberation model for efficient image-source simulation of room impulse responses",
    IEEE Trans. Audio Speech Lang. Process. 18, 2010). Early, the scattered energy is weak
    beside the specular reflections; the field turns dense as scattering takes the energy over.

    The decay time varies smoothly with frequency, interpolated between the table's octave
    bands, and above 4 kHz the air's absorption (ISO 9613-1) shortens it: each frequency bin of
    a short-time Fourier transform decays at its own rate.

    Each path has its own noise. Where channels are related, the field is mixed: in a diffuse
    field two points d apart are coherent as sin(kd)/kd (R. K. Cook et al., J. Acoust. Soc. Am.
    27, 1955); for true stereo the two sources' spacing does the same (by reciprocity), and the
    four paths' coherence is the Kronecker product of the two. Each bin's mix is the symmetric
    square root of that coherence matrix, the same in every frame, so that the coherence holds
    at every moment of the tail; where the channels are unrelated, at high frequencies, the
    mix leaves each channel its own noise.
*/
class DiffuseField
{
public:
    /** numSources is 1 (stereo) or 2 (true stereo); the channel of source s and microphone m is
        2 s + m, its first reflection arriving firstReflectionSeconds[channel] after emission:
        until then no sound has met a surface, so none has been scattered. Sample 0 is
        offsetSeconds after emission. The image sources hand their specular energy over to the
        field between handOverStart and handOverEnd after emission.
    */
    DiffuseField (const RoomDesign& room, int numSources, const std::vector<double>& firstReflectionSeconds,
                  double offsetSeconds, double handOverStart, double handOverEnd, juce::uint64 seed);

    int getNumChannels() const noexcept                 { return numChannels; }

    /** The field of every channel. */
    std::vector<std::vector<float>> render() const;

    /** The energy per sample the field starts with at emission, before any decay. */
    static double getEmissionEnergy (const RoomDesign& room) noexcept;

    /** The decay time at a frequency, from the decay times of the table's bands. */
    static double getDecayTime (const RoomDesign::BandValues& decayTimes, double frequency, double speedOfSound) noexcept;

    /** The diffuse-field coherence of two points a distance apart, sin(kd)/kd. */
    static double getDiffuseCoherence (double frequency, double distance, double speedOfSound) noexcept;

    static constexpr int frameSize = 1024;
    static constexpr int hopSize = frameSize / 4;

private:
    using Spectrum = std::vector<std::complex<double>>;
    using Matrix = std::vector<double>;   // numChannels x numChannels, row-major

    void analyse (juce::uint64 seed, int channel);
    std::vector<Matrix> makeMixingMatrices() const;
    Matrix getGeometricCoherence (double frequency) const;
    static Matrix symmetricSquareRoot (Matrix coherence, int size);
    double getFrameSeconds (int frame) const noexcept;
    int getFrameStart (int frame) const noexcept         { return (frame - (frameSize / hopSize - 1)) * hopSize; }

    RoomDesign room;
    int numSources, numChannels, numSamples, numFrames;
    std::vector<double> firstReflectionSeconds;
    double offsetSeconds, handOverStart, handOverEnd, referenceDecay;
    Fft fft { frameSize };
    std::vector<double> window;
    std::vector<std::vector<Spectrum>> frames;       // [frame][channel], bins 0 to frameSize / 2
};
