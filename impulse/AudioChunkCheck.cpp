#include "AudioChunkCheck.h"

namespace
{
    enum class Container { none, riff, aiff };

    Container getContainer (const char* bytes)
    {
        if ((std::memcmp (bytes, "RIFF", 4) == 0 || std::memcmp (bytes, "RF64", 4) == 0)
              && std::memcmp (bytes + 8, "WAVE", 4) == 0)
            return Container::riff;

        if (std::memcmp (bytes, "FORM", 4) == 0
              && (std::memcmp (bytes + 8, "AIFF", 4) == 0 || std::memcmp (bytes + 8, "AIFC", 4) == 0))
            return Container::aiff;

        return Container::none;
    }

    bool isCueList (const juce::String& id)
    {
        return id == "cue " || id == "smpl" || id == "LIST" || id == "MARK" || id == "COMT";
    }

    bool isSampleData (const juce::String& id)
    {
        return id == "data" || id == "SSND";
    }

    juce::String describe (const juce::String& id)
    {
        return "Audio file's \"" + id + "\" chunk";
    }
}

juce::String AudioChunkCheck::findProblem (const juce::File& file)
{
    juce::FileInputStream input (file);

    if (! input.openedOk())
        return {};

    char header[12] = {};

    if (input.read (header, (int) sizeof (header)) != (int) sizeof (header))
        return {};

    const auto container = getContainer (header);

    if (container == Container::none)
        return {};

    return checkChunks (input, input.getTotalLength(), container == Container::aiff);
}

// The sample data's own length may be overstated (the frame count deals with that); the
// chunks before and after it must lie within the file.
juce::String AudioChunkCheck::checkChunks (juce::InputStream& input, juce::int64 fileSize, bool bigEndian)
{
    auto position = input.getPosition();

    while (position + 8 <= fileSize)
    {
        char id[4];

        if (input.read (id, 4) != 4)
            break;

        const juce::String chunkId (juce::CharPointer_ASCII::isValidString (id, 4) ? juce::String (id, 4) : juce::String ("?"));
        const auto length = (juce::int64) (juce::uint32) (bigEndian ? input.readIntBigEndian() : input.readInt());
        const auto end = position + 8 + length + (length & 1);

        if (isSampleData (chunkId))
        {
            // RF64 keeps the real length elsewhere, and a length past the end is the last chunk.
            if (length == 0xffffffff || end > fileSize)
                break;
        }
        else
        {
            if (end > fileSize)
                return describe (chunkId) + " claims " + juce::String (length) + " bytes, more than the file holds";

            const auto problem = checkChunk (input, chunkId, length);

            if (problem.isNotEmpty())
                return problem;
        }

        position = end;

        if (! input.setPosition (position))
            break;
    }

    return {};
}

juce::String AudioChunkCheck::checkChunk (juce::InputStream& input, const juce::String& id, juce::int64 length)
{
    if (isCueList (id) && length > maxCueListBytes)
        return describe (id) + " of " + juce::String (length) + " bytes: cue points and markers are read up to "
                 + juce::String (maxCueListBytes) + " bytes";

    // The framework reads every marker or comment the count names, whatever the chunk's
    // length; each takes at least eight bytes.
    if (id == "MARK" || id == "COMT")
    {
        const auto count = length >= 2 ? (juce::int64) (juce::uint16) input.readShortBigEndian() : 0;

        if (length < 2 || 2 + count * 8 > length)
            return describe (id) + " of " + juce::String (length) + " bytes can't hold the "
                     + juce::String (count) + (id == "MARK" ? " markers" : " comments") + " it names";
    }

    return {};
}
