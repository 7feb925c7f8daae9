#pragma once

#include <juce_core/juce_core.h>

/**
    An advisory lock on a folder, held by every program of the pack that reads, merges and
    writes back a file in it (the installer, the vok tool), so that two of them never
    replace one file from two different readings and lose what the other added.

    On Linux and macOS the folder itself is locked (flock), so no file is added to it; on
    Windows a hidden lock file in the folder is held open without sharing and goes when it is
    closed. A second writer waits until the first one is done, up to a time limit.
*/
class FolderLock
{
public:
    /** Waits up to timeoutMs for the lock on folder while another writer holds it. */
    FolderLock (const juce::File& folder, int timeoutMs);
    ~FolderLock();

    bool isLocked() const noexcept        { return locked; }

    /** True when another writer held the lock for the whole wait. A lock that can't be had
        for another reason (a folder that isn't there or can't be opened) is not a writer in
        the way: what the caller then tries to write fails with its own message.
    */
    bool isHeldByAnother() const noexcept  { return heldByAnother; }

    /** How long a writer waits for another one by default. */
    static constexpr int defaultTimeoutMs = 60000;

    /** The message for a lock that could not be had. */
    static juce::String describeFailure (const juce::File& folder);

private:
   #if JUCE_WINDOWS
    void* handle = nullptr;
   #else
    int handle = -1;
   #endif
    bool locked = false, heldByAnother = false;

    JUCE_DECLARE_NON_COPYABLE (FolderLock)
};
