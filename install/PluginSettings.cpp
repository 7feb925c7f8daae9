#include <install/PluginSettings.h>
#include "PluginSettingsFile.h"

#include <safeio/FolderLock.h>
#include <safeio/Utf8Text.h>

#include <cstring>

#if JUCE_LINUX || JUCE_BSD
 #include <pwd.h>
 #include <unistd.h>
#endif

namespace
{
    constexpr const char* applicationName = "VOK";
    constexpr const char* folderName      = "VOK";
    constexpr const char* fileSuffix      = "settings";
}

juce::File PluginSettings::getSettingsFileIn (juce::File::SpecialLocationType applicationDataFolder)
{
    auto folder = juce::File::getSpecialLocation (applicationDataFolder);

   #if JUCE_LINUX || JUCE_BSD
    // The framework builds the user's folder on HOME as it is; an empty or relative HOME would
    // put the settings below the root folder or the working directory, so the account's own
    // home folder is taken instead.
    const auto* home = std::getenv ("HOME");

    if (applicationDataFolder == juce::File::userApplicationDataDirectory && home != nullptr && home[0] != '/')
    {
        const auto* account = getpwuid (getuid());

        if (account == nullptr || account->pw_dir == nullptr || account->pw_dir[0] != '/')
            return {};

        folder = juce::File (juce::String::fromUTF8 (account->pw_dir)).getChildFile (".config");
    }
   #endif

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

juce::String PluginSettings::readDefaultImpulsePath (const juce::File& settingsFile, const juce::String& fallback)
{
    PluginSettingsFile settings (settingsFile);
    return settings.read().isEmpty() ? settings.getValue (defaultImpulsePathKey, fallback) : fallback;
}

juce::String PluginSettings::writeDefaultImpulsePath (const juce::File& settingsFile, const juce::String& path,
                                                     const FolderLock::Pause& pause)
{
    // Only text the plug-in reads back unchanged is stored: anything else would come back as
    // another folder, or move the keys after it.
    const auto* pathBytes = path.toRawUTF8();

    const auto numPathBytes = std::strlen (pathBytes);

    if (! Utf8Text::isWellFormed (pathBytes, numPathBytes))
        return "Can't record " + Utf8Text::toString (pathBytes, numPathBytes) + " in the settings file "
                 + settingsFile.getFullPathName() + ": the path is not UTF-8 text";

    PluginSettingsFile settings (settingsFile);
    const auto folderPath = settingsFile.getParentDirectory();
    juce::String failure;
    const auto* folder = settings.openFolder (OpenFolder::Missing::create, failure);

    if (folder == nullptr)
        return "Can't write the settings file " + settingsFile.getFullPathName() + ": " + failure;

    // Read, changed and written back while no other installation does the same.
    const FolderLock lock (*folder, "VOK Setup", FolderLock::defaultTimeoutMs, pause);

    if (lock.isHeldByAnother())
        return FolderLock::describeFailure (folderPath);

    const auto readError = settings.read();

    if (readError.isNotEmpty())
        return readError;

    if (! settings.set (defaultImpulsePathKey, path))
        return {};

    return settings.write();
}
