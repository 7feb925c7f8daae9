/** @file
    ReadLog: the progress lines of a read.
*/
#pragma once

#include <juce_core/juce_core.h>

#include <cstring>

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

    /** Appends a literal; most lines are literals and numbers, and they go into the buffer
        without becoming a String first. Lines end with the "\n" the caller gives.
    */
    ReadLog& operator<< (const char* text)              { return append (text, std::strlen (text)); }

    /** Appends text. */
    ReadLog& operator<< (const juce::String& text)      { return append (text); }

    /** Appends a number in decimal. */
    ReadLog& operator<< (int number)                    { return *this << (juce::int64) number; }

    /** Appends a number in decimal. */
    ReadLog& operator<< (juce::int64 number);

    /** Appends text; once the log would pass maxBytes it keeps nothing more, and its text
        ends with a line that says where it was cut off.
    */
    ReadLog& append (const juce::String& message)      { return append (message.toRawUTF8(), message.getNumBytesAsUTF8()); }

    /** Appends numBytes of UTF-8 text, as append (const juce::String&) does. */
    ReadLog& append (const char* utf8, size_t numBytes);

    /** The whole log as text. */
    const juce::String& getText() const;

private:
    juce::MemoryOutputStream bytes;
    bool cutOff = false;
    mutable juce::String text;
    mutable bool textIsCurrent = true;
};
