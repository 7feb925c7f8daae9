/** @file
    OwnerIdentity: the user whose rights work in a folder is done with.
*/
#pragma once

#include <juce_core/juce_core.h>

/**
    The user whose rights file-system work in a folder is done with.

    A privileged run (root, for instance through sudo with a user's HOME) that works in a
    folder another user owns does that work as the folder's owner: what it creates belongs to
    the owner, and a link the owner planted leads only where the owner could go. A Scope
    switches the calling thread's file-system identity (Linux' fsuid, fsgid and groups) for
    its lifetime; the rest of the process keeps its rights. For an unprivileged run, and on
    systems without a per-thread file-system identity, a Scope changes nothing.
*/
class OwnerIdentity
{
public:
    /** The identity the process works with by itself. */
    static OwnerIdentity ofProcess();

    /** The identity to work in a folder with owner and group: the owner's for a privileged
        identity, which hands its rights down to the first folder it meets that is not root's;
        unchanged otherwise (an unprivileged identity never takes another user's rights).
    */
    OwnerIdentity enteringFolderOf (juce::uint32 ownerId, juce::uint32 groupId) const;

    /** True for root, which may work with another user's rights. */
    bool isPrivileged() const noexcept          { return userId == 0; }

    /** The user id work is done with. */
    juce::uint32 getUserId() const noexcept     { return userId; }

    /** The group id work is done with. */
    juce::uint32 getGroupId() const noexcept    { return groupId; }

    /** True when a link owned by linkOwner, in a folder owned by folderOwner (world-writable
        or not), may be followed with this identity: its maker could have followed it anyway.
    */
    bool trustsLink (juce::uint32 linkOwner, juce::uint32 folderOwner, bool folderWorldWritable) const noexcept;

    /** Works with an identity on the calling thread while it lives. */
    class Scope
    {
    public:
        /** Switches the calling thread to identity, where a switch is needed and possible (see
            above); the destructor switches it back.
        */
        explicit Scope (const OwnerIdentity& identity);
        ~Scope();

    private:
        bool switched = false;
        juce::uint32 previousUser = 0, previousGroup = 0;
        juce::Array<juce::uint32> previousGroups;

        JUCE_DECLARE_NON_COPYABLE (Scope)
    };

private:
    OwnerIdentity (juce::uint32 user, juce::uint32 group) : userId (user), groupId (group) {}

    juce::uint32 userId = 0, groupId = 0;
};
