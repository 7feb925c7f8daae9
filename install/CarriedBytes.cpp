#include "CarriedBytes.h"
#include "ProgramImage.h"

#include <safeio/FileReplacement.h>

namespace
{
    // The bytes go to the file in pieces of this size, each straight from the caller's memory,
    // so that no copy of a whole impulse is made.
    constexpr size_t writeChunkSize = 1 << 20;

    bool writeInChunks (juce::OutputStream& out, const char* data, size_t size)
    {
        for (size_t written = 0; written < size;)
        {
            const auto chunk = juce::jmin (writeChunkSize, size - written);

            if (! out.write (data + written, chunk))
                return false;

            written += chunk;
        }

        return true;
    }
}

bool CarriedBytes::Output::write (const void* data, size_t numBytes)
{
    // Headers and presets come in small writes, never from the program's file.
    constexpr size_t smallestCarried = 64 * 1024;

    return numBytes < smallestCarried ? output.write (data, numBytes)
                                      : CarriedBytes::write (output, static_cast<const char*> (data), numBytes);
}

bool CarriedBytes::write (juce::OutputStream& output, const char* data, size_t size)
{
    const auto& image = ProgramImage::getInstance();
    const auto fileOffset = image.findFileOffset (data, size);
    size_t copied = 0;

    if (fileOffset >= 0)
    {
        copied = (size_t) FileReplacement::copyFromFile (image.getFileHandle(), fileOffset, output, (juce::int64) size);
        ProgramImage::mapIn (data + copied, size - copied);
    }

    return writeInChunks (output, data + copied, size - copied);
}
