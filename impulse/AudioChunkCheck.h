#pragma once

#include <safeio/RegularFileInput.h>

#include <juce_core/juce_core.h>

#include <memory>
#include <vector>

/**
    A look at a WAV or AIFF file's chunk list before the framework's reader takes it. That
    reader allocates each metadata chunk at the length it claims, and turns every cue point,
    sample loop, label and marker into text entries, reading markers past their chunk's end,
    so a file of a few hundred bytes took gigabytes or a second. An impulse needs none of that
    metadata: a chunk that claims more bytes than the file holds, a list of markers or comments
    longer than its chunk, or lists of cue points beyond a size no impulse has, are refused with
    the cause.

    The framework's WAV reader also stops looking for the samples at the first chunk it doesn't
    know that holds nothing, so a valid file with an empty chunk before its samples seemed to
    hold none. The input made for the readers leaves such chunks out.
*/
class AudioChunkCheck
{
public:
    /** Largest list of cue points, loops, labels or markers read (some 2,700 cue points). */
    static constexpr juce::int64 maxCueListBytes = 64 * 1024;

    /** Most empty chunks left out before a WAV file's samples; real files have a few at most. */
    static constexpr int maxEmptyChunks = 256;

    /** Looks through the chunks of the opened file, when it is a WAV or AIFF file; file must
        outlive this object.
    */
    explicit AudioChunkCheck (const RegularFileInput& file);

    /** Empty when the file is neither WAV nor AIFF or its chunks are sound, else the problem. */
    const juce::String& getProblem() const noexcept    { return problem; }

    /** The file for the framework's readers: as it is, but for a WAV file's empty chunks before
        its samples, which are left out; read from the same opened file. nullptr when the system
        refuses a second stream on it.
    */
    std::unique_ptr<juce::InputStream> createInputForReaders() const;

private:
    const RegularFileInput& file;
    juce::String problem;
    std::vector<juce::int64> emptyChunkStarts;

    void checkChunks (juce::InputStream& input, juce::int64 fileSize, bool isWav);
    static juce::String checkChunk (juce::InputStream& input, const juce::String& id, juce::int64 length);
};
