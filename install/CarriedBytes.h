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
};
