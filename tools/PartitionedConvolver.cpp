#include "PartitionedConvolver.h"

#include <algorithm>
#include <cstring>

namespace
{
    // Where nearly all the time of a long impulse goes: separate real and imaginary arrays make
    // it loops the compiler vectorises.
    void multiplyAccumulate (const float* __restrict xReal, const float* __restrict xImag,
                             const float* __restrict hReal, const float* __restrict hImag,
                             float* __restrict sumReal, float* __restrict sumImag, int numBins) noexcept
    {
        for (int i = 0; i < numBins; ++i)
        {
            sumReal[i] += xReal[i] * hReal[i] - xImag[i] * hImag[i];
            sumImag[i] += xReal[i] * hImag[i] + xImag[i] * hReal[i];
        }
    }
}

PartitionedConvolver::PartitionedConvolver (int numInputsToUse, int numOutputsToUse,
                                            const std::vector<Path>& pathsToUse, int blockSizeToUse)
    : numInputs (numInputsToUse), numOutputs (numOutputsToUse), blockSize (blockSizeToUse),
      fftSize (2 * blockSizeToUse), numBins (blockSizeToUse + 1)
{
    jassert (juce::isPowerOfTwo (blockSize));

    for (auto& path : pathsToUse)
        numPartitions = std::max (numPartitions, (path.numSamples + blockSize - 1) / blockSize);

    auto* scratch = allocate ((size_t) fftSize);
    const auto scratchSpectrum = allocateSpectrum();

    // Estimated plans: a measured one runs a transform of 32768 points in 44 us rather than 75,
    // but takes 0.6 s to make, more than it saves on an hour of audio.
    fftwf_iodim dimension { fftSize, 1, 1 };
    forwardPlan = fftwf_plan_guru_split_dft_r2c (1, &dimension, 0, nullptr, scratch,
                                                 scratchSpectrum.real, scratchSpectrum.imag, FFTW_ESTIMATE);
    inversePlan = fftwf_plan_guru_split_dft_c2r (1, &dimension, 0, nullptr, scratchSpectrum.real,
                                                 scratchSpectrum.imag, scratch, FFTW_ESTIMATE);

    // The inverse transform leaves its result fftSize times too large; the paths' spectra carry
    // the correction.
    for (auto& path : pathsToUse)
    {
        PathSpectra spectra { path.input, path.output, {} };
        const auto scale = path.gain / (float) fftSize;

        for (int start = 0; start < path.numSamples; start += blockSize)
        {
            const auto length = std::min (blockSize, path.numSamples - start);
            std::fill (scratch, scratch + fftSize, 0.0f);
            juce::FloatVectorOperations::copyWithMultiply (scratch, path.samples + start, scale, length);

            const auto partition = allocateSpectrum();
            fftwf_execute_split_dft_r2c (forwardPlan, scratch, partition.real, partition.imag);
            spectra.partitions.push_back (partition);
        }

        paths.push_back (std::move (spectra));
    }

    for (int input = 0; input < numInputs; ++input)
    {
        inputHistory.push_back (allocate ((size_t) fftSize));
        inputSpectra.emplace_back();

        for (int i = 0; i < numPartitions; ++i)
            inputSpectra.back().push_back (allocateSpectrum());
    }

    for (int output = 0; output < numOutputs; ++output)
    {
        outputSums.push_back (allocateSpectrum());
        outputTime.push_back (allocate ((size_t) fftSize));
    }
}

PartitionedConvolver::~PartitionedConvolver()
{
    fftwf_destroy_plan (forwardPlan);
    fftwf_destroy_plan (inversePlan);
}

int PartitionedConvolver::chooseBlockSize (int impulseLength)
{
    // Half the impulse, between 4096 and 16384 samples: a 3.5 s impulse at 48 kHz took as long
    // with blocks of 32768 as of 16384, and the smaller blocks keep the memory down.
    return (int) juce::jlimit (4096, 16384, (int) juce::nextPowerOfTwo (std::max (1, impulseLength / 2)));
}

// FFTW's own allocation gives every array the alignment its vector code wants, the same for the
// arrays the plans were made with and those they are later run on.
float* PartitionedConvolver::allocate (size_t numFloats)
{
    auto* samples = static_cast<float*> (fftwf_malloc (numFloats * sizeof (float)));

    if (samples == nullptr)
        throw std::bad_alloc();

    std::fill (samples, samples + numFloats, 0.0f);
    buffers.push_back ({ std::unique_ptr<float[], Buffer::Free> (samples) });
    return samples;
}

PartitionedConvolver::Spectrum PartitionedConvolver::allocateSpectrum()
{
    return { allocate ((size_t) numBins), allocate ((size_t) numBins) };
}

void PartitionedConvolver::process (const float* const* inputs, float* const* outputs)
{
    // Overlap-save: the transform sees the previous block and this one; only the second half
    // of its inverse is free of the circular wrap.
    newest = (newest + 1) % numPartitions;

    for (int input = 0; input < numInputs; ++input)
    {
        auto* history = inputHistory[(size_t) input];
        std::memmove (history, history + blockSize, (size_t) blockSize * sizeof (float));
        std::memcpy (history + blockSize, inputs[input], (size_t) blockSize * sizeof (float));

        const auto& spectrum = inputSpectra[(size_t) input][(size_t) newest];
        fftwf_execute_split_dft_r2c (forwardPlan, history, spectrum.real, spectrum.imag);
    }

    for (int output = 0; output < numOutputs; ++output)
        computeOutput (output, outputs[output]);
}

void PartitionedConvolver::computeOutput (int output, float* destination)
{
    const auto& sum = outputSums[(size_t) output];
    std::fill (sum.real, sum.real + numBins, 0.0f);
    std::fill (sum.imag, sum.imag + numBins, 0.0f);

    for (auto& path : paths)
    {
        if (path.output != output)
            continue;

        const auto& history = inputSpectra[(size_t) path.input];

        for (int k = 0; k < (int) path.partitions.size(); ++k)
        {
            const auto& x = history[(size_t) ((newest - k + numPartitions) % numPartitions)];
            const auto& h = path.partitions[(size_t) k];
            multiplyAccumulate (x.real, x.imag, h.real, h.imag, sum.real, sum.imag, numBins);
        }
    }

    auto* time = outputTime[(size_t) output];
    fftwf_execute_split_dft_c2r (inversePlan, sum.real, sum.imag, time);
    std::memcpy (destination, time + blockSize, (size_t) blockSize * sizeof (float));
}
