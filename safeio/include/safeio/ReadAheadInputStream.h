/** @file
    ReadAheadInputStream: a read-ahead buffer in front of a file stream.
*/
#pragma once

#include <safeio/RegularFileInput.h>

#include <juce_core/juce_core.h>

/**
    A read-ahead buffer in front of a file stream, for a reader that alternates short fields
    with long payloads. Short reads and small steps back within the buffer cost no system
    call; a read at least as long as the buffer goes straight to the source, so sample data
    is not copied twice. The framework's BufferedInputStream passes every read through its
    buffer, which is what the payloads must avoid.

    In front of a file, a long read fills the buffer with what follows in the same system
    call, so the short fields after a payload cost none either.
*/
class ReadAheadInputStream  : public juce::InputStream
{
public:
    /** Reads source, which must outlive this stream, from its current position. */
    ReadAheadInputStream (juce::InputStream& source, int bufferSize = 16384);

    /** Reads a file, which must outlive this stream, from its current position; a long read
        fills the buffer with what follows in the same system call.
    */
    ReadAheadInputStream (RegularFileInput& source, int bufferSize = 16384);

    /** The source's length. */
    juce::int64 getTotalLength() override;

    /** The position in the source of the next byte read. */
    juce::int64 getPosition() override;

    /** Moves within the buffer when it holds newPosition, otherwise moves the source. */
    bool setPosition (juce::int64 newPosition) override;

    /** Reads from the buffer, or straight from the source for a read as long as the buffer. */
    int read (void* destBuffer, int maxBytesToRead) override;

    /** True at the end of the source. */
    bool isExhausted() override;

private:
    int readFromBuffer (char* dest, int maxBytes);
    bool refill();

    juce::InputStream& source;
    RegularFileInput* const file = nullptr;
    juce::HeapBlock<char> buffer;
    const int bufferSize;
    juce::int64 bufferStart = 0;     // the source position of buffer[0]
    int bufferedBytes = 0;
    juce::int64 position = 0;

    JUCE_DECLARE_NON_COPYABLE (ReadAheadInputStream)
};
