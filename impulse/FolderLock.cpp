#include "FolderLock.h"

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/file.h>
 #include <unistd.h>
#endif

namespace
{
    constexpr int retryIntervalMs = 20;

   #if JUCE_WINDOWS
    constexpr const char* lockFileName = ".vok-writer.lock";
   #endif
}

FolderLock::FolderLock (const juce::File& folder, int timeoutMs)
{
   #if JUCE_WINDOWS
    // Opened without sharing, so a second writer's open fails until this one closes; the file
    // goes when it is closed (a writer that finds it about to go tries again). The reparse-point
    // flag opens a link in its place as itself, never its target.
    const auto lockFile = folder.getChildFile (lockFileName).getFullPathName();

    const auto tryLock = [this, lockFile]
    {
        handle = CreateFileW (lockFile.toWideCharPointer(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

        if (handle != INVALID_HANDLE_VALUE)
            return true;

        // Another writer holds the file, or has just closed it and it is about to go.
        const auto error = GetLastError();
        handle = nullptr;
        heldByAnother = error == ERROR_SHARING_VIOLATION
                         || (error == ERROR_ACCESS_DENIED && GetFileAttributesW (lockFile.toWideCharPointer()) != INVALID_FILE_ATTRIBUTES);
        return false;
    };

    if (! folder.isDirectory())
        return;
   #else
    handle = open (folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

    if (handle < 0)
        return;

    const auto tryLock = [this]
    {
        if (flock (handle, LOCK_EX | LOCK_NB) == 0)
            return true;

        heldByAnother = errno == EWOULDBLOCK;
        return false;
    };
   #endif

    // Polled rather than blocking, so that the wait has a limit on every system.
    const auto deadline = juce::Time::getMillisecondCounterHiRes() + timeoutMs;

    while (! (locked = tryLock()) && heldByAnother && juce::Time::getMillisecondCounterHiRes() < deadline)
        juce::Thread::sleep (retryIntervalMs);

    heldByAnother = heldByAnother && ! locked;
}

FolderLock::~FolderLock()
{
   #if JUCE_WINDOWS
    if (handle != nullptr)
        CloseHandle (handle);
   #else
    if (handle >= 0)
        ::close (handle);
   #endif
}

juce::String FolderLock::describeFailure (const juce::File& folder)
{
    return "Can't lock " + folder.getFullPathName() + ": another installation or vok command is changing its files";
}
