#include "PluginWrittenSettings.h"

juce::PropertiesFile::Options PluginWrittenSettings::getOptions (bool commonToAllUsers)
{
    juce::PropertiesFile::Options options;
    options.applicationName          = "VOK";
    options.filenameSuffix           = "settings";
    options.folderName               = "VOK";
    options.commonToAllUsers         = commonToAllUsers;
    options.ignoreCaseOfKeyNames     = true;
    options.storageFormat            = juce::PropertiesFile::storeAsBinary;
    options.millisecondsBeforeSaving = 0;
    return options;
}

std::unique_ptr<juce::PropertiesFile> PluginWrittenSettings::open (const juce::File& settingsFile, bool commonToAllUsers)
{
    if (settingsFile == juce::File())
        return {};

    return std::make_unique<juce::PropertiesFile> (settingsFile, getOptions (commonToAllUsers));
}
