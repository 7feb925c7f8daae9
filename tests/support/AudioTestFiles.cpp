#include "AudioTestFiles.h"

#include <algorithm>
#include <cstring>

juce::AudioBuffer<float> AudioTestFiles::createSignal (int numChannels, int numFrames, double sampleRate)
{
    juce::AudioBuffer<float> signal (numChannels, numFrames);

    for (int channel = 0; channel < numChannels; ++channel)
    {
        const auto frequency = 220.0 * (channel + 1) + 37.0 * channel;
        auto* samples = signal.getWritePointer (channel);

        for (int i = 0; i < numFrames; ++i)
        {
            const auto t = i / sampleRate;
            samples[i] = (float) (0.8 * std::exp (-3.0 * t) * std::sin (juce::MathConstants<double>::twoPi * frequency * t));
        }
    }

    return signal;
}

bool AudioTestFiles::writeAudioFile (const juce::File& file, juce::AudioFormat& format,
                                       const juce::AudioBuffer<float>& samples, double sampleRate, int bitsPerSample)
{
    file.deleteFile();
    auto stream = file.createOutputStream();

    if (stream == nullptr)
        return false;

    std::unique_ptr<juce::AudioFormatWriter> writer (format.createWriterFor (stream.get(), sampleRate,
                                                                             (unsigned int) samples.getNumChannels(),
                                                                             bitsPerSample, {}, 5));
    if (writer == nullptr)
        return false;

    stream.release();
    return writer->writeFromAudioSampleBuffer (samples, 0, samples.getNumSamples());
}

std::unique_ptr<juce::AudioBuffer<float>> AudioTestFiles::readWithJuce (const juce::File& file)
{
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();

    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (file));

    if (reader == nullptr)
        return nullptr;

    auto buffer = std::make_unique<juce::AudioBuffer<float>> ((int) reader->numChannels, (int) reader->lengthInSamples);
    reader->read (buffer.get(), 0, buffer->getNumSamples(), 0, true, true);
    return buffer;
}

bool AudioTestFiles::canClaimMoreThanMemory()
{
    return juce::SystemStats::getMemorySizeInMegabytes() < 100 * 1024;
}

bool AudioTestFiles::writeFlacClaimingHugeLength (const juce::File& file)
{
    juce::FlacAudioFormat flac;

    if (! writeAudioFile (file, flac, createSignal (8, 64, 48000.0), 48000.0, 16))
        return false;

    juce::MemoryBlock bytes;

    if (! file.loadFileAsData (bytes) || bytes.getSize() < 42 || findBytes (bytes, "fLaC", 4) != 0)
        return false;

    // Stream info follows the 4-byte marker and 4-byte block header; its 36-bit total
    // sample count takes the low 4 bits of byte 13 and bytes 14 to 17.
    auto* streamInfo = static_cast<juce::uint8*> (bytes.getData()) + 8;
    streamInfo[13] |= 0x0f;

    for (int i = 14; i < 18; ++i)
        streamInfo[i] = 0xff;

    return file.replaceWithData (bytes.getData(), bytes.getSize());
}

int AudioTestFiles::findBytes (const juce::MemoryBlock& block, const char* bytes, size_t numBytes)
{
    const auto* begin = static_cast<const char*> (block.getData());
    const auto* end = begin + block.getSize();
    const auto* found = std::search (begin, end, bytes, bytes + numBytes);
    return found == end ? -1 : (int) (found - begin);
}

bool AudioTestFiles::haveSameSamples (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    if (a.getNumChannels() != b.getNumChannels() || a.getNumSamples() != b.getNumSamples())
        return false;

    for (int channel = 0; channel < a.getNumChannels(); ++channel)
        if (std::memcmp (a.getReadPointer (channel), b.getReadPointer (channel),
                         (size_t) a.getNumSamples() * sizeof (float)) != 0)
            return false;

    return true;
}
