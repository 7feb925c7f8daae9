#pragma once

#include <juce_core/juce_core.h>

/**
    A new empty folder of its own under the system's temporary folder, deleted with
    everything in it when the object goes.

    ctest runs test programs side by side, and a name that is merely free now can be taken by
    another process a moment later: every folder gets a random name and is made only where
    nothing of that name existed.
*/
class TemporaryFolder
{
public:
    explicit TemporaryFolder (const juce::String& prefix = "vok-test");
    ~TemporaryFolder();

    /** A new folder for a caller that removes it itself; File() when none could be made. */
    static juce::File createUniqueFolder (const juce::String& prefix);

    const juce::File& getFolder() const                     { return folder; }
    juce::File getFile (const juce::String& name) const    { return folder.getChildFile (name); }

    /** Writes bytes to a new file of that name and returns it. */
    juce::File write (const juce::String& name, const juce::MemoryBlock& data) const;

private:
    juce::File folder;

    JUCE_DECLARE_NON_COPYABLE (TemporaryFolder)
};
