/** @file
    ReadLog: the progress lines of a read.
*/
#pragma once

#include <juce_core/juce_core.h>

/**
    The progress lines of a read. A file of many small records writes a line for each, so
    the lines go into one growing buffer (appending to a String copies it every time), and
    the buffer stops at maxBytes with a last line that says so.
*/
class ReadLog
{
public:
    /** Where the log stops: far more than a sound file's records need, far less than a
        hostile file of tiny records could make it hold.
    */
    static constexpr size_t maxBytes = 1024 * 1024;

    /** Empties the log for a new read. */
    void clear();

    /** Appends anything juce::String can be made of; lines end with the "\n" the caller gives. */
    template <typename Value>
    ReadLog& operator<< (const Value& value)    { return append (juce::String (value)); }

    /** Appends text; once the log would pass maxBytes it keeps nothing more, and its text
        ends with a line that says where it was cut off.
    */
    ReadLog& append (const juce::String& message);

    /** The whole log as text. */
    const juce::String& getText() const;

private:
    juce::MemoryOutputStream bytes;
    bool cutOff = false;
    mutable juce::String text;
    mutable bool textIsCurrent = true;
};
