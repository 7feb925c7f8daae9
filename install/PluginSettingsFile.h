#pragma once

#include <juce_core/juce_core.h>

#include <vector>

/**
    One settings file of the plug-in as the installer changes it: every property kept as the
    bytes it was stored with, read completely or not at all, and written back atomically in
    the plain binary form ("PROP", the number of properties, then key and value as text each
    ended by a zero byte).

    A file that can't be read or understood in full is never written: what it holds is more
    than the installer knows, and replacing it would lose the other keys.
*/
class PluginSettingsFile
{
public:
    explicit PluginSettingsFile (const juce::File& file);

    /** Reads the file if it is there. Empty on success, otherwise a message naming the file. */
    juce::String read();

    /** Reads the properties from a settings file's bytes, as read() does from the file. */
    juce::String readFrom (const juce::MemoryBlock& bytes);

    /** Sets key (matched ignoring case; an existing key keeps its letter case and place).
        False when the value was stored already, so that nothing needs writing.
    */
    bool set (const juce::String& key, const juce::String& value);

    /** Creates the folder if needed and replaces the file. Empty on success, otherwise a message. */
    juce::String write();

    /** The number of properties, and one of them, as stored (for tests and the panel). */
    int size() const noexcept   { return (int) properties.size(); }
    juce::String getValue (const juce::String& key, const juce::String& fallback = {}) const;

private:
    struct Property
    {
        juce::MemoryBlock key, value;
    };

    bool parseBinary (juce::InputStream& input);
    bool parseCompressed (const juce::MemoryBlock& bytes);
    bool parseXml (const juce::MemoryBlock& bytes);
    int indexOf (const juce::String& key) const;

    juce::File file;
    std::vector<Property> properties;
    bool markedReadOnly = false;

    JUCE_DECLARE_NON_COPYABLE (PluginSettingsFile)
};
