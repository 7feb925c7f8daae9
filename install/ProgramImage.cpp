#include "ProgramImage.h"

#if JUCE_LINUX
 #include <fcntl.h>
 #include <fstream>
 #include <link.h>
 #include <sys/mman.h>
 #include <sys/stat.h>
 #include <sys/sysmacros.h>
 #include <unistd.h>
#endif

namespace
{
   #if JUCE_LINUX
    struct MapsLine
    {
        uintptr_t start = 0, end = 0;
        unsigned long long offset = 0;
        unsigned int major = 0, minor = 0;
        unsigned long long inode = 0;
        bool readOnly = false;
    };

    // The kernel writes each line of /proc/self/maps as
    // "start-end perms offset major:minor inode [path]", all numbers but the inode in hex.
    bool parseMapsLine (const std::string& text, MapsLine& line)
    {
        unsigned long long start = 0, end = 0;
        char permissions[8] = {};

        if (std::sscanf (text.c_str(), "%llx-%llx %7s %llx %x:%x %llu", &start, &end, permissions,
                         &line.offset, &line.major, &line.minor, &line.inode) != 7)
            return false;

        line.start = (uintptr_t) start;
        line.end = (uintptr_t) end;
        line.readOnly = permissions[0] == 'r' && permissions[1] == '-';
        return line.start < line.end;
    }

    struct AddressRange
    {
        uintptr_t start = 0, end = 0;

        bool overlaps (uintptr_t otherStart, uintptr_t otherEnd) const noexcept
        {
            return start < otherEnd && otherStart < end;
        }
    };

    // The part the loader writes relocations into before it makes it read-only: there the
    // memory no longer matches the file.
    AddressRange findProgramsRelocatedPart()
    {
        AddressRange relocated;

        dl_iterate_phdr ([] (dl_phdr_info* info, size_t, void* result) -> int
        {
            for (int i = 0; i < info->dlpi_phnum; ++i)
            {
                const auto& header = info->dlpi_phdr[i];

                if (header.p_type == PT_GNU_RELRO)
                {
                    const auto start = (uintptr_t) (info->dlpi_addr + header.p_vaddr);
                    *static_cast<AddressRange*> (result) = { start, start + (uintptr_t) header.p_memsz };
                }
            }

            return 1;   // the program itself comes first; libraries don't matter here
        }, &relocated);

        return relocated;
    }
   #endif
}

//==============================================================================
const ProgramImage& ProgramImage::getInstance()
{
    static const ProgramImage image;
    return image;
}

ProgramImage::ProgramImage()
{
   #if JUCE_LINUX
    // /proc/self/exe is the very file the program was started from, whatever its name points
    // at now; only the mappings of that file (same device and inode) are taken. Started
    // through the dynamic loader, the program's file is the loader's, no mapping matches,
    // and nothing is ever found.
    fileHandle = open ("/proc/self/exe", O_RDONLY | O_CLOEXEC);

    struct stat info {};

    if (fileHandle < 0 || fstat (fileHandle, &info) != 0 || ! S_ISREG (info.st_mode))
        return;

    // Only parts that were never writable hold what the file holds: the program's own data
    // changes in memory, and so do the relocated parts, though read-only by now.
    const auto relocated = findProgramsRelocatedPart();
    std::ifstream maps ("/proc/self/maps");
    std::string text;

    while (std::getline (maps, text))
    {
        MapsLine line;

        if (parseMapsLine (text, line) && line.readOnly && ! relocated.overlaps (line.start, line.end)
             && line.inode == (unsigned long long) info.st_ino && makedev (line.major, line.minor) == info.st_dev)
            parts.push_back ({ line.start, line.end, (juce::int64) line.offset });
    }
   #endif
}

ProgramImage::~ProgramImage()
{
   #if JUCE_LINUX
    if (fileHandle >= 0)
        close (fileHandle);
   #endif
}

juce::int64 ProgramImage::findFileOffset (const void* data, size_t size) const
{
    const auto start = reinterpret_cast<uintptr_t> (data);

    for (auto& part : parts)
        if (start >= part.start && start < part.end && size <= part.end - start)
            return part.fileOffset + (juce::int64) (start - part.start);

    return -1;
}

void ProgramImage::mapIn (const void* data, size_t size)
{
    constexpr size_t pageSize = 4096;
    const auto* bytes = static_cast<const char*> (data);

    if (size == 0)
        return;

   #if JUCE_LINUX && defined (MADV_POPULATE_READ)
    const auto first = reinterpret_cast<uintptr_t> (bytes) & ~(uintptr_t) (pageSize - 1);
    const auto end = reinterpret_cast<uintptr_t> (bytes) + size;

    if (madvise (reinterpret_cast<void*> (first), end - first, MADV_POPULATE_READ) == 0)
        return;
   #endif

    // Where the system can't map a range in with one call, reading one byte of every page
    // still spares the copy its interruptions.
    volatile char sink = 0;

    for (size_t i = 0; i < size; i += pageSize)
        sink = sink + bytes[i];
}
