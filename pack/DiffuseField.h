#pragma once

#include "DecayEnvelope.h"
#include "RoomDesign.h"
#include "Fft.h"

#include <array>
#include <complex>
#include <vector>

/**
    The diffuse part of a room's responses: what the image sources leave out once their
    reflections come too thick to count.

    It starts as sparse pulses at the rate reflections arrive in a room of volume V,
    4 pi c^3 t^2 / V per second (H. Kuttruff, Room Acoustics, ch. 4), one at a random place in
    each interval of that length and of random sign, as in velvet noise (M. Karjalainen and
    H. Järveläinen, "Reverberation modeling using velvet noise", AES 30th Conf., 2007;
    V. Välimäki et al., "Late reverberation synthesis using filtered velvet noise", 2017), so its density grows from single reflections to
    dense Gaussian noise as in the real room.

    Its spectrum then follows the room's decay in every frequency bin of a short-time
    Fourier transform: the decay time varies smoothly with frequency, interpolated between
    the table's octave bands, and above 4 kHz the air's absorption (ISO 9613-1) shortens
    it, so that no band's filter skirt sets another band's decay.

    The channels' coherence follows the microphone geometry: in a diffuse field two points d
    apart are coherent as sin(kd)/kd (R. K. Cook et al., J. Acoust. Soc. Am. 27, 1955). For
    true stereo the two sources' spacing does the same (by reciprocity), and the four paths'
    coherence is the Kronecker product of the two. Each bin's mix is the symmetric square root
    of that coherence matrix, so that independent inputs come out with exactly these coherences.
*/
class DiffuseField
{
public:
    /** numSources is 1 (stereo) or 2 (true stereo); the channel of source s and microphone m is
        2 s + m. Sample 0 is offsetSeconds after emission; longestDecay bounds every decay
        time the field will be asked for. The channels' coherence is made to hold from
        lateSeconds after emission on.
    */
    DiffuseField (const RoomDesign& room, int numSources, double offsetSeconds,
                      double longestDecay, double lateSeconds, juce::uint64 seed);

    int getNumChannels() const noexcept                 { return numChannels; }

    /** Corrections to the coherence of every pair of channels in the bass, where a short late
        tail holds too few independent frequencies for the mix alone to set it:
        [band][first * numChannels + second], band 0 the 125 Hz octave and band 1 the 250 Hz one.
    */
    using CoherenceTrim = std::array<std::vector<double>, 2>;

    static constexpr std::array<double, 2> trimmedCoherenceBands { 125.0, 250.0 };

    CoherenceTrim makeNeutralCoherenceTrim() const;

    /** The field of every channel, each decaying as its own envelope says, each band raised or
        lowered by its level in dB, the channels' bass coherence shifted by the trim.
    */
    std::vector<std::vector<float>> render (const std::vector<DecayEnvelope>& envelopes,
                                            const std::vector<RoomDesign::BandValues>& levelsDb,
                                            const CoherenceTrim& coherenceTrim) const;

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

    std::vector<float> makeSparseSequence (juce::uint64 seed) const;
    void analyse (const std::vector<float>& sequence, int channel);
    void decorrelateChannels (double lateSeconds);
    using Matrix = std::vector<double>;   // numChannels x numChannels, row-major

    std::vector<Matrix> makeMixingMatrices (const CoherenceTrim& trim) const;
    Matrix getGeometricCoherence (double frequency) const;
    static Matrix symmetricSquareRoot (Matrix coherence, int size);
    Matrix spreadOverChannels (const Matrix& root) const;
    static void smoothMagnitudes (Spectrum& spectrum, double expectedEnergy) noexcept;
    static void smoothAcrossBins (std::vector<double>& gains) noexcept;
    double getFrameSeconds (int frame) const noexcept;
    int getFrameStart (int frame) const noexcept         { return (frame - (frameSize / hopSize - 1)) * hopSize; }

    RoomDesign room;
    int numSources, numChannels, numSamples, numFrames;
    double offsetSeconds, referenceDecay;
    Fft fft { frameSize };
    std::vector<double> window;
    std::vector<std::vector<Spectrum>> frames;       // [frame][channel], bins 0 to frameSize / 2
    std::vector<double> frameEnergies;               // expected energy per bin of dense noise, per frame
    int firstLateFrame = 0;
};
