#pragma once

#include <juce_core/juce_core.h>

/**
    A look at a WAV file's chunk list before the framework's reader takes it. That reader
    allocates each metadata chunk at the length it claims and turns every cue point, sample
    loop and label of it into text entries, so a small file that claims a huge chunk takes
    gigabytes. An impulse needs none of that metadata: a chunk that claims more bytes than the
    file holds, or metadata beyond a size no real file has, is refused with its cause.
*/
class WavChunkCheck
{
public:
    /** Largest metadata chunk read (a megabyte is some 40,000 cue points). */
    static constexpr juce::int64 maxMetadataChunkBytes = 1024 * 1024;

    /** Empty when the file is not a WAV file or its chunks are sound, else the problem. */
    static juce::String findProblem (const juce::File& file);

private:
    static juce::String checkChunks (juce::InputStream& input, juce::int64 fileSize);
};
