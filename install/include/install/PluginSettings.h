#pragma once

#include <safeio/FolderLock.h>

#include <juce_data_structures/juce_data_structures.h>

#include <memory>

/**
    The plug-in's settings files: one per user and one common to all users, each at
    application-data folder / "VOK" / "VOK.settings", in the framework's properties-file
    forms. The plug-in reads the default impulse directory from them.

    Files are opened with key names matched ignoring case, stored in the plain binary
    form and saved at once on every change, the way the plug-in itself keeps them.
*/
class PluginSettings
{
public:
    /** The key under which the plug-in looks for its impulse directory. */
    static constexpr const char* defaultImpulsePathKey = "DEFAULT_IMPULSE_PATH";

    /** Where the current user's settings file lives; File() when the platform has no such folder. */
    static juce::File getUserSettingsFile();

    /** Where the settings file shared by all users lives; File() when the platform has no such folder. */
    static juce::File getCommonSettingsFile();

    /** The stored impulse directory of a settings file, read without the framework's loader;
        fallback when the key is missing or the file can't be read safely (a stored empty value
        stays empty).
    */
    static juce::String readDefaultImpulsePath (const juce::File& settingsFile, const juce::String& fallback);

    /** Records path as the plug-in's impulse directory in settingsFile, keeping every other
        property as it is stored. The file is replaced at once when the value changes and not
        at all when it is already stored. Empty on success; otherwise the reason, and the file
        is as it was (one that can't be read in full, or is marked read-only, is never written).
        While another writer holds the settings folder, pause is called instead of sleeping.
    */
    static juce::String writeDefaultImpulsePath (const juce::File& settingsFile, const juce::String& path,
                                                 const FolderLock::Pause& pause = {});

private:
    static juce::File getSettingsFileIn (juce::File::SpecialLocationType applicationDataFolder);
};
