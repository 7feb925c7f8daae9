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
    static constexpr size_t maxBytes = 1024 * 1024;

    void clear();

    template <typename Value>
    ReadLog& operator<< (const Value& value)    { return append (juce::String (value)); }

    ReadLog& append (const juce::String& message);

    /** The whole log as text. */
    const juce::String& getText() const;

private:
    juce::MemoryOutputStream bytes;
    bool cutOff = false;
    mutable juce::String text;
    mutable bool textIsCurrent = true;
};
