#pragma once

#include <juce_core/juce_core.h>

#include <utility>
#include <vector>

/** Impulse files for the installation tests, built with the project's own writer. */
namespace InstallTestFiles
{
    using Preset = std::pair<juce::String, juce::String>;
    using PresetList = std::vector<Preset>;

    /** A complete impulse file of numChannels channels of numSamples samples with these presets. */
    juce::MemoryBlock makeImpulseFileBytes (int numChannels, int numSamples, const PresetList& presets,
                                            const juce::String& pictureText = "3.gI1X");

    /** Text that the header's packing can't shrink, so that a preset holding it grows a file by about its length. */
    juce::String makeIncompressibleText (int numBytes, juce::int64 seed);

    /** The presets of an impulse file (name and data, in list order); fails the test when it can't be read. */
    PresetList readPresets (const juce::File& file);

    juce::MemoryBlock readBytes (const juce::File& file);
    void writeBytes (const juce::File& file, const juce::MemoryBlock& bytes);

    /** The names in folder, sorted, without the writers' lock file (FolderLock), which stays
        in every folder a writer has locked.
    */
    juce::StringArray namesIn (const juce::File& folder);

    /** A new empty folder under the system's temporary folder. */
    juce::File createTemporaryFolder (const juce::String& prefix);

    /** Sets or clears the file system's immutable flag (which stops even root from changing or
        deleting the file, or adding to the folder). False where the file system has no such flag.
    */
    bool setImmutable (const juce::File& file, bool immutable);
}

namespace juce
{
    /** Readable failure messages for the tests' comparisons of log lines. */
    inline void PrintTo (const StringArray& lines, std::ostream* os)
    {
        *os << "[\"" << lines.joinIntoString ("\", \"").replace ("\n", "\\n") << "\"]";
    }
}
