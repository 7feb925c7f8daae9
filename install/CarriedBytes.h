#pragma once

#include <juce_core/juce_core.h>

/**
    Writes bytes that the program may carry in its own file (the pack) to a new file.

    Where they lie in the program's file (ProgramImage), the system copies them from there,
    file to file, into a FileReplacement's stream; what it can't copy is written from memory,
    its pages made present first. Other bytes, and other streams, are simply written. The
    written file is the same either way; only the time it takes differs.
*/
struct CarriedBytes
{
    /** False when a write failed. */
    static bool write (juce::OutputStream& output, const char* data, size_t size);

    /** A stream that writes to another one, each large write through write() above: a file
        put together from carried bytes and new ones (a merged header before the pack's
        samples) has the carried part copied by the system too.
    */
    class Output;
};

class CarriedBytes::Output  : public juce::OutputStream
{
public:
    explicit Output (juce::OutputStream& destination) : output (destination) {}

    bool write (const void* data, size_t numBytes) override;
    void flush() override                                   { output.flush(); }
    juce::int64 getPosition() override                      { return output.getPosition(); }
    bool setPosition (juce::int64 newPosition) override     { return output.setPosition (newPosition); }

private:
    juce::OutputStream& output;

    JUCE_DECLARE_NON_COPYABLE (Output)
};
