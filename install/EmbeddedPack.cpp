#include <install/EmbeddedPack.h>

#include <embedded/EmbeddedImpulseFiles.h>

juce::Array<ImpulseFileEntry> EmbeddedPack::getEntries()
{
    juce::Array<ImpulseFileEntry> entries;

    for (auto& file : embeddedImpulseFiles)
        entries.add ({ juce::String::fromUTF8 (file.fileName), file.data, file.size });

    return entries;
}
