// Feeds arbitrary bytes to the impulse file reader. Whatever it reads must also survive a
// save and a second read with the same samples; read for its header alone or with the
// samples kept as stored, it must give the same log and save to the same bytes, and the same
// result, but that a read for the header alone needs only the header.

#include "FuzzWorkFolder.h"

#include <impulse/VOK_ImpulseFile.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{
    bool haveSameSamples (const VOK_VokSampleBuffer& a, const VOK_VokSampleBuffer& b)
    {
        if (a.getNumChannels() != b.getNumChannels() || a.getNumSamples() != b.getNumSamples())
            return false;

        for (int c = 0; c < a.getNumChannels(); ++c)
            if (std::memcmp (a.getReadPointer (c), b.getReadPointer (c), (size_t) a.getNumSamples() * sizeof (float)) != 0)
                return false;

        return true;
    }

    juce::MemoryBlock savedBytes (VOK_ImpulseFile& impulse)
    {
        juce::MemoryOutputStream out;

        if (! impulse.writeToStream (out))
            std::abort();

        return out.getMemoryBlock();
    }

    void expectSameReading (VOK_ImpulseFile& decoded, bool result, const juce::File& input)
    {
        for (auto samples : { VOK_ImpulseFile::SampleReading::keepStored, VOK_ImpulseFile::SampleReading::skip })
        {
            VOK_ImpulseFile other;
            const bool otherResult = other.readFile (input.getFullPathName(), samples);
            const bool resultDiffers = samples == VOK_ImpulseFile::SampleReading::skip
                                         ? (result && ! otherResult) || (otherResult && decoded.getFormatState() != VOK_ImpulseFile::readFromFile)
                                         : otherResult != result;

            if (resultDiffers || other.getReadLog() != decoded.getReadLog())
            {
                std::fprintf (stderr, "Reads differ by how the samples are taken:\n%s\n--- other:\n%s\n",
                              decoded.getReadLog().toRawUTF8(), other.getReadLog().toRawUTF8());
                std::abort();
            }

            if (samples == VOK_ImpulseFile::SampleReading::keepStored && other.getFormatState() == VOK_ImpulseFile::readFromFile
                 && savedBytes (other) != savedBytes (decoded))
            {
                std::fprintf (stderr, "Samples kept as stored save differently\n");
                std::abort();
            }
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    static const FuzzWorkFolder work ("vok-fuzz-");
    const auto& folder = work.folder;
    const auto input = folder.getChildFile ("input.vok");
    const auto copy = folder.getChildFile ("copy.vok");

    if (! input.replaceWithData (data, size))
        std::abort();

    VOK_ImpulseFile impulse;
    const bool result = impulse.readFile (input.getFullPathName());
    expectSameReading (impulse, result, input);

    if (impulse.getFormatState() != VOK_ImpulseFile::readFromFile)
        return 0;

    if (! impulse.saveToFile (copy.getFullPathName()))
        std::abort();

    VOK_ImpulseFile again;
    again.readFile (copy.getFullPathName());

    if (again.getSamplePool() == nullptr || ! haveSameSamples (*impulse.getSamplePool(), *again.getSamplePool()))
    {
        std::fprintf (stderr, "Saved file reads back differently:\n%s\n--- second read:\n%s\n",
                      impulse.getReadLog().toRawUTF8(), again.getReadLog().toRawUTF8());
        std::abort();
    }

    return 0;
}
