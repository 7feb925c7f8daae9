// Feeds arbitrary bytes to the settings reader, in whichever of the three forms they claim to
// be; the sanitizers judge the reading. What is accepted must answer a lookup of every key.

#include <install/PluginSettingsFile.h>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    PluginSettingsFile settings { juce::File() };

    if (settings.readFrom (juce::MemoryBlock (data, size)).isEmpty())
        settings.getValue ("DEFAULT_IMPULSE_PATH");

    return 0;
}
