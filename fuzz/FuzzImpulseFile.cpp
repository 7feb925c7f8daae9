// Feeds arbitrary bytes to the impulse file reader. Whatever it reads must also survive a
// save and a second read with the same samples.

#include <VOK_ImpulseFile.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace
{
    /** A folder of this process's own, in RAM where there is one so that the file round
        trips stay cheap; removed when the fuzzer exits.
    */
    struct WorkFolder
    {
        WorkFolder()
        {
            const juce::File shm ("/dev/shm");
            const auto base = shm.isDirectory() ? shm : juce::File::getSpecialLocation (juce::File::tempDirectory);
            folder = base.getChildFile ("vok-fuzz-" + juce::String ((int) getpid()));
            folder.createDirectory();
        }

        ~WorkFolder()   { folder.deleteRecursively(); }

        juce::File folder;
    };

    bool haveSameSamples (const VOK_VokSampleBuffer& a, const VOK_VokSampleBuffer& b)
    {
        if (a.getNumChannels() != b.getNumChannels() || a.getNumSamples() != b.getNumSamples())
            return false;

        for (int c = 0; c < a.getNumChannels(); ++c)
            if (std::memcmp (a.getReadPointer (c), b.getReadPointer (c), (size_t) a.getNumSamples() * sizeof (float)) != 0)
                return false;

        return true;
    }
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    static const WorkFolder work;
    const auto& folder = work.folder;
    const auto input = folder.getChildFile ("input.vok");
    const auto copy = folder.getChildFile ("copy.vok");

    if (! input.replaceWithData (data, size))
        std::abort();

    VOK_ImpulseFile impulse;
    impulse.readFile (input.getFullPathName());

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
