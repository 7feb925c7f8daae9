#pragma once

#include <install/ImpulseFileEntry.h>

/**
    The pack inside this program, as the entries the installation takes: the impulse
    files in install order, their bytes in the program's read-only data.
*/
class EmbeddedPack
{
public:
    static juce::Array<ImpulseFileEntry> getEntries();
};
