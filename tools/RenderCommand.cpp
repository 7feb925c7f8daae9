// vok render IMPULSE.vok DRY OUT.wav: a dry recording heard in the impulse's room, written as a
// stereo 32-bit float WAV file, the recording streamed through a block at a time.

#include "Command.h"
#include "FloatWavReplacement.h"
#include "ImpulseResampler.h"
#include "PartitionedConvolver.h"
#include "RenderProgress.h"

#include <impulse/CheckedAudioReader.h>

#include <juce_audio_formats/juce_audio_formats.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <locale>
#include <optional>
#include <sstream>

namespace
{
    struct Options
    {
        juce::File impulse, dry, output;
        double wetDecibels = 0.0;
        double dryDecibels = -std::numeric_limits<double>::infinity();    // off
    };

    // A number with a decimal point whatever the user's locale; levels beyond these are typing
    // mistakes: +120 dB would clip anything, -240 dB is silence.
    bool parseDecibels (const juce::String& text, double& decibels)
    {
        std::istringstream in (text.toStdString());
        in.imbue (std::locale::classic());
        in >> decibels;
        return ! in.fail() && in.peek() == std::char_traits<char>::eof() && decibels >= -240.0 && decibels <= 120.0;
    }

    std::optional<Options> parse (const juce::StringArray& arguments)
    {
        Options options;
        juce::Array<juce::File> files;

        for (int i = 0; i < arguments.size(); ++i)
        {
            const auto& argument = arguments[i];

            if (argument == "--wet" || argument == "--dry")
            {
                if (++i >= arguments.size()
                     || ! parseDecibels (arguments[i], argument == "--wet" ? options.wetDecibels : options.dryDecibels))
                    return {};
            }
            else if (argument.isEmpty() || argument.startsWith ("--") || files.size() == 3)
            {
                return {};
            }
            else
            {
                files.add (Command::getFileArgument (argument));
            }
        }

        if (files.size() != 3)
            return {};

        options.impulse = files[0];
        options.dry     = files[1];
        options.output  = files[2];
        return options;
    }

    float toGain (double decibels)
    {
        return std::isfinite (decibels) ? (float) std::pow (10.0, decibels / 20.0) : 0.0f;
    }

    //==============================================================================
    // Rates outside these are no recording's; within them an impulse of maxImpulseSeconds keeps
    // its spectra within a few hundred megabytes.
    constexpr int lowestRate = 8000, highestRate = 192000;
    constexpr int maxImpulseSeconds = 60;

    // The output is a plain WAV file, whose sizes are 32-bit: at most 4 GiB of stereo floats.
    constexpr juce::int64 maxOutputFrames = ((juce::int64) 1 << 32) / (2 * sizeof (float)) - 64;

    int checkRate (double rate, const juce::File& file)
    {
        if (! (rate >= lowestRate && rate <= highestRate && rate == std::floor (rate)))
            throw Command::Failure { file.getFullPathName() + ": unusable sample rate " + juce::String (rate)
                                       + " (render takes whole rates from " + juce::String (lowestRate) + " to "
                                       + juce::String (highestRate) + " Hz)" };
        return (int) rate;
    }

    /** An impulse's paths, at the recording's rate. */
    struct ImpulsePaths
    {
        std::vector<std::vector<float>> channels;
        int length = 0;
    };

    ImpulsePaths loadImpulsePaths (const juce::File& file, int dryRate)
    {
        VOK_ImpulseFile impulse;
        Command::loadImpulse (impulse, file);
        const auto* pool = impulse.getSamplePool();
        const auto numChannels = pool != nullptr ? pool->getNumChannels() : 0;

        if (numChannels != 2 && numChannels != 4)
            throw Command::Failure { file.getFullPathName() + ": an impulse of " + juce::String (numChannels)
                                       + " channels (render takes 2, stereo, or 4, true stereo)" };

        if (pool->getNumSamples() <= 0)
            throw Command::Failure { "No samples in " + file.getFullPathName() };

        const auto impulseRate = checkRate (pool->sampleRate, file);
        const auto length = ImpulseResampler::getResampledLength (pool->getNumSamples(), impulseRate, dryRate);

        if (length > maxImpulseSeconds * dryRate)
            throw Command::Failure { file.getFullPathName() + ": an impulse longer than " + juce::String (maxImpulseSeconds)
                                       + " seconds" };

        ImpulsePaths paths { {}, length };

        for (int channel = 0; channel < numChannels; ++channel)
        {
            const auto* samples = pool->getReadPointer (channel);

            if (! std::all_of (samples, samples + pool->getNumSamples(), [] (float s) { return std::isfinite (s); }))
                throw Command::Failure { file.getFullPathName() + ": the impulse holds samples that are not finite numbers (NaN or infinity)" };

            if (impulseRate == dryRate)
                paths.channels.emplace_back (samples, samples + pool->getNumSamples());
            else
                paths.channels.push_back (ImpulseResampler::resample (samples, pool->getNumSamples(), impulseRate, dryRate));
        }

        return paths;
    }

    /** Stereo: the left input through the first path into the left output, the right through
        the second into the right. True stereo (the pack's order: L->L, L->R, R->L, R->R): each
        input into both outputs.
    */
    std::vector<PartitionedConvolver::Path> routePaths (const ImpulsePaths& impulse, float gain)
    {
        const bool trueStereo = impulse.channels.size() == 4;
        std::vector<PartitionedConvolver::Path> paths;

        for (int channel = 0; channel < (int) impulse.channels.size(); ++channel)
        {
            const auto input  = trueStereo ? channel / 2 : channel;
            const auto output = trueStereo ? channel % 2 : channel;
            paths.push_back ({ input, output, impulse.channels[(size_t) channel].data(), impulse.length, gain });
        }

        return paths;
    }

    //==============================================================================
    /** The dry recording, opened as every audio input is (see CheckedAudioReader). */
    struct DryRecording
    {
        explicit DryRecording (const juce::File& file)
            : audio (file)
        {
            if (RegularFileInput::getKindOf (file) == RegularFileInput::Kind::missing)
                throw Command::Failure { "File not found: " + file.getFullPathName() };

            reader = audio.getReader();

            if (reader == nullptr)
                throw Command::Failure { audio.getFailure().isNotEmpty()
                                           ? audio.getFailure()
                                           : "Can't read " + file.getFullPathName() + ": not an audio file of a known format" };

            numChannels = audio.getNumChannels();

            if (numChannels != 1 && numChannels != 2)
                throw Command::Failure { file.getFullPathName() + ": a recording of " + juce::String (numChannels)
                                           + " channels (render takes 1 or 2)" };

            rate = checkRate (reader->sampleRate, file);

            // The frames the file really holds. A header that claims more (a recording cut short,
            // or a length made up) leaves the recording's end unknown: it is refused rather
            // than rendered shorter than its header says.
            numFrames = audio.countFrames();

            if (numFrames <= 0)
                throw Command::Failure { "No samples in " + file.getFullPathName() };

            if (reader->lengthInSamples > numFrames)
                throw Command::Failure { file.getFullPathName() + ": its header claims " + juce::String (reader->lengthInSamples)
                                           + " frames, but the file holds only " + juce::String (numFrames) };
        }

        CheckedAudioReader audio;
        juce::AudioFormatReader* reader = nullptr;
        int numChannels = 0, rate = 0;
        juce::int64 numFrames = 0;
    };

    //==============================================================================
    /** Streams the recording through the convolver into the writer, a block at a time, the
        dry signal mixed in at its level.
    */
    bool render (DryRecording& dry, PartitionedConvolver& convolver, float dryGain, juce::int64 outputFrames,
                 juce::AudioFormatWriter& writer)
    {
        const auto blockSize = convolver.getBlockSize();
        juce::AudioBuffer<float> input (dry.numChannels, blockSize), output (2, blockSize);
        const float* inputs[2] { input.getReadPointer (0), input.getReadPointer (dry.numChannels - 1) };
        RenderProgress progress (outputFrames);

        for (juce::int64 position = 0; position < outputFrames; position += blockSize)
        {
            const auto numDry = (int) juce::jlimit ((juce::int64) 0, (juce::int64) blockSize, dry.numFrames - position);
            input.clear();

            if (numDry > 0 && ! dry.reader->read (&input, 0, numDry, position, true, true))
                return false;

            convolver.process (inputs, output.getArrayOfWritePointers());

            for (int channel = 0; channel < 2 && dryGain != 0.0f; ++channel)
                output.addFrom (channel, 0, inputs[channel], numDry, dryGain);

            const auto numToWrite = (int) std::min ((juce::int64) blockSize, outputFrames - position);

            if (! writer.writeFromAudioSampleBuffer (output, 0, numToWrite))
                return false;

            progress.update (position + numToWrite);
        }

        progress.finish();
        return true;
    }
}

bool Command::acceptsRenderArguments (const juce::StringArray& arguments)
{
    return parse (arguments).has_value();
}

int Command::runRender (const juce::StringArray& arguments) const
{
    const auto options = *parse (arguments);

    DryRecording dry (options.dry);
    const auto impulse = loadImpulsePaths (options.impulse, dry.rate);
    const auto outputFrames = dry.numFrames + impulse.length - 1;

    if (outputFrames > maxOutputFrames)
        throw Failure { options.dry.getFullPathName() + ": a recording of " + juce::String (dry.numFrames)
                          + " frames, too long for a WAV file once the room's tail is added" };

    PartitionedConvolver convolver (2, 2, routePaths (impulse, toGain (options.wetDecibels)),
                                    PartitionedConvolver::chooseBlockSize (impulse.length));

    const auto lock = lockToReplace (options.output);
    FloatWavReplacement wav (options.output, dry.rate, 2);
    wav.replaceTarget (render (dry, convolver, toGain (options.dryDecibels), outputFrames, wav.getWriter()),
                       "the recording could not be read to its end");
    return success;
}
