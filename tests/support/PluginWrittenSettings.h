#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include <memory>

/**
    Settings files as the plug-in itself writes them, through the framework's properties
    file: key names matched ignoring case, the plain binary form, saved at once on every
    change. The tests use them to leave what a user's plug-in would have left.
*/
struct PluginWrittenSettings
{
    static juce::PropertiesFile::Options getOptions (bool commonToAllUsers);

    /** Opens a settings file; nullptr for File(). */
    static std::unique_ptr<juce::PropertiesFile> open (const juce::File& settingsFile, bool commonToAllUsers);
};
