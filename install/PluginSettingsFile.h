#pragma once

#include <safeio/OpenFolder.h>

#include <juce_core/juce_core.h>

#include <memory>

#include <vector>

/**
    One settings file of the plug-in as the installer changes it: every property kept as the
    bytes it was stored with, read completely or not at all, and written back atomically in
    the plain binary form ("PROP", the number of properties, then key and value as text each
    ended by a zero byte).

    A file that can't be read or understood in full is never written: what it holds is more
    than the installer knows, and replacing it would lose the other keys.

    The file is reached through its folder, opened once (OpenFolder): a link in its place that
    the user made (a settings file kept with the user's other dotfiles) is followed with the
    user's rights, and the file it leads to is the one read and replaced; a link planted by
    anyone else is not followed.
*/
class PluginSettingsFile
{
public:
    explicit PluginSettingsFile (const juce::File& file);

    /** Opens the file's folder once (creating it and its missing parents when asked), for the
        lock and for reading and writing the file in it; nullptr with failure set where it
        can't be opened.
    */
    const OpenFolder* openFolder (OpenFolder::Missing missing, juce::String& failure);

    /** Reads the file if it is there. Empty on success, otherwise a message naming the file. */
    juce::String read();

    /** Reads the properties from a settings file's bytes, as read() does from the file. */
    juce::String readFrom (const juce::MemoryBlock& bytes);

    /** Sets key (matched ignoring case; an existing key keeps its letter case and place).
        False when the value was stored already, so that nothing needs writing.
    */
    bool set (const juce::String& key, const juce::String& value);

    /** Creates the folder if needed and replaces the file, its data on the disk before the
        old file goes. Empty on success, otherwise a message.
    */
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

    juce::String findFile (juce::String& failure);

    juce::File file;
    std::unique_ptr<OpenFolder> folder;
    OpenFolder::Location location;
    std::vector<Property> properties;
    juce::String protection;

    JUCE_DECLARE_NON_COPYABLE (PluginSettingsFile)
};
