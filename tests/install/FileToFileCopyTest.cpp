// Bytes the program carries, and bytes of another file, are copied into new files by the
// system where it can; the new file must hold them byte for byte, on the same file system as
// the source and on another, where the copy falls back to writing.

#include "TemporaryFolder.h"

#include <install/CarriedBytes.h>
#include <safeio/FileReplacement.h>
#include <impulse/NewImpulseHeader.h>
#include <install/ProgramImage.h>
#include <safeio/RegularFileInput.h>
#include <impulse/VOK_ImpulseFile.h>

#include <gtest/gtest.h>

#if JUCE_LINUX
 #include <csignal>
 #include <cstdlib>
 #include <sys/resource.h>
 #include <unistd.h>
#endif

namespace
{
    // Larger than the replacement's buffer, so that what isn't copied is written as one piece.
    constexpr size_t carriedSize = 200000;

    struct CarriedArray
    {
        unsigned char bytes[carriedSize];
    };

    constexpr CarriedArray makeCarriedBytes()
    {
        CarriedArray carried {};
        uint32_t state = 1;

        for (size_t i = 0; i < carriedSize; ++i)
        {
            state = state * 1664525u + 1013904223u;
            carried.bytes[i] = (unsigned char) (state >> 24);
        }

        return carried;
    }

    // In the program's read-only data, as the pack is.
    constexpr CarriedArray carried = makeCarriedBytes();

    // In the program's writable data: its file holds these bytes only until they change.
    CarriedArray changing = makeCarriedBytes();

    juce::MemoryBlock carriedBlock()
    {
        return { carried.bytes, carriedSize };
    }

    juce::File writeThroughReplacement (const juce::File& target, const unsigned char* data, size_t size)
    {
        FileReplacement replacement (target);
        EXPECT_TRUE (replacement.openedOk());
        EXPECT_TRUE (replacement.getStream().writeString ("head"));
        EXPECT_TRUE (CarriedBytes::write (replacement.getStream(), reinterpret_cast<const char*> (data), size));
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
    EXPECT_EQ (image.findFileOffset (changing.bytes, carriedSize), -1);

    // A range that runs past the mapped part is not copied from the file.
    EXPECT_EQ (image.findFileOffset (carried.bytes, (size_t) 1 << 40), -1);
}

namespace
{
    /** A temporary folder, and where the system has one, a folder in memory: copies between
        file systems are refused there on current kernels.
    */
    struct FoldersOnTwoFileSystems
    {
        FoldersOnTwoFileSystems()
        {
            folders.add (temporary.getFolder());

           #if JUCE_LINUX
            char shmTemplate[] = "/dev/shm/vok-test-XXXXXX";

            if (juce::File ("/dev/shm").isDirectory() && mkdtemp (shmTemplate) != nullptr)
                folders.add (inMemory = juce::File (juce::String (shmTemplate)));
           #endif
        }

        ~FoldersOnTwoFileSystems()
        {
            if (inMemory != juce::File())
                inMemory.deleteRecursively();
        }

        TemporaryFolder temporary;
        juce::File inMemory;
        juce::Array<juce::File> folders;
    };
}

TEST (ProgramImage, CarriedBytesReachTheFileExactlyOnEveryFileSystem)
{
    FoldersOnTwoFileSystems places;

    for (auto& folder : places.folders)
    {
        SCOPED_TRACE (folder.getFullPathName());

        const auto expected = expectedFile (carried.bytes, carriedSize);
        EXPECT_TRUE (load (writeThroughReplacement (folder.getChildFile ("carried.bin"), carried.bytes, carriedSize)) == expected);

        const auto onHeap = carriedBlock();
        EXPECT_TRUE (load (writeThroughReplacement (folder.getChildFile ("heap.bin"), static_cast<const unsigned char*> (onHeap.getData()),
                                                    onHeap.getSize())) == expected);

        changing.bytes[carriedSize / 2] ^= 0xff;
        const auto changed = expectedFile (changing.bytes, carriedSize);
        EXPECT_TRUE (load (writeThroughReplacement (folder.getChildFile ("changed.bin"), changing.bytes, carriedSize)) == changed);
    }
}

TEST (FileReplacement, CopiesFromAnotherFileExactlyAndMovesBothOn)
{
    FoldersOnTwoFileSystems places;
    const auto source = places.temporary.write ("source.bin", carriedBlock());

    for (auto& folder : places.folders)
    {
        SCOPED_TRACE (folder.getFullPathName());

        RegularFileInput input (source);
        ASSERT_TRUE (input.openedOk());
        ASSERT_TRUE (input.setPosition (1000));

        const auto target = folder.getChildFile ("copy.bin");
        FileReplacement replacement (target);
        ASSERT_TRUE (replacement.openedOk());
        auto& output = replacement.getStream();
        output.writeString ("head");

        const juce::int64 wanted = 150000;
        const auto copied = FileReplacement::copyFromFile (input, output, wanted);
        EXPECT_EQ (input.getPosition(), 1000 + copied);
        EXPECT_EQ (output.getPosition(), 5 + copied);

        // What the system did not copy, the caller writes from the source itself.
        juce::HeapBlock<char> rest ((size_t) (wanted - copied) + 1);
        ASSERT_EQ (input.read (rest, (int) (wanted - copied)), (int) (wanted - copied));
        output.write (rest, (size_t) (wanted - copied));
        output.writeString ("tail");
        ASSERT_TRUE (replacement.createTarget());

        juce::MemoryOutputStream expected;
        expected.writeString ("head");
        expected.write (carried.bytes + 1000, (size_t) wanted);
        expected.writeString ("tail");
        EXPECT_TRUE (load (target) == expected.getMemoryBlock());

       #if JUCE_LINUX
        if (folder == places.temporary.getFolder())
        {
            EXPECT_EQ (copied, wanted) << "the system copies within one file system";
        }
       #endif
    }

    // Streams other than a file and a replacement are left to the caller.
    juce::MemoryInputStream memory (carried.bytes, carriedSize, false);
    juce::MemoryOutputStream elsewhere;
    EXPECT_EQ (FileReplacement::copyFromFile (memory, elsewhere, 100), 0);
    EXPECT_EQ (memory.getPosition(), 0);
}

#if JUCE_LINUX
namespace
{
    juce::File writeImpulse (const juce::File& file, int numSamples)
    {
        auto pool = std::make_unique<VOK_VokSampleBuffer> (2, numSamples, 44100.0);

        for (int i = 0; i < numSamples; ++i)
            for (int channel = 0; channel < 2; ++channel)
                pool->setSample (channel, i, (float) std::sin (0.01 * i + channel));

        VOK_ImpulseFile impulse;
        impulse.setHeader (NewImpulseHeader::create (*pool, "room.wav"));
        impulse.setSamplePool (std::move (pool));
        EXPECT_TRUE (impulse.saveToFile (file.getFullPathName()));
        return file;
    }

    /** Lets no file grow past 4 KB while it lives, as a full disk would. */
    struct FullDisk
    {
        FullDisk()
        {
            getrlimit (RLIMIT_FSIZE, &previous);
            previousHandler = std::signal (SIGXFSZ, SIG_IGN);
            auto small = previous;
            small.rlim_cur = 4096;
            setrlimit (RLIMIT_FSIZE, &small);
        }

        ~FullDisk()
        {
            setrlimit (RLIMIT_FSIZE, &previous);
            std::signal (SIGXFSZ, previousHandler);
        }

        rlimit previous {};
        void (*previousHandler) (int) = nullptr;
    };
}

// The system's copy fails where writing would: a full disk, or a source that another writer
// cut short after it was read. The save fails, and the old file stays.
TEST (FileToFileCopy, FullDiskOrShortenedSourceFailsTheSaveAndKeepsTheOldFile)
{
    enum class Fault { fullDisk, shortenedSource };

    for (auto fault : { Fault::fullDisk, Fault::shortenedSource })
    {
        SCOPED_TRACE (fault == Fault::fullDisk ? "full disk" : "shortened source");
        TemporaryFolder folder;
        const auto source = writeImpulse (folder.getFile ("source.vok"), 50000);
        const auto target = folder.write ("target.vok", juce::MemoryBlock ("old", 3));

        auto input = std::make_shared<RegularFileInput> (source);
        VOK_ImpulseFile impulse;
        ASSERT_TRUE (impulse.readFromStream (input, VOK_ImpulseFile::SampleReading::keepStored)) << impulse.getReadLog();

        bool saved = true;

        if (fault == Fault::shortenedSource)
        {
            ASSERT_EQ (truncate (source.getFullPathName().toRawUTF8(), source.getSize() / 2), 0);
            saved = impulse.saveToFile (target.getFullPathName());
        }
        else
        {
            const FullDisk fullDisk;
            saved = impulse.saveToFile (target.getFullPathName());
        }

        EXPECT_FALSE (saved);
        EXPECT_TRUE (load (target) == juce::MemoryBlock ("old", 3));
        EXPECT_EQ (folder.getFolder().getNumberOfChildFiles (juce::File::findFiles), 2);
    }
}

TEST (ProgramImage, CarriedBytesOnAFullDiskFailTheNewFile)
{
    TemporaryFolder folder;
    const auto target = folder.getFile ("carried.bin");

    {
        FileReplacement replacement (target);
        ASSERT_TRUE (replacement.openedOk());
        const FullDisk fullDisk;
        CarriedBytes::write (replacement.getStream(), reinterpret_cast<const char*> (carried.bytes), carriedSize);
        EXPECT_FALSE (replacement.createTarget());
    }

    EXPECT_FALSE (target.exists());
    EXPECT_EQ (folder.getFolder().getNumberOfChildFiles (juce::File::findFiles), 0);
}
#endif
