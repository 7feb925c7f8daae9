#include <safeio/RegularFileInput.h>

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <sys/uio.h>
 #include <unistd.h>
#endif

RegularFileInput::Kind RegularFileInput::getKindOf (const juce::File& file)
{
    juce::String failure;
    const auto folder = OpenFolder::openParentOf (file, OpenFolder::Missing::fail, failure);

    if (folder == nullptr)
        return file.getParentDirectory().isDirectory() ? Kind::unknown : Kind::missing;

    return folder->getKindOf (file.getFileName());
}

juce::String RegularFileInput::describe (const juce::File& file, Kind kind)
{
    const auto path = file.getFullPathName();

    switch (kind)
    {
        case Kind::directory:  return path + " is a Directory";
        case Kind::link:       return path + " is a link, which is never followed";
        case Kind::special:    return path + " is not a regular file (a FIFO, device or socket)";
        case Kind::unknown:    return "Can't look at " + path;
        case Kind::missing:
        case Kind::regularFile:
        default:               return {};
    }
}

juce::String RegularFileInput::describeProtection() const
{
    if (markedReadOnly)
        return "the file is read-only";

    return writable ? juce::String() : "the file belongs to another user";
}

//==============================================================================
RegularFileInput::RegularFileInput (const juce::File& file, Links links)
{
    const auto folder = OpenFolder::openParentOf (file, OpenFolder::Missing::fail, failure);

    if (folder == nullptr)
    {
        kind = file.getParentDirectory().isDirectory() ? Kind::unknown : Kind::missing;

        if (kind == Kind::missing)
            failure.clear();

        return;
    }

    if (links == Links::neverFollowed)
        openIn (*folder, file.getFileName(), file);
    else
        openFollowingTrustedLinks (*folder, file.getFileName());
}

RegularFileInput::RegularFileInput (const OpenFolder& folder, const juce::String& name, Links links)
{
    if (links == Links::neverFollowed)
        openIn (folder, name, folder.getChildFile (name));
    else
        openFollowingTrustedLinks (folder, name);
}

// Most names are no link and are opened straight away: the open never follows a link, so a
// link fails it, and only then is the link resolved and what it leads to opened the same way.
void RegularFileInput::openFollowingTrustedLinks (const OpenFolder& folder, const juce::String& name)
{
    openIn (folder, name, folder.getChildFile (name));

    if (kind != Kind::link)
        return;

    failure.clear();
    const auto location = folder.resolve (name, failure);

    if (location.folder == nullptr)
        return;

    kind = Kind::unknown;
    openIn (*location.folder, location.name, location.folder->getChildFile (location.name));
}

#if JUCE_WINDOWS
void RegularFileInput::openIn (const OpenFolder& folder, const juce::String& name, const juce::File& shown)
{
    juce::ignoreUnused (folder);

    // The reparse-point flag opens a link in its place as itself, which is then refused.
    handle = CreateFileW (shown.getFullPathName().toWideCharPointer(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);

    if (handle == INVALID_HANDLE_VALUE)
    {
        kind = folder.getKindOf (name);
        failure = describe (shown, kind);
        return;
    }

    BY_HANDLE_FILE_INFORMATION info {};
    const bool isDisk = GetFileType (handle) == FILE_TYPE_DISK;

    if (! isDisk || ! GetFileInformationByHandle (handle, &info)
         || (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0)
    {
        kind = ! isDisk ? Kind::special
             : (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? Kind::link
                                                                           : Kind::directory;
        failure = describe (shown, kind);
        CloseHandle (handle);
        handle = invalidHandle;
        return;
    }

    kind = Kind::regularFile;
    length = ((juce::int64) info.nFileSizeHigh << 32) | info.nFileSizeLow;
    markedReadOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
}
#else
void RegularFileInput::openIn (const OpenFolder& folder, const juce::String& name, const juce::File& shown)
{
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer that never comes.
    handle = folder.openAt (name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);

    if (handle < 0)
    {
        kind = errno == ELOOP ? Kind::link : folder.getKindOf (name);

        if (kind == Kind::regularFile)
            kind = Kind::unknown;   // there, but not readable by the user working in the folder

        failure = kind == Kind::unknown ? "Can't read " + shown.getFullPathName() : describe (shown, kind);
        return;
    }

    struct stat info {};
    kind = fstat (handle, &info) == 0 ? (S_ISREG (info.st_mode) ? Kind::regularFile : S_ISDIR (info.st_mode) ? Kind::directory : Kind::special)
                                      : Kind::unknown;

    if (kind != Kind::regularFile)
    {
        failure = describe (shown, kind);
        ::close (handle);
        handle = invalidHandle;
        return;
    }

    length = (juce::int64) info.st_size;
    mode = (int) (info.st_mode & 07777);
    markedReadOnly = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;

    // A file of the running program's own user (root's, left by an earlier privileged run in a
    // user's folder) is its own to replace, whoever it works as there. Any other is asked about
    // with the rights of the user working in the folder: for root working as root only the
    // permission bits above tell what the user protected.
    writable = info.st_uid == geteuid() || isWritableBy (folder, name);
}

bool RegularFileInput::isWritableBy (const OpenFolder& folder, const juce::String& name)
{
    const OwnerIdentity::Scope scope (folder.getIdentity());
    return faccessat (folder.getDescriptor(), name.toRawUTF8(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) == 0 || errno != EACCES;
}
#endif

RegularFileInput::~RegularFileInput()
{
    if (! openedOk())
        return;

   #if JUCE_WINDOWS
    CloseHandle (handle);
   #else
    ::close (handle);
   #endif
}

bool RegularFileInput::setPosition (juce::int64 newPosition)
{
    if (! openedOk() || newPosition < 0)
        return false;

    position = juce::jmin (newPosition, length);
    return true;
}

int RegularFileInput::read (void* destBuffer, int maxBytesToRead)
{
    if (! openedOk() || maxBytesToRead <= 0 || position >= length)
        return 0;

    const auto numToRead = (int) juce::jmin ((juce::int64) maxBytesToRead, length - position);

   #if JUCE_WINDOWS
    LARGE_INTEGER offset {};
    offset.QuadPart = position;
    DWORD numRead = 0;

    if (! SetFilePointerEx (handle, offset, nullptr, FILE_BEGIN)
         || ! ReadFile (handle, destBuffer, (DWORD) numToRead, &numRead, nullptr))
        return 0;
   #else
    ssize_t numRead;

    do
    {
        numRead = pread (handle, destBuffer, (size_t) numToRead, (off_t) position);
    }
    while (numRead < 0 && errno == EINTR);

    if (numRead <= 0)
        return 0;
   #endif

    position += (juce::int64) numRead;
    return (int) numRead;
}

int RegularFileInput::readFollowedBy (void* dest, int numBytes, void* ahead, int numAheadBytes)
{
   #if JUCE_WINDOWS
    // ReadFile fills one buffer only.
    juce::ignoreUnused (ahead, numAheadBytes);
    return read (dest, numBytes);
   #else
    if (! openedOk() || numBytes <= 0 || position >= length)
        return 0;

    const auto numToRead = (int) juce::jmin ((juce::int64) numBytes, length - position);
    const auto numAheadToRead = (int) juce::jlimit ((juce::int64) 0, (juce::int64) juce::jmax (0, numAheadBytes),
                                                    length - position - numToRead);
    iovec pieces[] { { dest, (size_t) numToRead }, { ahead, (size_t) numAheadToRead } };
    ssize_t numRead;

    do
    {
        numRead = preadv (handle, pieces, numAheadToRead > 0 ? 2 : 1, (off_t) position);
    }
    while (numRead < 0 && errno == EINTR);

    if (numRead <= 0)
        return 0;

    position += (juce::int64) numRead;
    return (int) numRead;
   #endif
}

std::unique_ptr<RegularFileInput> RegularFileInput::openAgain() const
{
    if (! openedOk())
        return nullptr;

    std::unique_ptr<RegularFileInput> copy (new RegularFileInput());

   #if JUCE_WINDOWS
    if (! DuplicateHandle (GetCurrentProcess(), handle, GetCurrentProcess(), &copy->handle, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return nullptr;
   #else
    copy->handle = fcntl (handle, F_DUPFD_CLOEXEC, 0);

    if (copy->handle < 0)
        return nullptr;
   #endif

    copy->kind = kind;
    copy->length = length;
    copy->markedReadOnly = markedReadOnly;
    copy->writable = writable;
    copy->mode = mode;
    return copy;
}

bool RegularFileInput::linkAs (const OpenFolder& folder, const juce::String& newName) const
{
    if (! openedOk())
        return false;

   #if JUCE_WINDOWS
    juce::ignoreUnused (folder, newName);
    return false;
   #else
    return folder.linkAs (handle, newName);
   #endif
}
