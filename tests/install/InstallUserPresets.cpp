// install_user_presets: gives every impulse file of a directory its own user presets, or checks
// that they are all still there. Used by the crash test and the installation benchmark.
//
//   install_user_presets add DIR COUNT     adds COUNT presets to every .vok file of DIR
//   install_user_presets check DIR COUNT   exit 0 when every file holds all of them unchanged

#include <impulse/VOK_ImpulseFile.h>

#include <cstdio>

namespace
{
    juce::String presetName (const juce::File& file, int index)
    {
        return "User " + juce::String (index).paddedLeft ('0', 2) + " of " + file.getFileNameWithoutExtension();
    }

    juce::String presetData (const juce::File& file, int index)
    {
        // About the size of a real plug-in state, different for every file and preset.
        return juce::String::repeatedString ("state " + juce::String (index) + " " + file.getFileName() + "; ", 8);
    }

    juce::Array<juce::File> findImpulseFiles (const juce::File& directory)
    {
        auto files = directory.findChildFiles (juce::File::findFiles, false, "*.vok");
        files.sort();
        return files;
    }

    int addPresets (const juce::File& directory, int count)
    {
        for (auto& file : findImpulseFiles (directory))
        {
            VOK_ImpulseFile impulse;

            if (! impulse.readFile (file.getFullPathName()))
            {
                std::fprintf (stderr, "can't read %s\n", file.getFullPathName().toRawUTF8());
                return 1;
            }

            for (int i = 0; i < count; ++i)
                impulse.addPreset (presetName (file, i), presetData (file, i));

            if (! impulse.saveToFile (file.getFullPathName()))
            {
                std::fprintf (stderr, "can't save %s\n", file.getFullPathName().toRawUTF8());
                return 1;
            }
        }

        return 0;
    }

    int checkPresets (const juce::File& directory, int count)
    {
        int missing = 0;
        const auto files = findImpulseFiles (directory);

        for (auto& file : files)
        {
            VOK_ImpulseFile impulse;

            if (! impulse.readFile (file.getFullPathName()))
            {
                std::printf ("unreadable: %s\n", file.getFullPathName().toRawUTF8());
                missing += count;
                continue;
            }

            const auto names = impulse.getPresetNames();

            for (int i = 0; i < count; ++i)
            {
                const auto name = presetName (file, i);

                if (! names.contains (name) || impulse.getPresetData (name) != presetData (file, i))
                {
                    std::printf ("missing: %s in %s\n", name.toRawUTF8(), file.getFileName().toRawUTF8());
                    ++missing;
                }
            }
        }

        std::printf ("%d files checked, %d user presets missing\n", files.size(), missing);
        return missing == 0 && ! files.isEmpty() ? 0 : 1;
    }
}

int main (int argc, char* argv[])
{
    if (argc != 4 || juce::String (argv[3]).getIntValue() <= 0)
    {
        std::fprintf (stderr, "usage: install_user_presets add|check DIR COUNT\n");
        return 2;
    }

    const juce::String command (argv[1]);
    const auto directory = juce::File::getCurrentWorkingDirectory().getChildFile (argv[2]);
    const int count = juce::String (argv[3]).getIntValue();

    if (command == "add")    return addPresets (directory, count);
    if (command == "check")  return checkPresets (directory, count);

    std::fprintf (stderr, "usage: install_user_presets add|check DIR COUNT\n");
    return 2;
}
