#pragma once

#include <juce_core/juce_core.h>

#include <unistd.h>

/**
    A folder of the fuzzer process's own, for the files it hands to the readers: in RAM where
    there is one, so that the file round trips stay cheap, and removed when the fuzzer exits.
*/
struct FuzzWorkFolder
{
    explicit FuzzWorkFolder (const juce::String& namePrefix)
    {
        const juce::File shm ("/dev/shm");
        const auto base = shm.isDirectory() ? shm : juce::File::getSpecialLocation (juce::File::tempDirectory);
        folder = base.getChildFile (namePrefix + juce::String ((int) getpid()));
        folder.createDirectory();
    }

    ~FuzzWorkFolder()   { folder.deleteRecursively(); }

    juce::File folder;
};
