#include <safeio/OpenFolder.h>

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <cerrno>
 #include <cstdio>
 #include <dirent.h>
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace
{
    // As many links as the system itself follows in one path.
    constexpr int maxLinksFollowed = 40;

    juce::String describeLink (const juce::File& link)
    {
        return link.getFullPathName() + " is a link, which is never followed";
    }

   #if ! JUCE_WINDOWS
    template <typename Call>
    auto retryInterrupted (Call&& call)
    {
        for (;;)
        {
            const auto result = call();

            if (result >= 0 || errno != EINTR)
                return result;
        }
    }

    FileKind getKindFromMode (mode_t mode)
    {
        if (S_ISREG (mode))  return FileKind::regularFile;
        if (S_ISDIR (mode))  return FileKind::directory;
        if (S_ISLNK (mode))  return FileKind::link;
        return FileKind::special;
    }

    /** The target of the link that handle (opened with O_PATH | O_NOFOLLOW) stands for. */
    bool readLinkTarget (int handle, juce::String& target)
    {
        char buffer[4096];
        const auto length = readlinkat (handle, "", buffer, sizeof (buffer));

        if (length <= 0 || (size_t) length >= sizeof (buffer))
            return false;

        target = juce::String::fromUTF8 (buffer, (int) length);
        return true;
    }

    /**
        Walks a path one folder at a time, each opened relative to the one before and never
        through a link unless the walking identity trusts it. The identity is handed down as
        the walk enters folders (a privileged walk becomes the first non-root owner it meets).
    */
    class FolderWalk
    {
    public:
        FolderWalk (int start, OwnerIdentity identityToUse, juce::File shownStart)
            : handle (start), identity (identityToUse), shown (std::move (shownStart))
        {
        }

        ~FolderWalk()
        {
            if (handle >= 0)
                ::close (handle);
        }

        bool walk (const juce::String& path, OpenFolder::Missing missing)
        {
            for (auto& part : juce::StringArray::fromTokens (path, "/", {}))
                if (part.isNotEmpty() && part != "." && ! step (part, missing))
                    return false;

            return true;
        }

        int release()                                { return std::exchange (handle, -1); }
        const OwnerIdentity& getIdentity() const     { return identity; }
        const juce::String& getFailure() const       { return failure; }

    private:
        bool step (const juce::String& name, OpenFolder::Missing missing)
        {
            const auto child = shown.getChildFile (name);
            auto next = openChild (name);

            if (next < 0 && errno == ENOENT && missing == OpenFolder::Missing::create)
            {
                const OwnerIdentity::Scope scope (identity);

                if (mkdirat (handle, name.toRawUTF8(), 0777) != 0 && errno != EEXIST)
                    return fail ("Can't create the folder " + child.getFullPathName());

                next = openChild (name);
            }

            if (next < 0 && (errno == ELOOP || errno == ENOTDIR))
                return followLink (name, child, missing);

            if (next < 0)
                return fail ((errno == ENOENT ? "There is no folder " : "Can't open the folder ") + child.getFullPathName());

            enter (next, child);
            return true;
        }

        int openChild (const juce::String& name) const
        {
            const OwnerIdentity::Scope scope (identity);
            return retryInterrupted ([&] { return openat (handle, name.toRawUTF8(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); });
        }

        void enter (int next, const juce::File& child)
        {
            struct stat info {};

            // Only a privileged identity takes on a folder's owner; the others need not look.
            if (identity.isPrivileged() && fstat (next, &info) == 0)
                identity = identity.enteringFolderOf ((juce::uint32) info.st_uid, (juce::uint32) info.st_gid);

            ::close (handle);
            handle = next;
            shown = child;
        }

        bool followLink (const juce::String& name, const juce::File& child, OpenFolder::Missing missing)
        {
            juce::String target;

            if (! readTrustedLink (handle, name, identity, target))
                return fail (errno == ENOTDIR ? child.getFullPathName() + " is not a folder" : describeLink (child));

            if (++linksFollowed > maxLinksFollowed)
                return fail ("Too many links on the way to " + child.getFullPathName());

            if (target.startsWithChar ('/'))
            {
                ::close (handle);
                handle = ::open ("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                shown = juce::File ("/");
            }

            // The walk goes on from where the link leads, with the rights it has reached.
            return walk (target, missing);
        }

        bool fail (const juce::String& message)
        {
            failure = message;
            return false;
        }

        int handle;
        OwnerIdentity identity;
        juce::File shown;
        juce::String failure;
        int linksFollowed = 0;

    public:
        /** Reads the link at name in folder when identity trusts its maker; false (errno
            ENOTDIR for something that is not a link) otherwise.
        */
        static bool readTrustedLink (int folder, const juce::String& name, const OwnerIdentity& identity, juce::String& target)
        {
            const OwnerIdentity::Scope scope (identity);
            const auto link = openat (folder, name.toRawUTF8(), O_PATH | O_NOFOLLOW | O_CLOEXEC);

            if (link < 0)
                return false;

            struct stat linkInfo {}, folderInfo {};
            const bool isLink = fstat (link, &linkInfo) == 0 && S_ISLNK (linkInfo.st_mode);
            const bool trusted = isLink && fstat (folder, &folderInfo) == 0
                                  && identity.trustsLink ((juce::uint32) linkInfo.st_uid, (juce::uint32) folderInfo.st_uid,
                                                          (folderInfo.st_mode & S_IWOTH) != 0);
            const bool read = trusted && readLinkTarget (link, target);
            ::close (link);

            // Callers tell a link that is refused from a name that is no link at all.
            if (! read)
                errno = isLink ? ELOOP : ENOTDIR;

            return read;
        }
    };
   #endif
}

//==============================================================================
OpenFolder::OpenFolder (const juce::File& folderToUse, Handle handleToUse, OwnerIdentity identityToUse)
    : folder (folderToUse), handle (handleToUse), identity (identityToUse)
{
}

OpenFolder::~OpenFolder()
{
   #if JUCE_WINDOWS
    CloseHandle (handle);
   #else
    ::close (handle);
   #endif
}

std::unique_ptr<OpenFolder> OpenFolder::openParentOf (const juce::File& file, Missing missing, juce::String& failure)
{
    return open (file.getParentDirectory(), missing, failure);
}

#if JUCE_WINDOWS
//==============================================================================
std::unique_ptr<OpenFolder> OpenFolder::open (const juce::File& folder, Missing missing, juce::String& failure)
{
    if (missing == Missing::create && ! folder.isDirectory() && folder.createDirectory().failed())
    {
        failure = "Can't create the folder " + folder.getFullPathName();
        return {};
    }

    // Held without sharing deletion, so the folder can't be renamed or replaced meanwhile.
    const auto handle = CreateFileW (folder.getFullPathName().toWideCharPointer(), FILE_LIST_DIRECTORY,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);

    if (handle == INVALID_HANDLE_VALUE)
    {
        failure = (folder.exists() ? "Can't open the folder " : "There is no folder ") + folder.getFullPathName();
        return {};
    }

    // Backup semantics open a plain file as well as a folder.
    BY_HANDLE_FILE_INFORMATION info {};

    if (! GetFileInformationByHandle (handle, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        CloseHandle (handle);
        failure = folder.getFullPathName() + " is not a folder";
        return {};
    }

    return std::unique_ptr<OpenFolder> (new OpenFolder (folder, handle, OwnerIdentity::ofProcess()));
}

FileKind OpenFolder::getKindOf (const juce::String& name) const
{
    const auto attributes = GetFileAttributesW (getChildFile (name).getFullPathName().toWideCharPointer());

    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND ? FileKind::missing : FileKind::unknown;

    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)  return FileKind::link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)      return FileKind::directory;
    if (attributes & FILE_ATTRIBUTE_DEVICE)         return FileKind::special;
    return FileKind::regularFile;
}

OpenFolder::Location OpenFolder::resolve (const juce::String& name, juce::String& failure) const
{
    // Links are not followed on Windows: a reparse point is refused where a file is opened.
    juce::ignoreUnused (failure);
    juce::String ignored;
    return { open (folder, Missing::fail, ignored), name };
}

bool OpenFolder::renameOver (const juce::String& from, const juce::String& to) const
{
    // Written through, so the rename reaches the disk only after the data it puts in place.
    return MoveFileExW (getChildFile (from).getFullPathName().toWideCharPointer(), getChildFile (to).getFullPathName().toWideCharPointer(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool OpenFolder::renameToNewName (const juce::String& from, const juce::String& to) const
{
    return MoveFileExW (getChildFile (from).getFullPathName().toWideCharPointer(), getChildFile (to).getFullPathName().toWideCharPointer(),
                        MOVEFILE_WRITE_THROUGH) != 0;
}

bool OpenFolder::remove (const juce::String& name) const
{
    return DeleteFileW (getChildFile (name).getFullPathName().toWideCharPointer()) != 0;
}

bool OpenFolder::sync() const
{
    // MOVEFILE_WRITE_THROUGH has put every rename on the disk already.
    return true;
}

juce::StringArray OpenFolder::getFileNames() const
{
    juce::StringArray names;

    for (auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findFiles))
        if (getKindOf (entry.getFile().getFileName()) == FileKind::regularFile)
            names.add (entry.getFile().getFileName());

    return names;
}
#else
//==============================================================================
std::unique_ptr<OpenFolder> OpenFolder::open (const juce::File& folder, Missing missing, juce::String& failure)
{
    FolderWalk walk (::open ("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC), OwnerIdentity::ofProcess(), juce::File ("/"));

    if (! walk.walk (folder.getFullPathName(), missing))
    {
        failure = walk.getFailure();
        return {};
    }

    const auto identity = walk.getIdentity();
    return std::unique_ptr<OpenFolder> (new OpenFolder (folder, walk.release(), identity));
}

int OpenFolder::openAt (const juce::String& name, int flags, int mode) const
{
    const OwnerIdentity::Scope scope (identity);
    return retryInterrupted ([&] { return openat (handle, name.toRawUTF8(), flags | O_CLOEXEC, (mode_t) mode); });
}

bool OpenFolder::lookAt (const juce::String& name, struct stat& info) const
{
    const OwnerIdentity::Scope scope (identity);
    return fstatat (handle, name.toRawUTF8(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

FileKind OpenFolder::getKindOf (const juce::String& name) const
{
    struct stat info {};

    if (! lookAt (name, info))
        return errno == ENOENT || errno == ENOTDIR ? FileKind::missing : FileKind::unknown;

    return getKindFromMode (info.st_mode);
}

OpenFolder::Location OpenFolder::resolve (const juce::String& name, juce::String& failure) const
{
    Location location { std::unique_ptr<OpenFolder> (new OpenFolder (folder, dup (handle), identity)), name };

    for (int followed = 0; location.folder->getKindOf (location.name) == FileKind::link; ++followed)
    {
        const auto& here = *location.folder;
        const auto link = here.getChildFile (location.name);
        juce::String target;

        if (followed >= maxLinksFollowed || ! FolderWalk::readTrustedLink (here.handle, location.name, here.identity, target))
        {
            failure = describeLink (link);
            return {};
        }

        // The folder part of the target is walked from the link's folder (or the root), the
        // last name is looked at again by the loop.
        const auto absolute = target.startsWithChar ('/');
        const auto folderPart = target.upToLastOccurrenceOf ("/", false, false);
        FolderWalk walk (absolute ? ::open ("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : dup (here.handle), here.identity,
                         absolute ? juce::File ("/") : here.folder);

        if (! walk.walk (folderPart, Missing::fail))
        {
            failure = walk.getFailure();
            return {};
        }

        const auto shownFolder = absolute ? juce::File ("/").getChildFile (folderPart) : here.folder.getChildFile (folderPart);
        const auto reachedIdentity = walk.getIdentity();
        location = { std::unique_ptr<OpenFolder> (new OpenFolder (shownFolder, walk.release(), reachedIdentity)),
                     target.fromLastOccurrenceOf ("/", false, false) };
    }

    return location;
}

bool OpenFolder::renameOver (const juce::String& from, const juce::String& to) const
{
    const OwnerIdentity::Scope scope (identity);
    return renameat (handle, from.toRawUTF8(), handle, to.toRawUTF8()) == 0;
}

// A rename that may not replace, or else a second name made with link(2), fails when the
// name is taken, whatever is there; where the file system has neither, the file is renamed
// only while nothing is there.
bool OpenFolder::renameToNewName (const juce::String& from, const juce::String& to) const
{
    const OwnerIdentity::Scope scope (identity);
    const auto* fromName = from.toRawUTF8();
    const auto* toName = to.toRawUTF8();

   #if defined (RENAME_NOREPLACE)
    if (renameat2 (handle, fromName, handle, toName, RENAME_NOREPLACE) == 0)
        return true;

    if (errno == EEXIST)
        return false;
   #endif

    if (linkat (handle, fromName, handle, toName, 0) == 0)
    {
        unlinkat (handle, fromName, 0);
        return true;
    }

    struct stat existing {};

    if (errno == EEXIST || fstatat (handle, toName, &existing, AT_SYMLINK_NOFOLLOW) == 0)
        return false;

    return renameat (handle, fromName, handle, toName) == 0;
}

bool OpenFolder::linkAs (int fileHandle, const juce::String& name) const
{
    // The opened file itself gets the name, whatever its old name points at by now.
    const OwnerIdentity::Scope scope (identity);
    const auto self = "/proc/self/fd/" + juce::String (fileHandle);
    return linkat (AT_FDCWD, self.toRawUTF8(), handle, name.toRawUTF8(), AT_SYMLINK_FOLLOW) == 0;
}

bool OpenFolder::remove (const juce::String& name) const
{
    const OwnerIdentity::Scope scope (identity);
    return unlinkat (handle, name.toRawUTF8(), 0) == 0;
}

bool OpenFolder::sync() const
{
    return retryInterrupted ([this] { return fsync (handle); }) == 0;
}

juce::StringArray OpenFolder::getFileNames() const
{
    juce::StringArray names;
    const auto listing = openAt (".", O_RDONLY | O_DIRECTORY);

    if (listing < 0)
        return names;

    auto* entries = fdopendir (listing);

    if (entries == nullptr)
    {
        ::close (listing);
        return names;
    }

    while (auto* entry = readdir (entries))
    {
        const auto name = juce::String::fromUTF8 (entry->d_name);

        // Most file systems say what an entry is; the others are asked.
        if (entry->d_type == DT_REG || (entry->d_type == DT_UNKNOWN && getKindOf (name) == FileKind::regularFile))
            names.add (name);
    }

    closedir (entries);
    return names;
}
#endif
