#include <safeio/FileReplacement.h>
#include <safeio/RegularFileInput.h>

#include <cstring>
#include <random>
#include <unordered_set>

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <cerrno>
 #include <cstdio>
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace
{
    constexpr const char* siblingSuffix = ".saving";
    constexpr int randomDigits = 16;
    constexpr size_t bufferSize = 65536;

    juce::String createRandomPart()
    {
        std::random_device source;
        juce::String digits;

        while (digits.length() < randomDigits)
            digits << juce::String::toHexString ((int) source()).paddedLeft ('0', 8);

        return digits.substring (0, randomDigits);
    }

    /** The target's name cut, at a character's end, so that the sibling's whole name stays
        within the file system's limit; every sibling of one target starts with it.
    */
    juce::String getSiblingStem (const juce::String& target)
    {
        const auto maxStemBytes = (size_t) (OpenFolder::maxNameBytes - 1 - randomDigits - (int) std::strlen (siblingSuffix));
        auto stem = target;

        while (stem.getNumBytesAsUTF8() > maxStemBytes)
            stem = stem.dropLastCharacters (1);

        return stem;
    }

    bool isRandomPart (const juce::String& text)
    {
        return text.length() == randomDigits && text.containsOnly ("0123456789abcdef");
    }

    juce::String describeSystemError()
    {
       #if JUCE_WINDOWS
        return juce::String ("Windows error ") + juce::String ((int) GetLastError());
       #else
        return juce::String::fromUTF8 (std::strerror (errno));
       #endif
    }
}

//==============================================================================
/** An output stream over a file this object created; it owns the file's handle. */
class FileReplacement::Output  : public juce::OutputStream
{
public:
   #if JUCE_WINDOWS
    using Handle = HANDLE;
    static Handle invalidHandle()  { return INVALID_HANDLE_VALUE; }
   #else
    using Handle = int;
    static Handle invalidHandle()  { return -1; }
   #endif

    Output (Handle h) : handle (h)  { buffer.malloc (bufferSize); }
    ~Output() override              { close (false); }

    void flush() override           { writeOut(); }
    juce::int64 getPosition() override  { return position; }

    // Writers that fill in a header at the end (WAV) go back to it.
    bool setPosition (juce::int64 newPosition) override
    {
        writeOut();

        if (failed || newPosition < 0 || ! seekTo (newPosition))
            return false;

        position = newPosition;
        return true;
    }

    bool write (const void* data, size_t numBytes) override
    {
        if (failed)
            return false;

        if (numBytes >= bufferSize)
        {
            writeOut();
            writeLarge (static_cast<const char*> (data), numBytes);
            return ! failed;
        }

        if (used + numBytes > bufferSize)
            writeOut();

        std::memcpy (buffer + used, data, numBytes);
        used += numBytes;
        advance (numBytes);
        return true;
    }

    /** Copies bytes of another file to this one inside the system, without passing them
        through memory; returns how many it copied (none where the system can't, for
        instance between file systems), and the caller writes the rest.
    */
    size_t copyFromFile (int sourceHandle, juce::int64 sourceOffset, size_t numBytes)
    {
        size_t copied = 0;

        writeOut();

       #if JUCE_LINUX
        auto offset = (loff_t) sourceOffset;

        while (! failed && sourceHandle >= 0 && copied < numBytes)
        {
            const auto result = copy_file_range (sourceHandle, &offset, handle, nullptr, numBytes - copied, 0);

            if (result < 0 && errno == EINTR)
                continue;

            if (result <= 0)
                break;

            copied += (size_t) result;
        }
       #else
        juce::ignoreUnused (sourceHandle, sourceOffset, numBytes);
       #endif

        advance (copied);
        return copied;
    }

    /** Writes out what is buffered; true when every byte so far reached the file. */
    bool finish()
    {
        writeOut();
        return handle != invalidHandle() && ! failed && getFileLength() == end;
    }

    /** Writes out what is buffered and closes; true when every byte reached the file (and,
        with flushToDisk, the disk itself).
    */
    bool close (bool flushToDisk)
    {
        if (handle == invalidHandle())
            return false;

        const bool lengthAgrees = finish();
        const bool flushed = ! flushToDisk || (lengthAgrees && flushData());
       #if JUCE_WINDOWS
        const bool closed = CloseHandle (handle) != 0;
       #else
        const bool closed = ::close (handle) == 0;
       #endif
        handle = invalidHandle();
        return lengthAgrees && flushed && closed;
    }

    Handle getHandle() const noexcept   { return handle; }

private:
    void advance (size_t numBytes)
    {
        position += (juce::int64) numBytes;
        end = juce::jmax (end, position);
    }

    void writeLarge (const char* data, size_t numBytes)
    {
        writeToFile (data, numBytes);
        advance (numBytes);
    }

    void writeOut()
    {
        if (used > 0)
            writeToFile (buffer, used);

        used = 0;
    }

    // A short write is retried from where it stopped, so only a real failure (a full disk,
    // a size limit) ends the file.
    void writeToFile (const void* data, size_t numBytes)
    {
        auto* bytes = static_cast<const char*> (data);

        while (! failed && numBytes > 0)
        {
            const auto chunk = juce::jmin (numBytes, (size_t) (1 << 30));
           #if JUCE_WINDOWS
            DWORD written = 0;
            failed = ! WriteFile (handle, bytes, (DWORD) chunk, &written, nullptr) || written == 0;
           #else
            const auto written = ::write (handle, bytes, chunk);

            if (written < 0 && errno == EINTR)
                continue;

            failed = written <= 0;
           #endif
            if (! failed)
            {
                bytes += written;
                numBytes -= (size_t) written;
            }
        }
    }

    bool flushData()
    {
       #if JUCE_WINDOWS
        return FlushFileBuffers (handle) != 0;
       #else
        int result;

        do
        {
            result = fdatasync (handle);
        }
        while (result != 0 && errno == EINTR);

        return result == 0;
       #endif
    }

    bool seekTo (juce::int64 newPosition)
    {
       #if JUCE_WINDOWS
        LARGE_INTEGER offset {};
        offset.QuadPart = newPosition;
        return SetFilePointerEx (handle, offset, nullptr, FILE_BEGIN) != 0;
       #else
        return lseek (handle, (off_t) newPosition, SEEK_SET) == (off_t) newPosition;
       #endif
    }

    juce::int64 getFileLength() const
    {
       #if JUCE_WINDOWS
        LARGE_INTEGER size {};
        return GetFileSizeEx (handle, &size) ? (juce::int64) size.QuadPart : -1;
       #else
        struct stat info {};
        return fstat (handle, &info) == 0 ? (juce::int64) info.st_size : -1;
       #endif
    }

    Handle handle;
    juce::HeapBlock<char> buffer;
    size_t used = 0;
    juce::int64 position = 0, end = 0;
    bool failed = false;
};

//==============================================================================
namespace
{
   #if JUCE_WINDOWS
    FileReplacement::Output::Handle createExclusively (const OpenFolder& folder, const juce::String& name, const juce::String&)
    {
        // CREATE_NEW fails on any name that exists, a link included, so nothing is opened through one.
        return CreateFileW (folder.getChildFile (name).getFullPathName().toWideCharPointer(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    }
   #else
    /** The permissions (and, for a privileged writer working as itself, the owner) of the file
        being replaced. A new file keeps the permissions it was created with, by the user
        working in the folder.
    */
    void takeOverFromOldFile (int handle, const OpenFolder& folder, const juce::String& target)
    {
        struct stat old {};

        if (! folder.lookAt (target, old) || ! S_ISREG (old.st_mode))
            return;

        if (fchmod (handle, old.st_mode & 07777 & ~(mode_t) (S_ISUID | S_ISGID)) != 0)
            return; // a file system without permissions keeps the default ones

        if (folder.getIdentity().isPrivileged() && geteuid() == 0 && (old.st_uid != 0 || old.st_gid != 0))
            if (fchown (handle, old.st_uid, old.st_gid) != 0)
                return; // a file system without owners keeps the writer's
    }

    FileReplacement::Output::Handle createExclusively (const OpenFolder& folder, const juce::String& name, const juce::String& target)
    {
        const auto handle = folder.openAt (name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);

        if (handle >= 0)
            takeOverFromOldFile (handle, folder, target);

        return handle;
    }
   #endif
}

//==============================================================================
FileReplacement::FileReplacement (const OpenFolder& folderToUse, const juce::String& nameToReplace)
    : folder (&folderToUse), name (nameToReplace), target (folderToUse.getChildFile (nameToReplace))
{
    create();
}

FileReplacement::FileReplacement (const juce::File& targetFile)
    : name (targetFile.getFileName()), target (targetFile)
{
    juce::String failure;
    ownFolder = OpenFolder::openParentOf (targetFile, OpenFolder::Missing::fail, failure);
    folder = ownFolder.get();

    if (folder == nullptr)
        failureReason = failure;
    else
        create();
}

void FileReplacement::create()
{
    const auto stem = getSiblingStem (name);

    // A taken name means another writer's sibling (or a trap): another random name is tried.
    for (int attempt = 0; attempt < 8 && output == nullptr; ++attempt)
    {
        const auto candidate = stem + "." + createRandomPart() + siblingSuffix;
        const auto handle = createExclusively (*folder, candidate, name);

        if (handle != Output::invalidHandle())
        {
            siblingName = candidate;
            output = std::make_unique<Output> (handle);
        }
        else if (failureReason.isEmpty())
        {
            failureReason = describeSystemError();
        }
    }

    if (output != nullptr)
        failureReason.clear();
}

FileReplacement::~FileReplacement()
{
    if (output != nullptr)
        output->close (false);

    if (! committed && siblingName.isNotEmpty())
        folder->remove (siblingName);
}

bool FileReplacement::openedOk() const noexcept
{
    return siblingName.isNotEmpty();
}

juce::OutputStream& FileReplacement::getStream()
{
    jassert (output != nullptr);
    return *output;
}

bool FileReplacement::remember (bool succeeded)
{
    if (succeeded)
        return true;

   #if JUCE_WINDOWS
    const auto error = GetLastError();
    inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
   #else
    inUse = errno == EBUSY || errno == ETXTBSY;
   #endif

    if (failureReason.isEmpty())
        failureReason = describeSystemError();

    return false;
}

bool FileReplacement::finishWriting()
{
    return output != nullptr && remember (output->finish());
}

bool FileReplacement::close (Flush flush)
{
    if (output != nullptr)
    {
        written = remember (output->close (flush == Flush::toDisk));
        output.reset();
    }

    return written;
}

bool FileReplacement::replaceTarget()
{
    // The data goes to the disk before the rename that drops the old file, which may hold the
    // user's only copy of what it holds.
    committed = close (Flush::toDisk) && remember (folder->renameOver (siblingName, name));
    return committed;
}

bool FileReplacement::createTarget (Flush flush)
{
    committed = close (flush) && remember (folder->renameToNewName (siblingName, name));
    return committed;
}

bool FileReplacement::setPermissions (const RegularFileInput& source)
{
    if (output == nullptr || ! source.openedOk())
        return false;

   #if JUCE_WINDOWS
    return true;    // the new file takes its folder's permissions, as the original did
   #else
    return fchmod (output->getHandle(), (mode_t) source.getMode() & ~(mode_t) (S_ISUID | S_ISGID)) == 0;
   #endif
}

void FileReplacement::removeStaleSiblings (const OpenFolder& folder, const juce::StringArray& names)
{
    std::unordered_set<juce::String> stems;

    for (auto& name : names)
        stems.insert (getSiblingStem (name));

    // "<stem>.<random part>.saving", one listing of the folder for all the names.
    const auto suffixLength = (int) std::strlen (siblingSuffix);

    for (auto& candidate : folder.getFileNames())
    {
        if (! candidate.endsWith (siblingSuffix) || candidate.length() < suffixLength + randomDigits + 2)
            continue;

        const auto withoutSuffix = candidate.dropLastCharacters (suffixLength);
        const auto stem = withoutSuffix.dropLastCharacters (randomDigits + 1);

        if (withoutSuffix[stem.length()] == '.' && isRandomPart (withoutSuffix.substring (stem.length() + 1))
             && stems.count (stem) != 0)
            folder.remove (candidate);
    }
}

void FileReplacement::removeStaleSiblings (const OpenFolder& folder, const juce::String& name)
{
    removeStaleSiblings (folder, juce::StringArray (name));
}

juce::int64 FileReplacement::copyFromFile (juce::InputStream& source, juce::OutputStream& destination, juce::int64 numBytes)
{
   #if JUCE_LINUX
    auto* file = dynamic_cast<RegularFileInput*> (&source);

    if (file == nullptr || ! file->openedOk())
        return 0;

    const auto start = file->getPosition();
    const auto copied = copyFromFile (file->getDescriptor(), start, destination, numBytes);
    file->setPosition (start + copied);
    return copied;
   #else
    juce::ignoreUnused (source, destination, numBytes);
    return 0;
   #endif
}

juce::int64 FileReplacement::copyFromFile (int descriptor, juce::int64 offset, juce::OutputStream& destination, juce::int64 numBytes)
{
   #if JUCE_LINUX
    auto* output = dynamic_cast<Output*> (&destination);

    if (output == nullptr || descriptor < 0 || offset < 0 || numBytes <= 0)
        return 0;

    return (juce::int64) output->copyFromFile (descriptor, offset, (size_t) numBytes);
   #else
    juce::ignoreUnused (descriptor, offset, destination, numBytes);
    return 0;
   #endif
}
