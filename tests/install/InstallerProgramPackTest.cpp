#include <install/InstallerProgramPack.h>
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace
{
    // A program file as a linker lays one out, reduced to what the reader looks at: the ELF
    // header, a "vok_pack" section with two files on pages of their own, the section names
    // and the section headers.
    struct ProgramFile
    {
        static constexpr size_t packOffset = 4096, firstSize = 5000, secondSize = 100;
        static constexpr size_t secondOffset = 8192, packSize = secondOffset + secondSize;
        static constexpr const char names[] = "\0vok_pack\0.shstrtab";    // "vok_pack" at 1, ".shstrtab" at 10

        juce::MemoryBlock bytes;
        size_t namesOffset = 0, headersOffset = 0;

        ProgramFile()
        {
            namesOffset = packOffset + packSize;
            headersOffset = (namesOffset + sizeof (names) + 7) / 8 * 8;
            bytes.setSize (headersOffset + 3 * 64, true);

            const char magic[] = { 0x7f, 'E', 'L', 'F', 2, 1, 1 };
            std::memcpy (at (0), magic, sizeof (magic));
            put (0x28, headersOffset, 8);
            put (0x3a, 64, 2);
            put (0x3c, 3, 2);
            put (0x3e, 2, 2);

            for (size_t i = 0; i < firstSize; ++i)   *at (packOffset + i) = (char) ('a' + i % 26);
            for (size_t i = 0; i < secondSize; ++i)  *at (packOffset + secondOffset + i) = (char) ('A' + i % 26);

            std::memcpy (at (namesOffset), names, sizeof (names));
            setSection (1, 1, 1, packOffset, packSize);
            setSection (2, 10, 3, namesOffset, sizeof (names));
        }

        char* at (size_t offset)    { return static_cast<char*> (bytes.getData()) + offset; }

        void put (size_t offset, juce::uint64 value, int numBytes)
        {
            for (int i = 0; i < numBytes; ++i, value >>= 8)
                *at (offset + (size_t) i) = (char) (value & 0xff);
        }

        void setSection (int index, juce::uint64 name, juce::uint64 type, juce::uint64 offset, juce::uint64 size)
        {
            const auto header = headersOffset + (size_t) index * 64;
            put (header, name, 4);
            put (header + 4, type, 4);
            put (header + 0x18, offset, 8);
            put (header + 0x20, size, 8);
        }
    };

    std::vector<InstallerProgramPack::ListedFile> listing()
    {
        return { { "First.vok", (int) ProgramFile::firstSize }, { "Second.vok", (int) ProgramFile::secondSize } };
    }
}

TEST (InstallerProgramPack, HandsOutTheListedFilesFromTheProgramsSection)
{
    TemporaryFolder folder;
    ProgramFile file;
    const auto program = folder.write ("vok-setup", file.bytes);

    const InstallerProgramPack pack (program, listing());
    ASSERT_EQ (pack.getError(), "");

    const auto entries = pack.getEntries();
    ASSERT_EQ (entries.size(), 2);
    EXPECT_EQ (entries[0].fileName, "First.vok");
    EXPECT_EQ (entries[1].fileName, "Second.vok");
    ASSERT_EQ (entries[0].size, (int) ProgramFile::firstSize);
    ASSERT_EQ (entries[1].size, (int) ProgramFile::secondSize);
    EXPECT_EQ (std::memcmp (entries[0].data, file.at (ProgramFile::packOffset), ProgramFile::firstSize), 0);
    EXPECT_EQ (std::memcmp (entries[1].data, file.at (ProgramFile::packOffset + ProgramFile::secondOffset), ProgramFile::secondSize), 0);
}

struct DamagedProgramCase
{
    const char* name;
    std::function<void (ProgramFile&)> damage;
    const char* error;      // what the message must say after the program's path
};

class InstallerProgramPackDamaged : public ::testing::TestWithParam<DamagedProgramCase> {};

// Whatever the file holds, nothing is read outside it and the message says what is wrong.
TEST_P (InstallerProgramPackDamaged, IsRefusedWithTheReason)
{
    TemporaryFolder folder;
    ProgramFile file;
    GetParam().damage (file);
    const auto program = folder.write ("vok-setup", file.bytes);

    const InstallerProgramPack pack (program, listing());
    EXPECT_EQ (pack.getError(), "the installer program " + program.getFullPathName() + " " + GetParam().error);
    EXPECT_TRUE (pack.getEntries().isEmpty());
}

INSTANTIATE_TEST_SUITE_P (Cases, InstallerProgramPackDamaged, ::testing::Values (
    DamagedProgramCase { "notAProgram", [] (ProgramFile& f) { f.bytes.fillWith ('#'); }, "is not an ELF program" },
    DamagedProgramCase { "shorterThanItsHeader", [] (ProgramFile& f) { f.bytes.setSize (40); }, "is not an ELF program" },
    DamagedProgramCase { "thirtyTwoBit", [] (ProgramFile& f) { *f.at (4) = 1; }, "is not a 64-bit little-endian ELF program" },
    DamagedProgramCase { "headersCutOff", [] (ProgramFile& f) { f.bytes.setSize (f.headersOffset + 100); },
                         "has no readable section headers" },
    DamagedProgramCase { "headersFarBeyondTheEnd", [] (ProgramFile& f) { f.put (0x28, ~(juce::uint64) 0 - 8, 8); },
                         "has no readable section headers" },
    DamagedProgramCase { "namesIndexTooLarge", [] (ProgramFile& f) { f.put (0x3e, 3, 2); }, "has no readable section headers" },
    DamagedProgramCase { "namesBeyondTheEnd", [] (ProgramFile& f) { f.setSection (2, 10, 3, f.bytes.getSize() - 4, 64); },
                         "has no readable section names" },
    DamagedProgramCase { "nameOutsideTheNames", [] (ProgramFile& f) { f.setSection (1, 4000000000u, 1, ProgramFile::packOffset, ProgramFile::packSize); },
                         "carries no pack (no section \"vok_pack\")" },
    DamagedProgramCase { "sectionBeyondTheEnd", [] (ProgramFile& f) { f.setSection (1, 1, 1, ProgramFile::packOffset, ~(juce::uint64) 0); },
                         "has a damaged section \"vok_pack\"" },
    DamagedProgramCase { "sectionWithoutData", [] (ProgramFile& f) { f.setSection (1, 1, 8, ProgramFile::packOffset, ProgramFile::packSize); },
                         "has a damaged section \"vok_pack\"" },
    DamagedProgramCase { "anotherBuildsPack", [] (ProgramFile& f) { f.setSection (1, 1, 1, ProgramFile::packOffset, ProgramFile::packSize - 1); },
                         "carries another build's pack (8291 bytes where this program expects 8292); install vok and vok-setup of the same version" }),
    [] (const auto& info) { return std::string (info.param.name); });

TEST (InstallerProgramPack, AMissingProgramIsNamed)
{
    TemporaryFolder folder;
    const auto program = folder.getFile ("vok-setup");
    const InstallerProgramPack pack (program, listing());
    EXPECT_EQ (pack.getError(), "the installer program " + program.getFullPathName() + " is missing");
}
