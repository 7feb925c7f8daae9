#include <safeio/OwnerIdentity.h>

#if JUCE_LINUX
 #include <grp.h>
 #include <sys/fsuid.h>
 #include <sys/syscall.h>
 #include <unistd.h>
#elif ! JUCE_WINDOWS
 #include <unistd.h>
#endif

OwnerIdentity OwnerIdentity::ofProcess()
{
   #if JUCE_WINDOWS
    return { 1, 1 };
   #else
    return { (juce::uint32) geteuid(), (juce::uint32) getegid() };
   #endif
}

OwnerIdentity OwnerIdentity::enteringFolderOf (juce::uint32 ownerId, juce::uint32 ownerGroupId) const
{
    if (isPrivileged() && ownerId != 0)
        return { ownerId, ownerGroupId };

    return *this;
}

bool OwnerIdentity::trustsLink (juce::uint32 linkOwner, juce::uint32 folderOwner, bool folderWorldWritable) const noexcept
{
    // The system's own links, and the user's own; or a link made by the folder's owner in a
    // folder only its owner can change, as the kernel's protected links allow.
    return linkOwner == 0 || linkOwner == userId || (linkOwner == folderOwner && ! folderWorldWritable);
}

//==============================================================================
OwnerIdentity::Scope::Scope (const OwnerIdentity& identity)
{
   #if JUCE_LINUX
    // Asked once: every file operation in a folder opens a scope.
    static const bool processIsPrivileged = geteuid() == 0;

    if (! processIsPrivileged || identity.isPrivileged())
        return;

    // The thread's own identity only (the raw calls, not the C library's, which would change
    // every thread's): the groups first, while the thread may still change them.
    const auto count = getgroups (0, nullptr);
    juce::HeapBlock<gid_t> groups ((size_t) juce::jmax (1, count));
    const auto numGroups = count > 0 ? getgroups (count, groups.get()) : count;

    if (numGroups < 0)
        return;

    for (int i = 0; i < numGroups; ++i)
        previousGroups.add ((juce::uint32) groups[i]);

    const gid_t ownGroup = (gid_t) identity.getGroupId();

    if (syscall (SYS_setgroups, 1, &ownGroup) != 0)
        return;

    previousGroup = (juce::uint32) setfsgid ((gid_t) identity.getGroupId());
    previousUser = (juce::uint32) setfsuid ((uid_t) identity.getUserId());
    switched = true;
   #else
    juce::ignoreUnused (identity);
   #endif
}

OwnerIdentity::Scope::~Scope()
{
   #if JUCE_LINUX
    if (! switched)
        return;

    // Back to root first: only then may the thread change its groups again.
    setfsuid ((uid_t) previousUser);
    setfsgid ((gid_t) previousGroup);

    juce::HeapBlock<gid_t> groups ((size_t) juce::jmax (1, previousGroups.size()));

    for (int i = 0; i < previousGroups.size(); ++i)
        groups[i] = (gid_t) previousGroups[i];

    syscall (SYS_setgroups, (size_t) previousGroups.size(), groups.get());
   #endif
}
