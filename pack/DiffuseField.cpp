#include "DiffuseField.h"
#include "AirAbsorption.h"
#include "ImageSources.h"
#include "NoiseSource.h"
#include "RoomModes.h"

#include <algorithm>
#include <cmath>

namespace
{
    constexpr double pi = juce::MathConstants<double>::pi;
    constexpr int numBins = DiffuseField::frameSize / 2 + 1;

    // Hann analysis and synthesis windows at a quarter-frame hop add up to this.
    constexpr double overlapGain = 1.5;

    constexpr double smallestEigenvalue = 1.0e-4;
    constexpr int maxJacobiSweeps = 12;
}

DiffuseField::DiffuseField (const RoomDesign& design, int sources, const std::vector<double>& firstReflections,
                            double offset, double fadeStart, double fadeEnd, juce::uint64 seed)
    : room (design),
      numSources (sources),
      numChannels (2 * sources),
      numSamples (design.samplesPerChannel),
      numFrames ((design.samplesPerChannel + frameSize) / hopSize),
      firstReflectionSeconds (firstReflections),
      offsetSeconds (offset),
      handOverStart (fadeStart),
      handOverEnd (fadeEnd),
      referenceDecay (*std::max_element (design.targetT30.begin(), design.targetT30.end()))
{
    jassert ((int) firstReflectionSeconds.size() == numChannels);
    window.resize ((size_t) frameSize);

    for (int i = 0; i < frameSize; ++i)
        window[(size_t) i] = 0.5 - 0.5 * std::cos (2.0 * pi * i / frameSize);

    frames.assign ((size_t) numFrames, std::vector<Spectrum> ((size_t) numChannels, Spectrum ((size_t) numBins)));

    for (int channel = 0; channel < numChannels; ++channel)
        analyse (seed + (juce::uint64) channel, channel);
}

double DiffuseField::getDecayTime (const RoomDesign::BandValues& decayTimes, double frequency,
                                   double speedOfSound) noexcept
{
    const auto highest = RoomDesign::bandCentres.back();

    if (frequency <= highest)
        return RoomDesign::interpolateBands (decayTimes, frequency);

    return AirAbsorption::extrapolateDecayTime (decayTimes.back(), highest, frequency, speedOfSound);
}

double DiffuseField::getDiffuseCoherence (double frequency, double distance, double speedOfSound) noexcept
{
    const auto kd = 2.0 * pi * frequency / speedOfSound * distance;
    return kd < 1.0e-9 ? 1.0 : std::sin (kd) / kd;
}

double DiffuseField::getFrameSeconds (int frame) const noexcept
{
    return (getFrameStart (frame) + frameSize / 2) / room.sampleRate + offsetSeconds;
}

void DiffuseField::analyse (juce::uint64 seed, int channel)
{
    // Gaussian noise at the field's level at emission, decaying at the slowest rate; each bin's
    // own decay and scattered share are applied on synthesis.
    NoiseSource noise (seed);
    std::vector<double> samples ((size_t) numSamples);

    for (auto& sample : samples)
        sample = noise.nextGaussian();

    const auto level = std::sqrt (getEmissionEnergy (room));
    Spectrum buffer ((size_t) frameSize);

    for (int frame = 0; frame < numFrames; ++frame)
    {
        const auto start = getFrameStart (frame);

        for (int i = 0; i < frameSize; ++i)
        {
            const auto index = start + i;
            const auto seconds = index / room.sampleRate + offsetSeconds;
            buffer[(size_t) i] = index >= 0 && index < numSamples
                               ? samples[(size_t) index] * level * std::exp (-RoomDesign::nepersPerDecay * seconds / referenceDecay) * window[(size_t) i]
                               : 0.0;
        }

        fft.forward (buffer);
        std::copy (buffer.begin(), buffer.begin() + numBins, frames[(size_t) frame][(size_t) channel].begin());
    }
}

DiffuseField::Matrix DiffuseField::getGeometricCoherence (double frequency) const
{
    // By reciprocity the two sources' spacing decorrelates like the microphones'; the four
    // paths' coherence is the product of the two.
    const auto microphones = getDiffuseCoherence (frequency, room.leftMicrophone.distanceTo (room.rightMicrophone), room.speedOfSound);
    const auto sources = numSources == 1 ? 1.0 : getDiffuseCoherence (frequency, room.leftSource.distanceTo (room.rightSource), room.speedOfSound);
    Matrix coherence ((size_t) (numChannels * numChannels));

    for (int row = 0; row < numChannels; ++row)
        for (int column = 0; column < numChannels; ++column)
            coherence[(size_t) (row * numChannels + column)] = (row / 2 == column / 2 ? 1.0 : sources)
                                                             * (row % 2 == column % 2 ? 1.0 : microphones);

    return coherence;
}

DiffuseField::Matrix DiffuseField::symmetricSquareRoot (Matrix coherence, int size)
{
    // Eigenvectors by cyclic Jacobi rotations (G. H. Golub and C. F. Van Loan, Matrix
    // Computations, 8.5). Of all the roots, V sqrt(L) V^T keeps each channel's own noise
    // strongest: where the coherence is 0 it is the identity.
    Matrix vectors ((size_t) (size * size), 0.0);
    const auto at = [size] (int row, int column) { return (size_t) (row * size + column); };

    for (int i = 0; i < size; ++i)
        vectors[at (i, i)] = 1.0;

    for (int sweep = 0; sweep < maxJacobiSweeps; ++sweep)
        for (int p = 0; p < size; ++p)
            for (int q = p + 1; q < size; ++q)
            {
                if (std::abs (coherence[at (p, q)]) < 1.0e-15)
                    continue;

                const auto theta = (coherence[at (q, q)] - coherence[at (p, p)]) / (2.0 * coherence[at (p, q)]);
                const auto t = (theta >= 0.0 ? 1.0 : -1.0) / (std::abs (theta) + std::sqrt (theta * theta + 1.0));
                const auto c = 1.0 / std::sqrt (t * t + 1.0), s = t * c;
                const auto rotate = [c, s] (double& first, double& second)
                {
                    const auto a = first, b = second;
                    first = c * a - s * b;
                    second = s * a + c * b;
                };

                for (int k = 0; k < size; ++k)  rotate (coherence[at (k, p)], coherence[at (k, q)]);
                for (int k = 0; k < size; ++k)  rotate (coherence[at (p, k)], coherence[at (q, k)]);
                for (int k = 0; k < size; ++k)  rotate (vectors[at (k, p)], vectors[at (k, q)]);
            }

    // Rounding may leave an eigenvalue a hair below zero: it is raised to a small positive one,
    // each channel's energy kept at 1.
    Matrix root ((size_t) (size * size), 0.0);

    for (int row = 0; row < size; ++row)
    {
        double energy = 0.0;

        for (int column = 0; column < size; ++column)
        {
            for (int k = 0; k < size; ++k)
                root[at (row, column)] += vectors[at (row, k)] * std::sqrt (juce::jmax (smallestEigenvalue, coherence[at (k, k)]))
                                        * vectors[at (column, k)];

            energy += root[at (row, column)] * root[at (row, column)];
        }

        for (int column = 0; column < size; ++column)
            root[at (row, column)] /= std::sqrt (energy);
    }

    return root;
}

std::vector<DiffuseField::Matrix> DiffuseField::makeMixingMatrices() const
{
    std::vector<Matrix> mixing ((size_t) numBins);

    for (int bin = 0; bin < numBins; ++bin)
        mixing[(size_t) bin] = symmetricSquareRoot (getGeometricCoherence (bin * room.sampleRate / frameSize), numChannels);

    return mixing;
}

double DiffuseField::getEmissionEnergy (const RoomDesign& design) noexcept
{
    // The diffuse energy density of a room of volume V, 4 pi c / (V fs) per sample, on the
    // scale where a point source gives 1/r.
    return 4.0 * pi * design.speedOfSound / (design.getVolume() * design.sampleRate);
}

std::vector<std::vector<float>> DiffuseField::render() const
{
    const auto mixing = makeMixingMatrices();

    // Per bin: the extra nepers per second it decays beyond the analysis' slowest decay, the
    // share of its amplitude the modes leave to the field (RoomModes), and the share of the
    // energy that stays specular over a second of travel.
    std::vector<double> extraDecayRates ((size_t) numBins), diffuseShares ((size_t) numBins), specularPerSecond ((size_t) numBins);
    const RoomModes modes (room);

    for (int bin = 0; bin < numBins; ++bin)
    {
        const auto frequency = juce::jmax (1.0, bin * room.sampleRate / frameSize);
        specularPerSecond[(size_t) bin] = room.getSpecularShare (frequency, 1.0);
        extraDecayRates[(size_t) bin] = RoomDesign::nepersPerDecay * (1.0 / getDecayTime (room.targetT30, frequency, room.speedOfSound) - 1.0 / referenceDecay);
        diffuseShares[(size_t) bin] = modes.getDiffuseShare (frequency);
    }

    std::vector<std::vector<float>> output ((size_t) numChannels, std::vector<float> ((size_t) numSamples, 0.0f));
    Spectrum buffer ((size_t) frameSize);

    for (int frame = 0; frame < numFrames; ++frame)
    {
        const auto seconds = getFrameSeconds (frame);
        const auto imageWeight = ImageSources::getHandOverWeight (seconds, handOverStart, handOverEnd);
        const auto& inputs = frames[(size_t) frame];
        const auto start = getFrameStart (frame);

        for (int channel = 0; channel < numChannels; ++channel)
        {
            buffer[0] = 0.0;   // no DC

            for (int bin = 1; bin < numBins; ++bin)
            {
                std::complex<double> sum;
                const auto* row = mixing[(size_t) bin].data() + channel * numChannels;

                for (int input = 0; input < numChannels; ++input)
                    sum += row[input] * inputs[(size_t) input][(size_t) bin];

                // What the image sources do not carry: the scattered energy, and all of it once they end.
                const auto specular = std::pow (specularPerSecond[(size_t) bin], juce::jmax (0.0, seconds - firstReflectionSeconds[(size_t) channel]));
                const auto fieldShare = juce::jmax (0.0, 1.0 - specular * imageWeight * imageWeight);

                buffer[(size_t) bin] = sum * std::exp (-extraDecayRates[(size_t) bin] * seconds) * std::sqrt (fieldShare)
                                     * diffuseShares[(size_t) bin];

                if (bin < numBins - 1)
                    buffer[(size_t) (frameSize - bin)] = std::conj (buffer[(size_t) bin]);
            }

            buffer[(size_t) (numBins - 1)] = buffer[(size_t) (numBins - 1)].real();
            fft.inverse (buffer);

            auto& samples = output[(size_t) channel];

            for (int i = juce::jmax (0, -start); i < frameSize && start + i < numSamples; ++i)
                samples[(size_t) (start + i)] += static_cast<float> (buffer[(size_t) i].real() * window[(size_t) i] / overlapGain);
        }
    }

    // Nothing scattered reaches a microphone before its first reflection; the frames' overlap
    // would smear a little of it there.
    for (int channel = 0; channel < numChannels; ++channel)
    {
        const auto firstSample = static_cast<int> (std::ceil ((firstReflectionSeconds[(size_t) channel] - offsetSeconds) * room.sampleRate));
        auto& samples = output[(size_t) channel];
        std::fill (samples.begin(), samples.begin() + juce::jlimit (0, numSamples, firstSample), 0.0f);
    }

    return output;
}
