#pragma once

#include <juce_core/juce_core.h>

#include <utility>
#include <vector>

/**
    Reads a settings file in any of the framework's properties-file forms (plain binary "PROP",
    compressed binary "CPRP", XML with a PROPERTIES root) without the framework's own loader:
    the file's bytes are hostile, so the XML goes through the parser made for them, the
    compressed form is inflated to a bounded size, and keys are matched through a map.

    Keys match ignoring case, as the plug-in opens its settings: a later property of the same
    key replaces the value and keeps the first one's spelling and place.
*/
class PluginSettingsReader
{
public:
    static constexpr size_t maxFileBytes = 16 * 1024 * 1024;
    static constexpr size_t maxUncompressedBytes = 16 * 1024 * 1024;
    static constexpr int maxProperties = 200000;

    using Property = std::pair<juce::String, juce::String>;

    struct Result
    {
        bool ok = false;
        juce::String failure;                 // why the file was refused, when ok is false
        std::vector<Property> properties;     // in file order

        /** The value of key (ignoring case), or fallback when there is none. */
        juce::String getValue (const juce::String& key, const juce::String& fallback) const;
    };

    /** A missing file reads as ok and empty. */
    static Result read (const juce::File& file);

    /** Reads the bytes of a settings file. */
    static Result read (const void* data, size_t numBytes);

private:
    class Collector;

    static Result readBinary (juce::InputStream& input);
    static Result readCompressed (const void* data, size_t numBytes);
    static Result readXml (const void* data, size_t numBytes);
};
