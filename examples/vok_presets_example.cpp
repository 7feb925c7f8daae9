// Lists the user presets of an impulse file, adds one, and saves the result as a new file:
//
//     vok_presets_example IN.vok OUT.vok NAME DATA
//
// The input file is left as it is; OUT.vok holds its samples and presets with NAME added (or
// replaced) and DATA as its preset data, the plug-in's state as text.

#include <impulse/VOK_ImpulseFile.h>

#include <iostream>

int main (int argc, char* argv[])
{
    if (argc != 5)
    {
        std::cerr << "usage: vok_presets_example IN.vok OUT.vok NAME DATA\n";
        return 2;
    }

    // The samples are only written again, so they are kept as the file stores them rather
    // than decoded and encoded anew.
    const auto input = juce::String::fromUTF8 (argv[1]), output = juce::String::fromUTF8 (argv[2]);
    VOK_ImpulseFile impulse;

    if (! impulse.readFile (input, VOK_ImpulseFile::SampleReading::keepStored))
    {
        const auto& reason = impulse.getReadFailure().reason;
        std::cerr << "Can't read " << input << ": " << (reason.isEmpty() ? "no such file" : reason) << "\n";
        return 1;
    }

    for (auto& name : impulse.getPresetNames())
        std::cout << name << "\n";

    impulse.addPreset (juce::String::fromUTF8 (argv[3]), juce::String::fromUTF8 (argv[4]));

    if (! impulse.saveToFile (output))
    {
        std::cerr << "Can't save " << output << ": " << impulse.getLastError() << "\n";
        return 1;
    }

    return 0;
}
