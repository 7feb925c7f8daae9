// Feeds arbitrary bytes to the settings reader. Whatever it accepts must come out with
// keys that are unique ignoring case and never empty.

#include <PluginSettingsReader.h>

#include <cstdint>
#include <cstdlib>
#include <set>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const auto result = PluginSettingsReader::read (data, size);

    if (! result.ok)
        return 0;

    std::set<juce::String> keys;

    for (auto& [key, value] : result.properties)
        if (key.isEmpty() || ! keys.insert (key.toLowerCase()).second)
            std::abort();

    return 0;
}
