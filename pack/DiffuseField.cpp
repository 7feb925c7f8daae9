#include "DiffuseField.h"
#include "AirAbsorption.h"
#include "NoiseSource.h"
#include "RoomModes.h"

#include <cmath>

namespace
{
    constexpr double pi = juce::MathConstants<double>::pi;
    constexpr double ln1000 = 6.907755278982137;   // 60 dB of amplitude, in nepers
    constexpr int numBins = DiffuseField::frameSize / 2 + 1;

    // Hann analysis and synthesis windows at a quarter-frame hop add up to this.
    constexpr double overlapGain = 1.5;

    // Before the first millisecond the rate is too low to matter; it keeps the intervals finite.
    constexpr double earliestSeconds = 0.001;

    constexpr double coherenceDelaySeconds = 0.1;

    constexpr double smallestEigenvalue = 1.0e-4;
    constexpr int maxJacobiSweeps = 12;

    /** How much of each trimmed octave band's correction a frequency takes: all of the 125 Hz
        one below 125 Hz, a log-frequency cross-fade to the 250 Hz one, none from 500 Hz.
    */
    std::array<double, 2> trimWeights (double frequency)
    {
        const auto octaves = std::log2 (juce::jmax (1.0, frequency) / DiffuseField::trimmedCoherenceBands[0]);

        if (octaves <= 0.0)  return { 1.0, 0.0 };
        if (octaves < 1.0)   return { 1.0 - octaves, octaves };
        if (octaves < 2.0)   return { 0.0, 2.0 - octaves };
        return { 0.0, 0.0 };
    }
}

DiffuseField::DiffuseField (const RoomDesign& design, int sources, double offset,
                                    double longestDecay, double lateSeconds, juce::uint64 seed)
    : room (design),
      numSources (sources),
      numChannels (2 * sources),
      numSamples (design.samplesPerChannel),
      numFrames ((design.samplesPerChannel + frameSize) / hopSize),
      offsetSeconds (offset),
      referenceDecay (longestDecay)
{
    window.resize ((size_t) frameSize);

    for (int i = 0; i < frameSize; ++i)
        window[(size_t) i] = 0.5 - 0.5 * std::cos (2.0 * pi * i / frameSize);

    frames.assign ((size_t) numFrames, std::vector<Spectrum> ((size_t) numChannels, Spectrum ((size_t) numBins)));

    for (int channel = 0; channel < numChannels; ++channel)
        analyse (makeSparseSequence (seed + (juce::uint64) channel), channel);

    firstLateFrame = 0;

    while (firstLateFrame < numFrames && getFrameSeconds (firstLateFrame) < lateSeconds)
        ++firstLateFrame;

    // The coherence is judged once the early reflections' low frequencies have died away.
    decorrelateChannels (lateSeconds + coherenceDelaySeconds);
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

std::vector<float> DiffuseField::makeSparseSequence (juce::uint64 seed) const
{
    // Unit mean energy per sample; the level and the decay come later.
    NoiseSource noise (seed);
    std::vector<float> sequence ((size_t) numSamples, 0.0f);
    const auto c = room.speedOfSound;
    double intervalStart = 0.0;

    while (intervalStart < numSamples)
    {
        const auto seconds = juce::jmax (earliestSeconds, intervalStart / room.sampleRate + offsetSeconds);
        const auto pulsesPerSecond = 4.0 * pi * c * c * c * seconds * seconds / room.getVolume();
        const auto interval = room.sampleRate / pulsesPerSecond;

        if (interval < 2.0)
        {
            // Dense by now: Gaussian noise from here on.
            for (auto i = static_cast<size_t> (intervalStart); i < sequence.size(); ++i)
                sequence[i] = static_cast<float> (noise.nextGaussian());

            break;
        }

        const auto position = static_cast<size_t> (intervalStart + noise.nextUnit() * interval);

        if (position < sequence.size())
            sequence[position] = static_cast<float> (noise.nextSign() * std::sqrt (interval));

        intervalStart += interval;
    }

    return sequence;
}

void DiffuseField::analyse (const std::vector<float>& sequence, int channel)
{
    // The field's level at emission and its slowest decay; each bin's own decay is applied on synthesis.
    const auto level = std::sqrt (getEmissionEnergy (room));
    Spectrum buffer ((size_t) frameSize);
    frameEnergies.assign ((size_t) numFrames, 0.0);

    for (int frame = 0; frame < numFrames; ++frame)
    {
        const auto start = getFrameStart (frame);

        for (int i = 0; i < frameSize; ++i)
        {
            const auto index = start + i;
            const auto seconds = index / room.sampleRate + offsetSeconds;
            const auto envelope = index >= 0 && index < numSamples ? level * std::exp (-ln1000 * seconds / referenceDecay) : 0.0;
            buffer[(size_t) i] = (index >= 0 && index < numSamples ? sequence[(size_t) index] : 0.0f) * envelope * window[(size_t) i];
            frameEnergies[(size_t) frame] += std::pow (envelope * window[(size_t) i], 2.0);
        }

        fft.forward (buffer);
        std::copy (buffer.begin(), buffer.begin() + numBins, frames[(size_t) frame][(size_t) channel].begin());
    }
}

void DiffuseField::decorrelateChannels (double lateSeconds)
{
    // Independent noises are uncorrelated only on average; over a short late tail their
    // correlation at low frequencies wanders by 0.2 and more. Gram-Schmidt in every bin over
    // the late frames, each weighted by the energy the room's decay leaves it, makes them
    // uncorrelated in this very tail, so the mix below sets the coherence the geometry asks for.
    // The earlier frames are left alone: their sparse pulses must stay each channel's own.
    int firstWeighted = 0;

    while (firstWeighted < numFrames && getFrameSeconds (firstWeighted) < lateSeconds)
        ++firstWeighted;

    std::vector<double> weights ((size_t) numFrames);

    for (int bin = 1; bin < numBins; ++bin)
    {
        const auto decay = juce::jmin (referenceDecay, getDecayTime (room.targetT30, bin * room.sampleRate / frameSize, room.speedOfSound));
        const auto extraRate = 2.0 * ln1000 * (1.0 / decay - 1.0 / referenceDecay);

        for (int frame = 0; frame < numFrames; ++frame)
            weights[(size_t) frame] = frame < firstWeighted ? 0.0 : std::exp (-extraRate * (getFrameSeconds (frame) - lateSeconds));

        const auto weightedEnergy = [&] (int channel)
        {
            double energy = 0.0;

            for (int frame = firstWeighted; frame < numFrames; ++frame)
                energy += weights[(size_t) frame] * std::norm (frames[(size_t) frame][(size_t) channel][(size_t) bin]);

            return energy;
        };

        for (int channel = 1; channel < numChannels; ++channel)
        {
            const auto energyBefore = weightedEnergy (channel);

            for (int earlier = 0; earlier < channel; ++earlier)
            {
                std::complex<double> product;

                for (int frame = firstWeighted; frame < numFrames; ++frame)
                {
                    const auto& spectra = frames[(size_t) frame];
                    product += weights[(size_t) frame] * spectra[(size_t) channel][(size_t) bin] * std::conj (spectra[(size_t) earlier][(size_t) bin]);
                }

                const auto energy = weightedEnergy (earlier);

                if (energy <= 0.0)
                    continue;

                const auto projection = product / energy;

                for (int frame = firstWeighted; frame < numFrames; ++frame)
                    frames[(size_t) frame][(size_t) channel][(size_t) bin] -= projection * frames[(size_t) frame][(size_t) earlier][(size_t) bin];
            }

            const auto energyAfter = weightedEnergy (channel);

            if (energyAfter > 0.0)
                for (int frame = firstWeighted; frame < numFrames; ++frame)
                    frames[(size_t) frame][(size_t) channel][(size_t) bin] *= std::sqrt (energyBefore / energyAfter);
        }
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
    // Computations, 8.5); the root V sqrt(L) V^T mixes every input into every channel alike,
    // so no channel keeps a sparse pulse of its own louder than the others.
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

    // A trim may ask for a set of coherences no field can have: the nearest that can is taken,
    // its negative eigenvalues raised to a small positive one, each channel's energy kept at 1.
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

DiffuseField::Matrix DiffuseField::spreadOverChannels (const Matrix& root) const
{
    // Any root times an orthogonal matrix gives the same coherences; the Sylvester-Hadamard one
    // shares every input among all the channels, even where they are unrelated, as the rotations
    // of a feedback delay network's mixing matrix do (J.-M. Jot and A. Chaigne, AES 90th Conv., 1991).
    Matrix spread (root.size(), 0.0);
    const auto scale = 1.0 / std::sqrt ((double) numChannels);

    for (int row = 0; row < numChannels; ++row)
        for (int column = 0; column < numChannels; ++column)
            for (int k = 0; k < numChannels; ++k)
                spread[(size_t) (row * numChannels + column)] += root[(size_t) (row * numChannels + k)] * scale
                                                               * (juce::countNumberOfBits ((juce::uint32) (k & column)) % 2 == 0 ? 1.0 : -1.0);

    return spread;
}

DiffuseField::CoherenceTrim DiffuseField::makeNeutralCoherenceTrim() const
{
    return { std::vector<double> ((size_t) (numChannels * numChannels)), std::vector<double> ((size_t) (numChannels * numChannels)) };
}

std::vector<DiffuseField::Matrix> DiffuseField::makeMixingMatrices (const CoherenceTrim& trim) const
{
    std::vector<Matrix> mixing ((size_t) numBins);

    for (int bin = 0; bin < numBins; ++bin)
    {
        const auto frequency = bin * room.sampleRate / frameSize;
        const auto weights = trimWeights (frequency);

        auto coherence = getGeometricCoherence (frequency);

        for (size_t entry = 0; entry < coherence.size(); ++entry)
            if (entry % (size_t) (numChannels + 1) != 0)
                coherence[entry] = juce::jlimit (-1.0, 1.0, coherence[entry] + weights[0] * trim[0][entry] + weights[1] * trim[1][entry]);

        mixing[(size_t) bin] = spreadOverChannels (symmetricSquareRoot (coherence, numChannels));
    }

    return mixing;
}

void DiffuseField::smoothAcrossBins (std::vector<double>& gains) noexcept
{
    constexpr int halfWidth = 16;
    const auto source = gains;

    for (int bin = 1; bin < numBins; ++bin)
    {
        double sum = 0.0;
        int count = 0;

        for (int other = juce::jmax (1, bin - halfWidth); other <= juce::jmin (numBins - 1, bin + halfWidth); ++other, ++count)
            sum += source[(size_t) other];

        gains[(size_t) bin] = sum / count;
    }
}

void DiffuseField::smoothMagnitudes (Spectrum& spectrum, double expectedEnergy) noexcept
{
    // In the late field each sixth of an octave gets exactly the energy the room's decay
    // gives it, frame by frame: the random swings of a noise's short-time spectrum would
    // otherwise bend the decay curves of the low bands, which hold few frequencies.
    int first = 1;

    while (first < numBins)
    {
        const auto group = static_cast<int> (std::floor (6.0 * std::log2 ((double) first)));
        auto end = first + 1;

        while (end < numBins && static_cast<int> (std::floor (6.0 * std::log2 ((double) end))) == group)
            ++end;

        double energy = 0.0;

        for (int bin = first; bin < end; ++bin)
            energy += std::norm (spectrum[(size_t) bin]);

        if (energy > 0.0)
        {
            const auto gain = std::sqrt (expectedEnergy * (end - first) / energy);

            for (int bin = first; bin < end; ++bin)
                spectrum[(size_t) bin] *= gain;
        }

        first = end;
    }
}

double DiffuseField::getEmissionEnergy (const RoomDesign& design) noexcept
{
    // The diffuse energy density of a room of volume V, 4 pi c / (V fs) per sample, on the
    // scale where a point source gives 1/r.
    return 4.0 * pi * design.speedOfSound / (design.getVolume() * design.sampleRate);
}

std::vector<std::vector<float>> DiffuseField::render (const std::vector<DecayEnvelope>& envelopes,
                                                      const std::vector<RoomDesign::BandValues>& levelsDb,
                                                      const CoherenceTrim& coherenceTrim) const
{
    // The trim is made for the late tail; the sparse early pulses keep the geometry's mix.
    const auto earlyMixing = makeMixingMatrices (makeNeutralCoherenceTrim());
    const auto lateMixing = makeMixingMatrices (coherenceTrim);
    jassert ((int) envelopes.size() == numChannels && (int) levelsDb.size() == numChannels);

    // Each bin decays at its own rates relative to the slowest decay the analysis applied,
    // span by span: the extra nepers a bin has lost are linear in time within each span.
    std::vector<std::vector<DecayEnvelope::SpanRates>> decays ((size_t) numChannels,
                                                               std::vector<DecayEnvelope::SpanRates> ((size_t) numBins));
    std::vector<std::vector<double>> levels ((size_t) numChannels, std::vector<double> ((size_t) numBins));

    for (int channel = 0; channel < numChannels; ++channel)
        for (int bin = 0; bin < numBins; ++bin)
        {
            const auto frequency = juce::jmax (1.0, bin * room.sampleRate / frameSize);
            decays[(size_t) channel][(size_t) bin] = envelopes[(size_t) channel].getSpanRates (frequency, referenceDecay);
            levels[(size_t) channel][(size_t) bin] = std::pow (10.0, RoomDesign::interpolateBands (levelsDb[(size_t) channel], frequency) / 20.0);
        }

    // Below the Schroeder frequency of a small room its modes take over (RoomModes), from
    // the first frame on: the early frames hold most of a short room's energy.
    const RoomModes modes (room);
    std::vector<double> diffuseShares ((size_t) numBins);

    for (int bin = 0; bin < numBins; ++bin)
        diffuseShares[(size_t) bin] = modes.getDiffuseShare (bin * room.sampleRate / frameSize);

    std::vector<std::vector<float>> output ((size_t) numChannels, std::vector<float> ((size_t) numSamples, 0.0f));
    Spectrum buffer ((size_t) frameSize);
    std::vector<double> gains ((size_t) numBins);

    for (int frame = 0; frame < numFrames; ++frame)
    {
        const auto seconds = getFrameSeconds (frame);
        const auto& inputs = frames[(size_t) frame];
        const auto start = getFrameStart (frame);

        for (int channel = 0; channel < numChannels; ++channel)
        {
            buffer[0] = 0.0;   // no DC

            for (int bin = 1; bin < numBins; ++bin)
            {
                std::complex<double> sum;
                const auto& mixing = frame < firstLateFrame ? earlyMixing : lateMixing;
                const auto* row = mixing[(size_t) bin].data() + channel * numChannels;

                for (int input = 0; input < numChannels; ++input)
                    sum += row[input] * inputs[(size_t) input][(size_t) bin];

                buffer[(size_t) bin] = sum;
            }

            if (frame >= firstLateFrame)
                smoothMagnitudes (buffer, frameEnergies[(size_t) frame]);

            for (int bin = 1; bin < numBins; ++bin)
                gains[(size_t) bin] = levels[(size_t) channel][(size_t) bin] * std::exp (-decays[(size_t) channel][(size_t) bin].getExtraNepers (seconds));

            // While the pulses are sparse, a gain that varies fast from bin to bin would smear
            // each into a slow wave that fills the gaps between reflections; smoothed over
            // about 1.4 kHz it leaves each pulse a click a millisecond long.
            if (frame < firstLateFrame)
                smoothAcrossBins (gains);

            for (int bin = 1; bin < numBins; ++bin)
            {
                buffer[(size_t) bin] *= gains[(size_t) bin] * diffuseShares[(size_t) bin];

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

    return output;
}
