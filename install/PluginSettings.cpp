#include "PluginSettings.h"
#include "PluginSettingsReader.h"

namespace
{
    constexpr const char* applicationName = "VOK";
    constexpr const char* folderName      = "VOK";
    constexpr const char* fileSuffix      = "settings";
}

juce::File PluginSettings::getSettingsFileIn (juce::File::SpecialLocationType applicationDataFolder)
{
    auto folder = juce::File::getSpecialLocation (applicationDataFolder);

    // On Linux the framework's default settings location is not inside the application-data
    // folder, so the file is placed explicitly where the plug-in looks for it.
    if (folder == juce::File())
        return {};

    return folder.getChildFile (folderName)
                 .getChildFile (juce::String (applicationName) + "." + fileSuffix);
}

juce::File PluginSettings::getUserSettingsFile()
{
    return getSettingsFileIn (juce::File::userApplicationDataDirectory);
}

juce::File PluginSettings::getCommonSettingsFile()
{
    return getSettingsFileIn (juce::File::commonApplicationDataDirectory);
}

juce::PropertiesFile::Options PluginSettings::getOptions (bool commonToAllUsers)
{
    juce::PropertiesFile::Options options;
    options.applicationName          = applicationName;
    options.filenameSuffix           = fileSuffix;
    options.folderName               = folderName;
    options.commonToAllUsers         = commonToAllUsers;
    options.ignoreCaseOfKeyNames     = true;
    options.storageFormat            = juce::PropertiesFile::storeAsBinary;
    options.millisecondsBeforeSaving = 0;
    return options;
}

std::unique_ptr<juce::PropertiesFile> PluginSettings::open (const juce::File& settingsFile, bool commonToAllUsers)
{
    if (settingsFile == juce::File())
        return {};

    return std::make_unique<juce::PropertiesFile> (settingsFile, getOptions (commonToAllUsers));
}

juce::String PluginSettings::readDefaultImpulsePath (const juce::File& settingsFile, const juce::String& fallback)
{
    const auto settings = PluginSettingsReader::read (settingsFile);
    return settings.ok ? settings.getValue (defaultImpulsePathKey, fallback) : fallback;
}

juce::String PluginSettings::readDefaultImpulsePath (juce::PropertiesFile& settings, const juce::String& fallback)
{
    return settings.getValue (defaultImpulsePathKey, fallback);
}

void PluginSettings::writeDefaultImpulsePath (juce::PropertiesFile& settings, const juce::String& path)
{
    settings.setValue (defaultImpulsePathKey, path);
}
