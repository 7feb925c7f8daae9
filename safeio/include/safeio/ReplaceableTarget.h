/** @file
    ReplaceableTarget: whether a name in a folder may take a new file.
*/
#pragma once

#include <safeio/FileKind.h>
#include <safeio/OpenFolder.h>

#include <juce_core/juce_core.h>

/**
    Whether a name in a folder may take a new file: where nothing is, or where a regular file
    is that the user working in the folder may change.

    A link in the name's place is neither followed nor replaced (it could make a privileged
    run write someone else's file), a FIFO, device or socket would never answer, a folder is
    no file, and a file the user marked read-only, or another user's, stays as it is. Every
    writer that replaces a file asks here, so the rule is the same for all of them.

    The name is looked at once: what was found also tells the caller whether it creates the
    file or replaces one.
*/
class ReplaceableTarget
{
public:
    /** Why a name may not take a new file. */
    enum class Refusal
    {
        none,               ///< It may.
        notRegularFile,     ///< A link, FIFO, device, socket or folder, or a name that can't be looked at.
        protectedByUser,    ///< Read-only, or another user's.
        notOpened           ///< A regular file that can't be opened to look at it.
    };

    /** Looks at name inside folder, once. */
    ReplaceableTarget (const OpenFolder& folder, const juce::String& name);

    /** What the name was found to be. */
    FileKind getKind() const noexcept               { return kind; }

    /** True when a file is there, which the new one would replace. */
    bool exists() const noexcept                    { return kind != FileKind::missing; }

    /** Why the name may not take a new file; none when it may. */
    Refusal getRefusal() const noexcept             { return refusal; }

    /** True when a new file may be written there. */
    bool mayBeReplaced() const noexcept             { return refusal == Refusal::none; }

    /** Why not, in words: "<path> is a link, which is never followed", "the file is read-only", ... */
    const juce::String& getReason() const noexcept  { return reason; }

    /** One line for a target refused before anything is read or written ("<path> is a link,
        which is never followed", "Can't overwrite <path>: the file is read-only"); empty for one
        that may be replaced, and for a file that can't be opened, which the step that opens it
        reports in its own words.
    */
    juce::String describeRefusal() const;

private:
    juce::File file;
    FileKind kind = FileKind::missing;
    Refusal refusal = Refusal::none;
    juce::String reason;
};
