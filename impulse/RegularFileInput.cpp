#include "RegularFileInput.h"

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace
{
   #if JUCE_WINDOWS
    RegularFileInput::Kind getKindFromAttributes (DWORD attributes)
    {
        if (attributes == INVALID_FILE_ATTRIBUTES)   return RegularFileInput::Kind::missing;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return RegularFileInput::Kind::link;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)   return RegularFileInput::Kind::directory;
        if (attributes & FILE_ATTRIBUTE_DEVICE)      return RegularFileInput::Kind::special;
        return RegularFileInput::Kind::regularFile;
    }
   #else
    RegularFileInput::Kind getKindFromMode (mode_t mode)
    {
        if (S_ISREG (mode))  return RegularFileInput::Kind::regularFile;
        if (S_ISDIR (mode))  return RegularFileInput::Kind::directory;
        if (S_ISLNK (mode))  return RegularFileInput::Kind::link;
        return RegularFileInput::Kind::special;
    }

    bool hasNoWritePermission (mode_t mode)
    {
        return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    }
   #endif
}

RegularFileInput::Kind RegularFileInput::getKindOf (const juce::File& file)
{
   #if JUCE_WINDOWS
    const auto attributes = GetFileAttributesW (file.getFullPathName().toWideCharPointer());

    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND ? Kind::missing : Kind::unknown;

    return getKindFromAttributes (attributes);
   #else
    struct stat info {};

    if (lstat (file.getFullPathName().toRawUTF8(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Kind::missing : Kind::unknown;

    return getKindFromMode (info.st_mode);
   #endif
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

//==============================================================================
RegularFileInput::RegularFileInput (const juce::File& file)
{
   #if JUCE_WINDOWS
    handle = CreateFileW (file.getFullPathName().toWideCharPointer(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);

    if (handle == INVALID_HANDLE_VALUE)
    {
        kind = getKindOf (file);
        return;
    }

    BY_HANDLE_FILE_INFORMATION info {};

    if (GetFileType (handle) != FILE_TYPE_DISK || ! GetFileInformationByHandle (handle, &info)
         || getKindFromAttributes (info.dwFileAttributes) != Kind::regularFile)
    {
        kind = GetFileType (handle) != FILE_TYPE_DISK ? Kind::special : getKindFromAttributes (info.dwFileAttributes);
        CloseHandle (handle);
        handle = invalidHandle;
        return;
    }

    kind = Kind::regularFile;
    length = ((juce::int64) info.nFileSizeHigh << 32) | info.nFileSizeLow;
    markedReadOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
   #else
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer that never comes.
    do
    {
        handle = open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    }
    while (handle < 0 && errno == EINTR);

    if (handle < 0)
    {
        kind = errno == ELOOP ? Kind::link : getKindOf (file);
        return;
    }

    struct stat info {};
    kind = fstat (handle, &info) == 0 ? getKindFromMode (info.st_mode) : Kind::unknown;

    if (kind != Kind::regularFile)
    {
        ::close (handle);
        handle = invalidHandle;
        return;
    }

    length = (juce::int64) info.st_size;
    // Root may write anything, so for root only the permission bits tell what the user protected.
    markedReadOnly = hasNoWritePermission (info.st_mode)
                      || (geteuid() != 0 && access (file.getFullPathName().toRawUTF8(), W_OK) != 0 && errno == EACCES);
   #endif
}

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

bool RegularFileInput::linkAs (const juce::File& newName) const
{
    if (! openedOk())
        return false;

   #if JUCE_WINDOWS
    juce::ignoreUnused (newName);
    return false;
   #else
    // The opened file itself gets the name, whatever its old name points at by now.
    const auto self = "/proc/self/fd/" + juce::String (handle);
    return linkat (AT_FDCWD, self.toRawUTF8(), AT_FDCWD, newName.getFullPathName().toRawUTF8(), AT_SYMLINK_FOLLOW) == 0;
   #endif
}
