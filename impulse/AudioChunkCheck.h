#pragma once

#include <juce_core/juce_core.h>

/**
    A look at a WAV or AIFF file's chunk list before the framework's reader takes it. That
    reader allocates each metadata chunk at the length it claims, and turns every cue point,
    sample loop, label and marker into text entries, reading markers past their chunk's end,
    so a file of a few hundred bytes took gigabytes or a second. An impulse needs none of that
    metadata: a chunk that claims more bytes than the file holds, a list of markers or comments
    longer than its chunk, or lists of cue points beyond a size no impulse has, are refused with
    the cause.
*/
class AudioChunkCheck
{
public:
    /** Largest list of cue points, loops, labels or markers read (some 2,700 cue points). */
    static constexpr juce::int64 maxCueListBytes = 64 * 1024;

    /** Empty when the file is neither WAV nor AIFF or its chunks are sound, else the problem. */
    static juce::String findProblem (const juce::File& file);

private:
    static juce::String checkChunks (juce::InputStream& input, juce::int64 fileSize, bool bigEndian);
    static juce::String checkChunk (juce::InputStream& input, const juce::String& id, juce::int64 length);
};
