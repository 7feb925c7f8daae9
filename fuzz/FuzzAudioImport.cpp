// Feeds arbitrary bytes to audio import as "vok from-audio" takes them: the file is given
// each extension the import knows, since the framework tries the matching format first.
// Whatever is imported must hold what the file can: finite samples, a bounded length.

#include "FuzzWorkFolder.h"

#include <impulse/VOK_ImpulseFile.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    static const FuzzWorkFolder work ("vok-fuzz-audio-");

    // The first byte picks the extension, so that each format's reader is reached directly.
    static const char* const extensions[] = { "wav", "aiff", "flac", "ogg" };

    if (size < 1)
        return 0;

    const auto input = work.folder.getChildFile ("input").withFileExtension (extensions[data[0] % 4]);

    if (! input.replaceWithData (data + 1, size - 1))
        std::abort();

    VOK_ImpulseFile impulse;

    try
    {
        if (! impulse.loadFromFile (input.getFullPathName()))
            return 0;
    }
    catch (const VokMemoryException&)
    {
        return 0;
    }

    const auto* pool = impulse.getSamplePool();

    if (pool == nullptr || pool->getNumSamples() > maxImpulseFrames)
        std::abort();

    for (int c = 0; c < pool->getNumChannels(); ++c)
        for (int i = 0; i < pool->getNumSamples(); ++i)
            if (! std::isfinite (pool->getSample (c, i)))
                std::abort();

    return 0;
}
