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
    static constexpr size_t maxBytes = 1024 * 1024;

    void clear();

    // Most lines are literals and numbers: they go into the buffer without becoming a String.
    ReadLog& operator<< (const char* text)              { return append (text, std::strlen (text)); }
    ReadLog& operator<< (const juce::String& text)      { return append (text); }
    ReadLog& operator<< (int number)                    { return *this << (juce::int64) number; }
    ReadLog& operator<< (juce::int64 number);

    ReadLog& append (const juce::String& message)      { return append (message.toRawUTF8(), message.getNumBytesAsUTF8()); }

    /** Appends numBytes of UTF-8 text. */
    ReadLog& append (const char* utf8, size_t numBytes);

    /** The whole log as text. */
    const juce::String& getText() const;

private:
    juce::MemoryOutputStream bytes;
    bool cutOff = false;
    mutable juce::String text;
    mutable bool textIsCurrent = true;
};
