#include "WavChunkCheck.h"

namespace
{
    bool isWavHeader (const char* bytes)
    {
        return (std::memcmp (bytes, "RIFF", 4) == 0 || std::memcmp (bytes, "RF64", 4) == 0)
                 && std::memcmp (bytes + 8, "WAVE", 4) == 0;
    }

    bool isMetadataChunk (const juce::String& id)
    {
        return id == "cue " || id == "smpl" || id == "LIST" || id == "bext" || id == "inst" || id == "INST"
                || id == "acid" || id == "axml" || id == "iXML" || id == "Trkn";
    }

    juce::String describe (const juce::String& id)
    {
        return "WAV file's \"" + id + "\" chunk";
    }
}

juce::String WavChunkCheck::findProblem (const juce::File& file)
{
    juce::FileInputStream input (file);

    if (! input.openedOk())
        return {};

    char header[12] = {};

    if (input.read (header, (int) sizeof (header)) != (int) sizeof (header) || ! isWavHeader (header))
        return {};

    return checkChunks (input, input.getTotalLength());
}

// The sample data's own length may be overstated (the frame count deals with that); the
// chunks before and after it must lie within the file.
juce::String WavChunkCheck::checkChunks (juce::InputStream& input, juce::int64 fileSize)
{
    auto position = input.getPosition();

    while (position + 8 <= fileSize)
    {
        char id[4];

        if (input.read (id, 4) != 4)
            break;

        const juce::String chunkId (juce::CharPointer_ASCII::isValidString (id, 4) ? juce::String (id, 4) : juce::String ("?"));
        const auto length = (juce::int64) (juce::uint32) input.readInt();
        const auto end = position + 8 + length + (length & 1);

        if (chunkId == "data")
        {
            // RF64 keeps the real length elsewhere, and a length past the end is the last chunk.
            if (length == 0xffffffff || end > fileSize)
                break;
        }
        else
        {
            if (end > fileSize)
                return describe (chunkId) + " claims " + juce::String (length) + " bytes, more than the file holds";

            if (isMetadataChunk (chunkId) && length > maxMetadataChunkBytes)
                return describe (chunkId) + " of " + juce::String (length) + " bytes: metadata is read up to "
                         + juce::String (maxMetadataChunkBytes) + " bytes";
        }

        position = end;

        if (! input.setPosition (position))
            break;
    }

    return {};
}
