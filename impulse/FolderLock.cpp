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
    // The reparse-point flag opens a link in the lock file's place as itself, never its target.
    handle = CreateFileW (folder.getChildFile (lockFileName).getFullPathName().toWideCharPointer(),
                          GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);

    if (handle == INVALID_HANDLE_VALUE)
    {
        handle = nullptr;
        return;
    }

    const auto tryLock = [this]
    {
        OVERLAPPED whole {};
        return LockFileEx (handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole) != 0;
    };
   #else
    handle = open (folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

    if (handle < 0)
        return;

    const auto tryLock = [this] { return flock (handle, LOCK_EX | LOCK_NB) == 0; };
   #endif

    // Polled rather than blocking, so that the wait has a limit on every system.
    const auto deadline = juce::Time::getMillisecondCounterHiRes() + timeoutMs;

    while (! (locked = tryLock()) && juce::Time::getMillisecondCounterHiRes() < deadline)
        juce::Thread::sleep (retryIntervalMs);
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
