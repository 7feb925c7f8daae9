/** @file
    FileReplacement: a file written beside its target and renamed into its place.
*/
#pragma once

#include <safeio/OpenFolder.h>
#include <safeio/RegularFileInput.h>

#include <juce_core/juce_core.h>

#include <memory>

/**
    Writes a new version of a file beside it and puts it in the file's place by renaming,
    so that the file is at every moment either the old one or the complete new one.

    The new file is a sibling created exclusively, relative to the folder opened once, under a
    name no one can guess or take first (the target's name, shortened where the file system's
    name limit needs it, a random part and ".saving"); it never follows a link and never opens
    anything that is already there. It is created by the user working in the folder (its owner,
    for a privileged run: see OwnerIdentity) and gets the old file's permissions (and, for a
    privileged writer working as itself, the old file's owner). Every write, the close and the
    resulting length are checked before the rename, and a file that replaces another one has its
    data flushed to the disk first, so that a power cut leaves the old file or the whole new
    one. A replacement that is not finished removes its own sibling, and only its own: siblings
    of other writers stay, and those of writers that were killed are removed by the next one
    that holds the folder's lock (removeStaleSiblings).

    @code
    FileReplacement replacement (target);
    if (replacement.openedOk() && writeAll (replacement.getStream()) && replacement.replaceTarget())
        ...
    @endcode
*/
class FileReplacement
{
public:
    /** Replaces name inside folder, which must outlive this object. */
    FileReplacement (const OpenFolder& folder, const juce::String& name);

    /** Opens target's folder itself; openedOk is false when it can't be opened. */
    explicit FileReplacement (const juce::File& target);

    /** Removes the sibling unless it has been put in place. */
    ~FileReplacement();

    /** False when the new file could not be created beside the target (or the target's
        folder not opened); nothing can be written then.
    */
    bool openedOk() const noexcept;

    /** Where the new contents go. Write failures are remembered and fail the commit. */
    juce::OutputStream& getStream();

    /** Writes out what is buffered: true when every write so far and the resulting length
        check passed. replaceTarget and createTarget check the same again as they close.
    */
    bool finishWriting();

    /** Closes the new file, flushes its data to the disk and renames it over the target. False
        (the target unchanged, the sibling gone) when any write, the close, the length check,
        the flush or the rename failed.
    */
    bool replaceTarget();

    /** Whether createTarget puts the new file's data on the disk before naming it. */
    enum class Flush
    {
        none,       ///< A new file that holds no one's only copy of anything.
        toDisk      ///< A copy that must last before its original may go.
    };

    /** Closes the new file and gives it the target's name, which must not exist yet: a file,
        link or anything else that appears there meanwhile is never replaced.
    */
    bool createTarget (Flush flush = Flush::none);

    /** Gives the new file the permissions of the file source reads (a backup copy keeps the
        original's). False where they can't be set.
    */
    bool setPermissions (const RegularFileInput& source);

    /** True when the last failure came from another program holding the file (Windows'
        sharing rules): closing that program may help.
    */
    bool failedBecauseInUse() const noexcept  { return inUse; }

    /** The file being replaced, for messages. */
    const juce::File& getTarget() const noexcept     { return target; }

    /** Why the replacement failed, as the system said it ("No space left on device"); empty
        when it did not, or no reason is known.
    */
    const juce::String& getFailureReason() const noexcept  { return failureReason; }

    /** Removes the siblings that replacements of names left when their writer was killed: only
        regular files named as this class names them. Call it only while holding the folder's
        lock (FolderLock), so that no living writer's sibling is taken.
    */
    static void removeStaleSiblings (const OpenFolder& folder, const juce::StringArray& names);

    /** As above, for one name. */
    static void removeStaleSiblings (const OpenFolder& folder, const juce::String& name);

    /** Where the source is a RegularFileInput and the destination a replacement's stream,
        copies up to numBytes from the source's position inside the system, file to file, and
        moves both on; returns how many bytes it copied (none for other streams, or where the
        system can't), so that the caller writes the rest itself.
    */
    static juce::int64 copyFromFile (juce::InputStream& source, juce::OutputStream& destination, juce::int64 numBytes);

    /** As above, from the numBytes at offset of a file open as descriptor, which the caller
        knows to hold the bytes it would otherwise write from memory (the program's own file,
        for bytes it carries). The descriptor's own position is left alone.
    */
    static juce::int64 copyFromFile (int descriptor, juce::int64 offset, juce::OutputStream& destination, juce::int64 numBytes);

    class Output;

private:
    void create();
    bool close (Flush flush);
    bool remember (bool succeeded);

    std::unique_ptr<OpenFolder> ownFolder;
    const OpenFolder* folder = nullptr;
    juce::String name, siblingName, failureReason;
    juce::File target;
    std::unique_ptr<Output> output;
    bool written = false, committed = false, inUse = false;

    JUCE_DECLARE_NON_COPYABLE (FileReplacement)
};
