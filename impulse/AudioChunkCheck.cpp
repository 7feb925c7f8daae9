#include "AudioChunkCheck.h"

#include <algorithm>
#include <iterator>

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

    // The chunks the framework's WAV reader needs even when empty: it reads them at fixed
    // places or takes their length as the samples'.
    bool isNeededEvenEmpty (const juce::String& id)
    {
        return id == "ds64" || id == "fmt " || id == "data";
    }

    /** A stream read as if some ranges of its source (in order, apart from one another) were
        not there: positions and the length are those of what remains.
    */
    class InputLeavingOut  : public juce::InputStream
    {
    public:
        InputLeavingOut (std::unique_ptr<juce::InputStream> sourceToUse, const std::vector<juce::Range<juce::int64>>& leftOut)
            : source (std::move (sourceToUse))
        {
            juce::int64 removed = 0;

            for (auto& range : leftOut)
            {
                removed += range.getLength();
                gaps.push_back ({ range.getEnd() - removed, removed });
            }

            length = juce::jmax ((juce::int64) 0, source->getTotalLength() - removed);
        }

        juce::int64 getTotalLength() override   { return length; }
        juce::int64 getPosition() override      { return position; }
        bool isExhausted() override             { return position >= length; }

        bool setPosition (juce::int64 newPosition) override
        {
            position = juce::jlimit ((juce::int64) 0, length, newPosition);
            return true;
        }

        int read (void* destBuffer, int maxBytesToRead) override
        {
            auto* dest = static_cast<char*> (destBuffer);
            int numRead = 0;

            while (numRead < maxBytesToRead && position < length)
            {
                // Gaps at or before the position lie behind it; the next one ends this piece.
                const auto next = std::upper_bound (gaps.begin(), gaps.end(), position,
                                                    [] (juce::int64 p, const Gap& gap) { return p < gap.position; });
                const auto removedBefore = next == gaps.begin() ? 0 : std::prev (next)->removedUpToHere;
                const auto pieceEnd = next == gaps.end() ? length : next->position;
                const auto wanted = (int) juce::jmin ((juce::int64) (maxBytesToRead - numRead), pieceEnd - position);

                if (! source->setPosition (position + removedBefore))
                    break;

                const auto got = source->read (dest + numRead, wanted);

                if (got <= 0)
                    break;

                numRead += got;
                position += got;
            }

            return numRead;
        }

    private:
        struct Gap
        {
            juce::int64 position;           // where it was, in this stream's positions
            juce::int64 removedUpToHere;    // bytes of the source left out, this gap's included
        };

        std::unique_ptr<juce::InputStream> source;
        std::vector<Gap> gaps;
        juce::int64 length = 0, position = 0;
    };
}

AudioChunkCheck::AudioChunkCheck (const RegularFileInput& fileToCheck)
    : file (fileToCheck)
{
    auto opened = file.openAgain();

    if (opened == nullptr)
        return;

    auto& input = *opened;

    char header[12] = {};

    if (input.read (header, (int) sizeof (header)) != (int) sizeof (header))
        return;

    const auto container = getContainer (header);

    if (container != Container::none)
        checkChunks (input, input.getTotalLength(), container == Container::riff);
}

std::unique_ptr<juce::InputStream> AudioChunkCheck::createInputForReaders() const
{
    std::unique_ptr<juce::InputStream> input = file.openAgain();

    if (input == nullptr)
        return nullptr;

    if (emptyChunkStarts.empty())
        return input;

    std::vector<juce::Range<juce::int64>> leftOut;

    for (auto start : emptyChunkStarts)
        leftOut.push_back (juce::Range<juce::int64>::withStartAndLength (start, 8));

    return std::make_unique<InputLeavingOut> (std::move (input), leftOut);
}

// The sample data's own length may be overstated (the frame count deals with that); the
// chunks before and after it must lie within the file.
void AudioChunkCheck::checkChunks (juce::InputStream& input, juce::int64 fileSize, bool isWav)
{
    auto position = input.getPosition();
    bool samplesFound = false;

    while (position + 8 <= fileSize)
    {
        char id[4];

        if (input.read (id, 4) != 4)
            break;

        const juce::String chunkId (juce::CharPointer_ASCII::isValidString (id, 4) ? juce::String (id, 4) : juce::String ("?"));
        const auto length = (juce::int64) (juce::uint32) (isWav ? input.readInt() : input.readIntBigEndian());
        const auto end = position + 8 + length + (length & 1);

        if (isSampleData (chunkId))
        {
            // RF64 keeps the real length elsewhere, and a length past the end is the last chunk.
            if (length == 0xffffffff || end > fileSize)
                break;

            samplesFound = true;
        }
        else
        {
            if (end > fileSize)
            {
                problem = describe (chunkId) + " claims " + juce::String (length) + " bytes, more than the file holds";
                return;
            }

            problem = checkChunk (input, chunkId, length);

            if (problem.isNotEmpty())
                return;

            if (isWav && ! samplesFound && length == 0 && ! isNeededEvenEmpty (chunkId))
            {
                if ((int) emptyChunkStarts.size() == maxEmptyChunks)
                {
                    problem = "Audio file with more than " + juce::String (maxEmptyChunks) + " empty chunks before its samples";
                    return;
                }

                emptyChunkStarts.push_back (position);
            }
        }

        position = end;

        if (! input.setPosition (position))
            break;
    }
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
