#pragma once

#include <juce_core/juce_core.h>

/**
    One impulse file to install: the name it gets in the target directory and its complete
    bytes. The bytes belong to the caller (for the pack, constant data inside the program)
    and must stay valid while the installation runs.
*/
struct ImpulseFileEntry
{
    juce::String fileName;
    const char* data = nullptr;
    int size = 0;
};
