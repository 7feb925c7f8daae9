#include <safeio/FolderLock.h>

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/file.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace
{
    constexpr int retryIntervalMs = 20;
    constexpr int maxHolderBytes = 200;

    const char* const unknownHolder = "another installation or vok command";

    bool sleepAMoment (const juce::String&)
    {
        juce::Thread::sleep (retryIntervalMs);
        return true;
    }

   #if ! JUCE_WINDOWS
    /** Only those who may write the folder may open its lock file, even for reading: a lock
        can be taken on any open file, so a reader would otherwise hold every writer up.
    */
    mode_t getLockFileMode (const OpenFolder& folder)
    {
        struct stat info {};

        if (fstat (folder.getDescriptor(), &info) != 0)
            return 0600;

        return (mode_t) (0600 | ((info.st_mode & S_IWGRP) != 0 ? 0060 : 0) | ((info.st_mode & S_IWOTH) != 0 ? 0006 : 0));
    }
   #endif
}

FolderLock::FolderLock (const OpenFolder& folder, const juce::String& holderKind, int timeoutMs, Pause pause)
{
    lock (folder, holderKind, timeoutMs, pause);
}

FolderLock::FolderLock (const juce::File& folder, const juce::String& holderKind, int timeoutMs)
{
    juce::String failure;

    if (auto openFolder = OpenFolder::open (folder, OpenFolder::Missing::fail, failure))
        lock (*openFolder, holderKind, timeoutMs, {});
}

void FolderLock::lock (const OpenFolder& folder, const juce::String& holderKind, int timeoutMs, const Pause& pause)
{
    const auto& pauseToUse = pause != nullptr ? pause : Pause (sleepAMoment);

    // Polled rather than blocking, so that the wait has a limit on every system and the
    // window of a waiting installer goes on answering.
    const auto deadline = juce::Time::getMillisecondCounterHiRes() + timeoutMs;

    while (! (locked = tryLock (folder)) && heldByAnother && juce::Time::getMillisecondCounterHiRes() < deadline)
    {
        if (! pauseToUse (readHolder()))
        {
            givenUp = true;
            break;
        }
    }

    heldByAnother = heldByAnother && ! locked;

    if (locked)
        writeHolder (holderKind);
}

#if JUCE_WINDOWS
bool FolderLock::tryLock (const OpenFolder& folder)
{
    // Opened without sharing, so a second writer's open fails until this one closes; the file
    // goes when it is closed (a writer that finds it about to go tries again). The reparse-point
    // flag opens a link in its place as itself, never its target.
    const auto lockFile = folder.getChildFile (lockFileName).getFullPathName();

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
}

juce::String FolderLock::readHolder() const
{
    return unknownHolder;
}

void FolderLock::writeHolder (const juce::String&)
{
}

FolderLock::~FolderLock()
{
    if (handle != nullptr)
        CloseHandle (handle);
}
#else
bool FolderLock::tryLock (const OpenFolder& folder)
{
    if (handle < 0)
    {
        handle = folder.openAt (lockFileName, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, (int) getLockFileMode (folder));

        struct stat info {};

        if (handle >= 0 && (fstat (handle, &info) != 0 || ! S_ISREG (info.st_mode)))
        {
            ::close (handle);
            handle = -1;
        }

        if (handle < 0)
            return false;

        // A lock file whose mode lets more users open it than may write the folder is narrowed
        // by its owner.
        if (info.st_uid == folder.getIdentity().getUserId())
            fchmod (handle, getLockFileMode (folder));
    }

    if (flock (handle, LOCK_EX | LOCK_NB) == 0)
        return true;

    heldByAnother = errno == EWOULDBLOCK;
    return false;
}

juce::String FolderLock::readHolder() const
{
    char text[maxHolderBytes] {};
    const auto numRead = pread (handle, text, sizeof (text), 0);

    if (numRead <= 0)
        return unknownHolder;

    // Written by whoever holds the lock: only printable text of a line is shown.
    juce::String holder;

    for (auto c : juce::String::fromUTF8 (text, (int) numRead))
    {
        if (c == '\n')
            break;

        if (juce::CharacterFunctions::isPrintable (c))
            holder += c;
    }

    return holder.trim().isEmpty() ? juce::String (unknownHolder) : holder.trim();
}

void FolderLock::writeHolder (const juce::String& holderKind)
{
    const auto text = holderKind + " (process " + juce::String ((int) getpid()) + ")\n";

    if (ftruncate (handle, 0) == 0 && pwrite (handle, text.toRawUTF8(), text.getNumBytesAsUTF8(), 0) < 0)
        return; // only a courtesy to those who wait
}

FolderLock::~FolderLock()
{
    // Closing the file releases the lock; the file stays for the next writer.
    if (handle >= 0)
        ::close (handle);
}
#endif

juce::String FolderLock::describeFailure (const juce::File& folder)
{
    return "Can't lock " + folder.getFullPathName() + ": " + unknownHolder + " is changing its files";
}

juce::String FolderLock::describeWaiting (const juce::File& folder, const juce::String& holder)
{
    return "Waiting for " + holder + " to finish changing the files in " + folder.getFullPathName();
}
