// Writes the FLAC and Ogg Vorbis seeds of the audio import corpus with the framework's own
// writers (run by hand; its output is committed). Each seed starts with the byte that
// makes the fuzzer give the file its extension.
//   make_audio_fuzz_corpus fuzz/corpus-audio

#include <juce_audio_formats/juce_audio_formats.h>

#include <cmath>
#include <memory>

namespace
{
    bool writeSeed (const juce::File& folder, const juce::String& name, juce::uint8 extensionIndex,
                    juce::AudioFormat& format, int bitsPerSample, int quality)
    {
        juce::AudioBuffer<float> signal (2, 256);

        for (int c = 0; c < signal.getNumChannels(); ++c)
            for (int i = 0; i < signal.getNumSamples(); ++i)
                signal.setSample (c, i, 0.5f * std::sin (0.1f * (float) (i * (c + 1))) * std::exp (-0.01f * (float) i));

        // The writer owns and deletes its stream, so it writes a file whose bytes are then taken.
        const juce::TemporaryFile encoded;

        {
            std::unique_ptr<juce::AudioFormatWriter> writer (format.createWriterFor (new juce::FileOutputStream (encoded.getFile()),
                                                                                     48000.0, 2, bitsPerSample, {}, quality));
            if (writer == nullptr)
                return false;

            writer->writeFromAudioSampleBuffer (signal, 0, signal.getNumSamples());
        }

        juce::MemoryBlock bytes (1, true);
        bytes[0] = (char) extensionIndex;
        juce::MemoryBlock audio;

        if (! encoded.getFile().loadFileAsData (audio))
            return false;

        bytes.append (audio.getData(), audio.getSize());
        return folder.getChildFile (name).replaceWithData (bytes.getData(), bytes.getSize());
    }
}

int main (int argc, char* argv[])
{
    if (argc != 2)
        return 2;

    const juce::File folder (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));
    juce::FlacAudioFormat flac;
    juce::OggVorbisAudioFormat ogg;

    return writeSeed (folder, "flac-stereo-16", 2, flac, 16, 0) && writeSeed (folder, "ogg-stereo", 3, ogg, 16, 0) ? 0 : 1;
}
