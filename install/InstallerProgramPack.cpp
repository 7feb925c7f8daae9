#include <install/InstallerProgramPack.h>

#include <safeio/RegularFileInput.h>

#include <cstring>

#if JUCE_LINUX
 #include <sys/mman.h>
 #include <unistd.h>
#endif

namespace
{
    // The parts of ELF (the System V ABI's gABI) read here, all little-endian 64-bit fields.
    constexpr size_t elfHeaderSize = 64, sectionHeaderSize = 64;
    constexpr juce::uint32 sectionWithData = 1;                // SHT_PROGBITS
    constexpr juce::uint64 largestNameTable = 1 << 20;         // a program's names take a few KB

    juce::uint64 readLittleEndian (const juce::uint8* bytes, int numBytes)
    {
        juce::uint64 value = 0;

        for (int i = numBytes; --i >= 0;)
            value = (value << 8) | bytes[i];

        return value;
    }

    /** count bytes at offset, or false where the file doesn't hold them all. */
    bool readAt (juce::InputStream& input, juce::uint64 fileSize, juce::uint64 offset, size_t count, juce::MemoryBlock& bytes)
    {
        if (offset > fileSize || count > fileSize - offset)
            return false;

        bytes.setSize (count);
        return input.setPosition ((juce::int64) offset) && input.read (bytes.getData(), (int) count) == (int) count;
    }

    constexpr size_t alignUp (size_t value, size_t alignment)  { return (value + alignment - 1) / alignment * alignment; }
}

InstallerProgramPack::InstallerProgramPack (const juce::File& program, std::vector<ListedFile> filesListed)
    : listing (std::move (filesListed))
{
   #if JUCE_LINUX
    RegularFileInput input (program, RegularFileInput::Links::followedIfTrusted);

    if (! input.openedOk())
    {
        error = input.getFailure().isNotEmpty() ? input.getFailure()
                                                : "the installer program " + program.getFullPathName() + " is missing";
        return;
    }

    Section section;
    auto problem = findSection (input, section);

    if (problem.isEmpty())
        problem = checkLayout (section);

    if (problem.isEmpty())
        problem = mapSection (input.getDescriptor(), section);

    if (problem.isNotEmpty())
        error = "the installer program " + program.getFullPathName() + " " + problem;
   #else
    error = "the pack can be taken from the installer program's file only on Linux (" + program.getFullPathName() + ")";
   #endif
}

InstallerProgramPack::~InstallerProgramPack()
{
   #if JUCE_LINUX
    if (mapping != nullptr)
        munmap (mapping, mappingSize);
   #endif
}

juce::Array<ImpulseFileEntry> InstallerProgramPack::getEntries() const
{
    juce::Array<ImpulseFileEntry> entries;

    if (sectionStart != nullptr)
        for (size_t i = 0; i < listing.size(); ++i)
            entries.add ({ listing[i].fileName, sectionStart + fileOffsets[i], listing[i].size });

    return entries;
}

// The section headers, the table of their names, and the section named sectionName in it.
juce::String InstallerProgramPack::findSection (juce::InputStream& input, Section& section) const
{
    const auto fileSize = (juce::uint64) input.getTotalLength();
    juce::MemoryBlock header;

    if (! readAt (input, fileSize, 0, elfHeaderSize, header) || header.getSize() < 16
         || std::memcmp (header.getData(), "\x7f" "ELF", 4) != 0)
        return "is not an ELF program";

    const auto* fields = static_cast<const juce::uint8*> (header.getData());

    if (fields[4] != 2 || fields[5] != 1)
        return "is not a 64-bit little-endian ELF program";

    const auto headersOffset = readLittleEndian (fields + 0x28, 8);
    const auto headerSize = readLittleEndian (fields + 0x3a, 2);
    const auto numSections = readLittleEndian (fields + 0x3c, 2);
    const auto namesIndex = readLittleEndian (fields + 0x3e, 2);

    // numSections is at most 65535 (more use another encoding, which no build of ours needs).
    juce::MemoryBlock headers;

    if (headerSize != sectionHeaderSize || numSections == 0 || namesIndex >= numSections
         || ! readAt (input, fileSize, headersOffset, (size_t) (numSections * sectionHeaderSize), headers))
        return "has no readable section headers";

    auto sectionAt = [&] (juce::uint64 index)
    {
        return static_cast<const juce::uint8*> (headers.getData()) + index * sectionHeaderSize;
    };

    const auto* namesHeader = sectionAt (namesIndex);
    const auto namesSize = readLittleEndian (namesHeader + 0x20, 8);
    juce::MemoryBlock names;

    if (namesSize > largestNameTable || ! readAt (input, fileSize, readLittleEndian (namesHeader + 0x18, 8), (size_t) namesSize, names))
        return "has no readable section names";

    const auto* nameBytes = static_cast<const char*> (names.getData());
    const auto wanted = juce::String (sectionName);

    for (juce::uint64 index = 0; index < numSections; ++index)
    {
        const auto* entry = sectionAt (index);
        const auto nameOffset = readLittleEndian (entry, 4);
        const auto nameLength = (juce::uint64) wanted.length();

        // The name must lie whole in the table, its terminating zero included.
        if (nameOffset >= namesSize || namesSize - nameOffset <= nameLength
             || std::memcmp (nameBytes + nameOffset, sectionName, (size_t) nameLength + 1) != 0)
            continue;

        section.offset = readLittleEndian (entry + 0x18, 8);
        section.size = readLittleEndian (entry + 0x20, 8);

        if (readLittleEndian (entry + 4, 4) != sectionWithData || section.offset > fileSize || section.size > fileSize - section.offset)
            return "has a damaged section \"" + wanted + "\"";

        return {};
    }

    return "carries no pack (no section \"" + wanted + "\")";
}

// The files follow one another at the next multiple of fileAlignment, the first at the start,
// and end the section.
juce::String InstallerProgramPack::checkLayout (const Section& section)
{
    fileOffsets.clear();
    size_t end = 0;

    for (auto& file : listing)
    {
        const auto start = alignUp (end, fileAlignment);
        fileOffsets.push_back (start);
        end = start + (size_t) file.size;
    }

    if (listing.empty() || end != section.size)
        return "carries another build's pack (" + juce::String ((juce::int64) section.size) + " bytes where this program expects "
                 + juce::String ((juce::int64) end) + "); install vok and vok-setup of the same version";

    return {};
}

juce::String InstallerProgramPack::mapSection (int fileHandle, const Section& section)
{
   #if JUCE_LINUX
    // A mapping starts on a page of the file; the section may start later in that page. A
    // package upgrade puts a new file in the program's place, so the mapped one stays whole.
    const auto pageSize = (juce::uint64) sysconf (_SC_PAGESIZE);
    const auto pageStart = section.offset / pageSize * pageSize;
    const auto lead = (size_t) (section.offset - pageStart);

    mappingSize = lead + (size_t) section.size;
    mapping = mmap (nullptr, mappingSize, PROT_READ, MAP_PRIVATE, fileHandle, (off_t) pageStart);

    if (mapping == MAP_FAILED)
    {
        mapping = nullptr;
        return "can't be mapped: " + juce::String (std::strerror (errno));
    }

    sectionStart = static_cast<const char*> (mapping) + lead;
    return {};
   #else
    juce::ignoreUnused (fileHandle, section);
    return "can't be mapped here";
   #endif
}
