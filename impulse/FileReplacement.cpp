#include "FileReplacement.h"
#include "ProgramImage.h"
#include "RegularFileInput.h"

#include <random>

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

    juce::File createSiblingName (const juce::File& target)
    {
        return target.getSiblingFile (target.getFileName() + "." + createRandomPart() + siblingSuffix);
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
    ~Output() override              { close(); }

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

    /** Writes out what is buffered and closes; true when every byte reached the file. */
    bool close()
    {
        if (handle == invalidHandle())
            return false;

        writeOut();
        const bool lengthAgrees = ! failed && getFileLength() == end;
       #if JUCE_WINDOWS
        const bool closed = CloseHandle (handle) != 0;
       #else
        const bool closed = ::close (handle) == 0;
       #endif
        handle = invalidHandle();
        return lengthAgrees && closed;
    }

private:
    void advance (size_t numBytes)
    {
        position += (juce::int64) numBytes;
        end = juce::jmax (end, position);
    }

    // Bytes the program carries in its own file are copied from there by the system; what
    // that can't copy is written from memory.
    void writeLarge (const char* data, size_t numBytes)
    {
        const auto& image = ProgramImage::getInstance();
        const auto fileOffset = image.findFileOffset (data, numBytes);
        const auto copied = fileOffset >= 0 ? copyFromFile (image.getFileHandle(), fileOffset, numBytes) : 0;

        if (fileOffset >= 0)
            ProgramImage::mapIn (data + copied, numBytes - copied);

        writeToFile (data + copied, numBytes - copied);
        advance (numBytes - copied);
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
    FileReplacement::Output::Handle createExclusively (const juce::File& file, const juce::File&)
    {
        // CREATE_NEW fails on any name that exists, a link included, so nothing is opened through one.
        return CreateFileW (file.getFullPathName().toWideCharPointer(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    }

    bool renameOver (const juce::File& from, const juce::File& to)
    {
        return MoveFileExW (from.getFullPathName().toWideCharPointer(), to.getFullPathName().toWideCharPointer(),
                            MOVEFILE_REPLACE_EXISTING) != 0;
    }

    bool renameToNewName (const juce::File& from, const juce::File& to)
    {
        return MoveFileExW (from.getFullPathName().toWideCharPointer(), to.getFullPathName().toWideCharPointer(), 0) != 0;
    }

    void removeFile (const juce::File& file)
    {
        DeleteFileW (file.getFullPathName().toWideCharPointer());
    }
   #else
    void giveTo (int handle, uid_t owner, gid_t group)
    {
        // Best effort: a file system without owners keeps the writer's.
        if (fchown (handle, owner, group) != 0)
            return;
    }

    /** The permissions and owner the new file takes: the old file's, or for a new file the folder's owner. */
    void takeOverOwnership (int handle, const juce::File& target)
    {
        struct stat old {};

        if (lstat (target.getFullPathName().toRawUTF8(), &old) == 0 && S_ISREG (old.st_mode))
        {
            fchmod (handle, old.st_mode & 07777 & ~(mode_t) (S_ISUID | S_ISGID));

            if (geteuid() == 0)
                giveTo (handle, old.st_uid, old.st_gid);

            return;
        }

        // A privileged run that writes into a user's folder (sudo with the user's HOME) must
        // not leave behind files the user can't change.
        struct stat folder {};

        if (geteuid() == 0 && stat (target.getParentDirectory().getFullPathName().toRawUTF8(), &folder) == 0
             && folder.st_uid != 0)
            giveTo (handle, folder.st_uid, folder.st_gid);
    }

    FileReplacement::Output::Handle createExclusively (const juce::File& file, const juce::File& target)
    {
        int handle;

        do
        {
            handle = open (file.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        }
        while (handle < 0 && errno == EINTR);

        if (handle >= 0)
            takeOverOwnership (handle, target);

        return handle;
    }

    bool renameOver (const juce::File& from, const juce::File& to)
    {
        return std::rename (from.getFullPathName().toRawUTF8(), to.getFullPathName().toRawUTF8()) == 0;
    }

    // A rename that may not replace, or else a second name made with link(2), fails when the
    // name is taken, whatever is there; where the file system has neither, the sibling is
    // renamed only while nothing is there.
    bool renameToNewName (const juce::File& from, const juce::File& to)
    {
        const auto* fromPath = from.getFullPathName().toRawUTF8();
        const auto* toPath = to.getFullPathName().toRawUTF8();

       #if defined (RENAME_NOREPLACE)
        if (renameat2 (AT_FDCWD, fromPath, AT_FDCWD, toPath, RENAME_NOREPLACE) == 0)
            return true;

        if (errno == EEXIST)
            return false;
       #endif

        if (link (fromPath, toPath) == 0)
        {
            unlink (fromPath);
            return true;
        }

        struct stat existing {};

        if (errno == EEXIST || lstat (toPath, &existing) == 0)
            return false;

        return std::rename (fromPath, toPath) == 0;
    }

    void removeFile (const juce::File& file)
    {
        unlink (file.getFullPathName().toRawUTF8());
    }
   #endif
}

//==============================================================================
FileReplacement::FileReplacement (const juce::File& targetFile)
    : target (targetFile)
{
    // A taken name means another writer's sibling (or a trap): another random name is tried.
    for (int attempt = 0; attempt < 8 && output == nullptr; ++attempt)
    {
        const auto candidate = createSiblingName (target);
        const auto handle = createExclusively (candidate, target);

        if (handle != Output::invalidHandle())
        {
            sibling = candidate;
            output = std::make_unique<Output> (handle);
        }
    }
}

FileReplacement::~FileReplacement()
{
    if (output != nullptr)
        output->close();

    if (! committed && sibling != juce::File())
        removeFile (sibling);
}

bool FileReplacement::openedOk() const noexcept
{
    return sibling != juce::File();
}

juce::OutputStream& FileReplacement::getStream()
{
    jassert (output != nullptr);
    return *output;
}

bool FileReplacement::finishWriting()
{
    if (output != nullptr)
    {
        written = output->close();
        output.reset();
    }

    return written;
}

bool FileReplacement::replaceTarget()
{
    committed = finishWriting() && renameOver (sibling, target);
    return committed;
}

juce::int64 FileReplacement::copyFromFile (juce::InputStream& source, juce::OutputStream& destination, juce::int64 numBytes)
{
   #if JUCE_LINUX
    auto* file = dynamic_cast<RegularFileInput*> (&source);
    auto* output = dynamic_cast<Output*> (&destination);

    if (file == nullptr || output == nullptr || ! file->openedOk() || numBytes <= 0)
        return 0;

    const auto start = file->getPosition();
    const auto copied = (juce::int64) output->copyFromFile (file->getDescriptor(), start, (size_t) numBytes);
    file->setPosition (start + copied);
    return copied;
   #else
    juce::ignoreUnused (source, destination, numBytes);
    return 0;
   #endif
}

bool FileReplacement::createTarget()
{
    committed = finishWriting() && renameToNewName (sibling, target);
    return committed;
}
