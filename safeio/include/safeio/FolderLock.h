/** @file
    FolderLock: the lock every writer of a folder holds while it changes a file there.
*/
#pragma once

#include <safeio/OpenFolder.h>

#include <juce_core/juce_core.h>

#include <functional>

/**
    An advisory lock on a folder, held by every program of the pack that reads, merges and
    writes back a file in it (the installer, the vok tool), so that two of them never
    replace one file from two different readings and lose what the other added.

    The lock is a file inside the folder (".vok-writer.lock") that only those who may write the
    folder can open: it is created by the user working in the folder, readable and writable
    only as the folder itself is writable, opened for writing, and never followed through a
    link. Reading the folder is not enough to hold it. On Linux and macOS the file stays and is
    locked (flock), and the holder writes what it is into it for those who wait; on Windows it
    is held open without sharing and goes when it is closed. A second writer waits until the
    first one is done, up to a time limit, and may give up the wait earlier.
*/
class FolderLock
{
public:
    /** Called instead of sleeping while another writer holds the lock, with a description of
        that writer ("vok add-preset (process 4242)", or "another installation or vok
        command" where it is not known); it waits a moment and returns false to give up.
    */
    using Pause = std::function<bool (const juce::String& holder)>;

    /** Waits up to timeoutMs for the lock on folder while another writer holds it; holderKind
        tells later writers who holds it ("VOK Setup", "vok resave").
    */
    FolderLock (const OpenFolder& folder, const juce::String& holderKind, int timeoutMs, Pause pause = {});

    /** Opens folder itself, then locks it as above. */
    FolderLock (const juce::File& folder, const juce::String& holderKind, int timeoutMs);

    ~FolderLock();

    /** True when this object holds the lock, so that the caller may change the folder. */
    bool isLocked() const noexcept        { return locked; }

    /** True when another writer held the lock for the whole wait (or until the wait was given
        up). A lock that can't be had for another reason (a folder that isn't there or can't be
        written) is not a writer in the way: what the caller then tries to write fails with its
        own message.
    */
    bool isHeldByAnother() const noexcept  { return heldByAnother; }

    /** True when the pause gave the wait up. */
    bool wasGivenUp() const noexcept       { return givenUp; }

    /** How long a writer waits for another one by default. */
    static constexpr int defaultTimeoutMs = 60000;

    /** The name of the lock file in every locked folder. */
    static constexpr const char* lockFileName = ".vok-writer.lock";

    /** The message for a lock that could not be had. */
    static juce::String describeFailure (const juce::File& folder);

    /** The log line while waiting for holder. */
    static juce::String describeWaiting (const juce::File& folder, const juce::String& holder);

private:
    void lock (const OpenFolder& folder, const juce::String& holderKind, int timeoutMs, const Pause& pause);
    bool tryLock (const OpenFolder& folder);
    juce::String readHolder() const;
    void writeHolder (const juce::String& holderKind);

   #if JUCE_WINDOWS
    void* handle = nullptr;
   #else
    int handle = -1;
   #endif
    bool locked = false, heldByAnother = false, givenUp = false;

    JUCE_DECLARE_NON_COPYABLE (FolderLock)
};
