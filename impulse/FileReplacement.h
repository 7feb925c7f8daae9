#pragma once

#include <juce_core/juce_core.h>

#include <memory>

/**
    Writes a new version of a file beside it and puts it in the file's place by renaming,
    so that the file is at every moment either the old one or the complete new one.

    The new file is a sibling created exclusively under a name no one can guess or take
    first (the target's name, a random part and ".saving"); it never follows a link and never
    opens anything that is already there. It gets the old file's permissions (and, for a
    privileged writer, its owner; a new file gets the owner of its folder). Every write, the
    close and the resulting length are checked before the rename. A replacement that is not
    finished removes its own sibling, and only its own: siblings of other writers stay.

    @code
    FileReplacement replacement (target);
    if (replacement.openedOk() && writeAll (replacement.getStream()) && replacement.replaceTarget())
        ...
    @endcode
*/
class FileReplacement
{
public:
    explicit FileReplacement (const juce::File& target);

    /** Removes the sibling unless it has been put in place. */
    ~FileReplacement();

    bool openedOk() const noexcept;

    /** Where the new contents go. Write failures are remembered and fail the commit. */
    juce::OutputStream& getStream();

    /** Writes out what is buffered and closes the new file: true when every write, the close
        and the resulting length check passed. replaceTarget and createTarget call it.
    */
    bool finishWriting();

    /** Closes the new file and renames it over the target. False (the target unchanged, the
        sibling gone) when any write, the close or the length check failed, or the rename did.
    */
    bool replaceTarget();

    /** Closes the new file and gives it the target's name, which must not exist yet: a file,
        link or anything else that appears there meanwhile is never replaced.
    */
    bool createTarget();

    const juce::File& getTarget() const noexcept     { return target; }

    /** Where the source is a RegularFileInput and the destination a replacement's stream,
        copies up to numBytes from the source's position inside the system, file to file, and
        moves both on; returns how many bytes it copied (none for other streams, or where the
        system can't), so that the caller writes the rest itself.
    */
    static juce::int64 copyFromFile (juce::InputStream& source, juce::OutputStream& destination, juce::int64 numBytes);

    class Output;

private:
    bool written = false;

    juce::File target;
    juce::File sibling;
    std::unique_ptr<Output> output;
    bool committed = false;

    JUCE_DECLARE_NON_COPYABLE (FileReplacement)
};
