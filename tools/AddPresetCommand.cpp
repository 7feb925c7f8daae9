// vok add-preset FILE NAME DATA-FILE: adds or replaces one user preset of an impulse file.

#include "Command.h"
#include <safeio/Utf8Text.h>

#include <cstring>

namespace
{
    juce::String readPresetData (const juce::File& dataFile)
    {
        // A preset is a plug-in's state: far smaller than this.
        const auto bytes = Command::readWholeFile (dataFile, 256 * 1024 * 1024);

        const auto* text = static_cast<const char*> (bytes.getData());

        // A string field ends at its first zero byte, and the file's text is UTF-8: anything
        // else would be stored altered and come back different.
        if (std::memchr (text, 0, bytes.getSize()) != nullptr)
            throw Command::Failure { "Preset data holds a zero byte, which an impulse file can't store: " + dataFile.getFullPathName() };

        if (! Utf8Text::isWellFormed (text, bytes.getSize()))
            throw Command::Failure { "Preset data is not UTF-8 text, which an impulse file can't store unchanged: " + dataFile.getFullPathName() };

        return juce::String::fromUTF8 (text, (int) bytes.getSize());
    }
}

int Command::runAddPreset (const juce::StringArray& arguments) const
{
    const auto file = getFileArgument (arguments[0]);
    const auto& presetName = arguments[1];
    const auto dataFile = getFileArgument (arguments[2]);

    // Loading an audio file would succeed too, and saving would then replace the
    // user's audio with an impulse file of the same name.
    if (! file.hasFileExtension ("vok"))
        throw Failure { "Not an impulse file (.vok): " + file.getFullPathName() };

    const auto presetData = readPresetData (dataFile);

    // Read, changed and written back while no installation or other command changes
    // the folder, so that no preset added meanwhile is lost.
    const auto lock = lockToReplace (file);

    VOK_ImpulseFile impulse;
    loadImpulseToChange (impulse, file);
    impulse.addPreset (presetName, presetData);
    saveImpulse (impulse, file);
    return success;
}
