// The pack as this program carries it.

#include "PackToInstall.h"

#include <install/EmbeddedPack.h>

struct PackToInstall::Source {};

PackToInstall::PackToInstall() = default;
PackToInstall::~PackToInstall() = default;

juce::Array<ImpulseFileEntry> PackToInstall::getEntries() const
{
    return EmbeddedPack::getEntries();
}
