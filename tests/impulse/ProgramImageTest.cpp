// Bytes the program carries are copied into new files from the program's own file; the copy
// must be byte for byte what the program holds, on the same file system and on another.

#include "TemporaryFolder.h"

#include <FileReplacement.h>
#include <ProgramImage.h>

#include <gtest/gtest.h>

#if JUCE_LINUX
 #include <cstdlib>
 #include <unistd.h>
#endif

namespace
{
    // Larger than the replacement's buffer, so that it is written as one piece.
    constexpr size_t carriedSize = 200000;

    struct CarriedBytes
    {
        unsigned char bytes[carriedSize];
    };

    constexpr CarriedBytes makeCarriedBytes()
    {
        CarriedBytes carried {};
        uint32_t state = 1;

        for (size_t i = 0; i < carriedSize; ++i)
        {
            state = state * 1664525u + 1013904223u;
            carried.bytes[i] = (unsigned char) (state >> 24);
        }

        return carried;
    }

    // In the program's read-only data, as the pack is.
    constexpr CarriedBytes carried = makeCarriedBytes();

    juce::MemoryBlock carriedBlock()
    {
        return { carried.bytes, carriedSize };
    }

    juce::File writeThroughReplacement (const juce::File& target, const void* data, size_t size)
    {
        FileReplacement replacement (target);
        EXPECT_TRUE (replacement.openedOk());
        EXPECT_TRUE (replacement.getStream().writeString ("head"));
        EXPECT_TRUE (replacement.getStream().write (data, size));
        EXPECT_TRUE (replacement.getStream().writeString ("tail"));
        EXPECT_TRUE (replacement.createTarget());
        return target;
    }

    juce::MemoryBlock load (const juce::File& file)
    {
        juce::MemoryBlock contents;
        EXPECT_TRUE (file.loadFileAsData (contents));
        return contents;
    }

    juce::MemoryBlock expectedFile (const void* data, size_t size)
    {
        juce::MemoryOutputStream expected;
        expected.writeString ("head");
        expected.write (data, size);
        expected.writeString ("tail");
        return expected.getMemoryBlock();
    }
}

TEST (ProgramImage, FindsTheProgramsOwnBytesInItsFileAndNothingElse)
{
    const auto& image = ProgramImage::getInstance();

   #if JUCE_LINUX
    const auto offset = image.findFileOffset (carried.bytes, carriedSize);
    ASSERT_GE (offset, 0);

    juce::HeapBlock<unsigned char> fromFile (carriedSize);
    ASSERT_EQ (pread (image.getFileHandle(), fromFile, carriedSize, (off_t) offset), (ssize_t) carriedSize);
    EXPECT_EQ (std::memcmp (fromFile, carried.bytes, carriedSize), 0);
   #endif

    const auto onHeap = carriedBlock();
    EXPECT_EQ (image.findFileOffset (onHeap.getData(), onHeap.getSize()), -1);

    // A range that runs past the mapped part is not copied from the file.
    EXPECT_EQ (image.findFileOffset (carried.bytes, (size_t) 1 << 40), -1);
}

TEST (ProgramImage, CarriedBytesReachTheFileExactlyOnEveryFileSystem)
{
    TemporaryFolder temporary;
    juce::Array<juce::File> folders { temporary.getFolder() };

   #if JUCE_LINUX
    // A memory file system: copying between file systems is refused there on current
    // kernels, and the bytes are written from memory instead.
    char shmTemplate[] = "/dev/shm/vok-test-XXXXXX";
    const juce::File shmFolder (juce::File::isAbsolutePath ("/dev/shm") && mkdtemp (shmTemplate) != nullptr
                                    ? juce::String (shmTemplate) : juce::String());

    if (shmFolder != juce::File())
        folders.add (shmFolder);
   #endif

    for (auto& folder : folders)
    {
        SCOPED_TRACE (folder.getFullPathName());

        const auto expected = expectedFile (carried.bytes, carriedSize);
        EXPECT_TRUE (load (writeThroughReplacement (folder.getChildFile ("carried.bin"), carried.bytes, carriedSize)) == expected);

        const auto onHeap = carriedBlock();
        EXPECT_TRUE (load (writeThroughReplacement (folder.getChildFile ("heap.bin"), onHeap.getData(), onHeap.getSize())) == expected);
    }

   #if JUCE_LINUX
    if (shmFolder != juce::File())
        shmFolder.deleteRecursively();
   #endif
}
