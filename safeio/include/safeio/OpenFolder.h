/** @file
    OpenFolder: a folder opened once, whose names are reached without following planted links.
*/
#pragma once

#include <safeio/FileKind.h>
#include <safeio/OwnerIdentity.h>

#include <juce_core/juce_core.h>

#include <memory>

/**
    A folder opened once, in which every look-up, creation, link, rename and removal is made
    relative to the open folder itself, never through its path again: whatever is put in
    place of the folder or of one above it meanwhile, the work stays in the folder that was
    opened.

    The path is walked one folder at a time from the root. A link on the way is followed only
    where the one who made it could have followed it anyway (the system's links, the running
    user's own, or the folder owner's in a folder no one else can change), and then with the
    rights of the user working there. A privileged run works in another user's folder as that
    user (OwnerIdentity): what it creates there belongs to the owner.

    On Windows the folder is held open so that it can't be moved or replaced while it is used,
    and names inside it are reached through its path.
*/
class OpenFolder
{
public:
    /** What opening does with a folder that is not there. */
    enum class Missing
    {
        fail,       ///< Opening fails.
        create      ///< Missing folders are made, each by the user working in its parent.
    };

    /** Opens folder; nullptr with failure set (a sentence naming the folder) when it can't be. */
    static std::unique_ptr<OpenFolder> open (const juce::File& folder, Missing missing, juce::String& failure);

    /** Opens the folder holding file and gives file's name inside it. */
    static std::unique_ptr<OpenFolder> openParentOf (const juce::File& file, Missing missing, juce::String& failure);

    ~OpenFolder();

    /** The folder as the caller named it, for messages. */
    const juce::File& getFile() const noexcept               { return folder; }

    /** The path of name inside the folder, for messages (on Windows also the way to reach it;
        elsewhere the folder's work goes through the folder opened, never through a path).
    */
    juce::File getChildFile (const juce::String& name) const { return folder.getChildFile (name); }

    /** The user whose rights the work in this folder is done with. */
    const OwnerIdentity& getIdentity() const noexcept         { return identity; }

    /** What name is, without following a link. */
    FileKind getKindOf (const juce::String& name) const;

    /** A name in a folder, reached by following trusted links from a starting name. */
    struct Location
    {
        std::unique_ptr<OpenFolder> folder;   ///< The folder the name is in; null when it can't be reached.
        juce::String name;                    ///< The name inside that folder.
    };

    /** Where name leads: itself when it is not a link, the end of a chain of links the
        identity trusts otherwise. A link not trusted, or a chain too long, gives no folder
        and a failure naming the link.
    */
    Location resolve (const juce::String& name, juce::String& failure) const;

    /** Renames from over to, replacing what is there. */
    bool renameOver (const juce::String& from, const juce::String& to) const;

    /** Renames from to to, which must not exist: nothing already there is ever replaced. */
    bool renameToNewName (const juce::String& from, const juce::String& to) const;

    /** Removes a file (never a folder). */
    bool remove (const juce::String& name) const;

    /** Makes this folder's entries (renames, new names, removals) last through a power cut. */
    bool sync() const;

    /** The names of the regular files in the folder. */
    juce::StringArray getFileNames() const;

    /** The longest name the folder's file system takes, in UTF-8 bytes. */
    static constexpr int maxNameBytes = 255;

   #if ! JUCE_WINDOWS
    /** The folder's descriptor, for the system's calls relative to it (openat and the like). */
    int getDescriptor() const noexcept    { return handle; }

    /** openat relative to this folder with its user's rights; never follows a last link
        unless flags say so. -1 with errno on failure.
    */
    int openAt (const juce::String& name, int flags, int mode = 0) const;

    /** Gives the open file handle a second name here, which must not exist yet. */
    bool linkAs (int fileHandle, const juce::String& name) const;

    /** fstatat without following a link; false with errno when name can't be looked at. */
    bool lookAt (const juce::String& name, struct stat& info) const;
   #endif

private:
   #if JUCE_WINDOWS
    using Handle = void*;
   #else
    using Handle = int;
   #endif

    OpenFolder (const juce::File& folder, Handle handle, OwnerIdentity identity);

    juce::File folder;
    Handle handle;
    OwnerIdentity identity;

    JUCE_DECLARE_NON_COPYABLE (OpenFolder)
};
