#pragma once

#include <install/ImpulseFileEntry.h>

#include <vector>

/**
    The pack as the installer program carries it, read from that program's file by another
    program of the same package: the Debian package's "vok install" carries no copy of its own.

    The installer's file is an ELF program whose section "vok_pack" holds the pack's files in
    install order, each starting on a page of its own (install/embedded). The file is read as
    untrusted input: every offset and size in its headers is checked against its length
    before use, and the section must hold exactly the files listed, of exactly their sizes, so
    that an installer of another build is refused rather than half used. The section is then
    mapped read-only; the entries stay valid while this object lives.
*/
class InstallerProgramPack
{
public:
    /** A file the section must hold: its on-disk name and its length in bytes. */
    struct ListedFile
    {
        juce::String fileName;
        int size = 0;
    };

    /** Opens the program's file (a regular file, never through a link) and checks it
        against the listing; getError() says how that went.
    */
    InstallerProgramPack (const juce::File& program, std::vector<ListedFile> listing);
    ~InstallerProgramPack();

    /** Empty when the pack was found; otherwise one line naming the file and the problem. */
    juce::String getError() const           { return error; }

    /** The listed files, their bytes in the mapped section; empty unless the pack was found. */
    juce::Array<ImpulseFileEntry> getEntries() const;

    /** The section's name, as the installer's build gives it. */
    static constexpr const char* sectionName = "vok_pack";

    /** Each file of the section starts at a multiple of this, the first at the section's start. */
    static constexpr size_t fileAlignment = 4096;

private:
    struct Section
    {
        juce::uint64 offset = 0, size = 0;
    };

    juce::String findSection (juce::InputStream& input, Section& section) const;
    juce::String checkLayout (const Section& section);
    juce::String mapSection (int fileHandle, const Section& section);

    std::vector<ListedFile> listing;
    std::vector<size_t> fileOffsets;
    void* mapping = nullptr;
    size_t mappingSize = 0;
    const char* sectionStart = nullptr;
    juce::String error;

    JUCE_DECLARE_NON_COPYABLE (InstallerProgramPack)
};
