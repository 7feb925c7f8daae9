#pragma once

#include <fftw3.h>

#include <memory>
#include <vector>

#include <juce_audio_basics/juce_audio_basics.h>

/**
    Convolves a few input channels with impulse paths into a few output channels, a block at a
    time: uniformly partitioned convolution by overlap-save in the frequency domain.

    Each path's impulse is cut into partitions of one block, each kept as the spectrum of a
    transform of two blocks; every input block is transformed once, and an output block is the
    inverse transform of the sum, over its paths and their partitions, of the spectra of past
    input blocks times the partitions' spectra. Memory is that of the impulse's spectra and a
    block or two, whatever the length of what is convolved.

    Spectra are kept as separate real and imaginary arrays, so that the multiply-accumulate,
    where most of the time goes with long impulses, is plain loops over floats that the compiler
    vectorises. It runs on one thread: a second one, computing the second output, saved nothing
    measurable with blocks of 16384 and cost time with small blocks on a busy machine.
*/
class PartitionedConvolver
{
public:
    /** One path from an input to an output, scaled by gain. */
    struct Path
    {
        int input = 0, output = 0;
        const float* samples = nullptr;
        int numSamples = 0;
        float gain = 1.0f;
    };

    /** The paths' samples are copied into their spectra; blockSize must be a power of two. */
    PartitionedConvolver (int numInputs, int numOutputs, const std::vector<Path>& paths, int blockSize);
    ~PartitionedConvolver();

    int getBlockSize() const noexcept       { return blockSize; }

    /** A block size that suits an impulse of that length: large blocks cost fewer operations
        per sample in the multiply-accumulate, but a transform larger than the caches costs more.
    */
    static int chooseBlockSize (int impulseLength);

    /** Takes one block of every input and gives the next block of every output: output sample n
        is the sum over its paths of input[k] * path[n - k].
    */
    void process (const float* const* inputs, float* const* outputs);

private:
    struct Spectrum
    {
        float* real;
        float* imag;
    };

    struct PathSpectra
    {
        int input, output;
        std::vector<Spectrum> partitions;
    };

    struct Buffer
    {
        struct Free { void operator() (float* p) const noexcept { fftwf_free (p); } };
        std::unique_ptr<float[], Free> samples;
    };

    const int numInputs, numOutputs, blockSize, fftSize, numBins;
    int numPartitions = 1, newest = 0;

    std::vector<Buffer> buffers;
    std::vector<float*> inputHistory;        // per input: the last two blocks
    std::vector<std::vector<Spectrum>> inputSpectra;   // per input: the spectra of its last blocks, a ring
    std::vector<Spectrum> outputSums;        // per output
    std::vector<float*> outputTime;          // per output
    std::vector<PathSpectra> paths;

    fftwf_plan forwardPlan = nullptr, inversePlan = nullptr;

    float* allocate (size_t numFloats);
    Spectrum allocateSpectrum();
    void computeOutput (int output, float* destination);

    JUCE_DECLARE_NON_COPYABLE (PartitionedConvolver)
};
