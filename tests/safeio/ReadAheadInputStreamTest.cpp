#include <safeio/ReadAheadInputStream.h>

#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <functional>

namespace
{
    juce::MemoryBlock numberedBytes (size_t size)
    {
        juce::MemoryBlock block (size);

        for (size_t i = 0; i < size; ++i)
            block[i] = (char) (i * 7 + i / 251);

        return block;
    }

    /** One step of a read: a position to go to first (or -1 to stay) and a number of bytes. */
    struct Step
    {
        juce::int64 seekTo;
        int numBytes;
    };

    const std::vector<std::vector<Step>> mixesOfReads {
        { { -1, 3 }, { -1, 5 }, { -1, 1000 } },                       // short fields, then the rest
        { { -1, 10 }, { 2, 4 }, { -1, 200 }, { 150, 30 } },           // steps back within and past the buffer
        { { -1, 64 }, { -1, 65 }, { -1, 63 }, { -1, 1 } },            // reads at the buffer's size
        { { 990, 20 }, { 0, 1 }, { 999, 5 }, { 1000, 5 } },           // the end, and past it
        { { 40, 200 }, { 30, 20 }, { 230, 2 } },                      // a long read from inside the buffer
        { { -1, 100 }, { -1, 3 }, { 90, 20 }, { -1, 900 }, { 5, 2 } }, // fields after a long read, a step back over it
        { { 900, 64 }, { -1, 10 }, { 990, 3 } },                       // a long read that leaves less than a buffer
    };

    void readInMixes (const juce::MemoryBlock& data, const std::function<std::unique_ptr<ReadAheadInputStream>()>& createStream)
    {
        for (size_t c = 0; c < mixesOfReads.size(); ++c)
        {
            juce::MemoryInputStream expected (data, false);
            const auto stream = createStream();

            for (const auto& step : mixesOfReads[c])
            {
                if (step.seekTo >= 0)
                {
                    expected.setPosition (step.seekTo);
                    stream->setPosition (step.seekTo);
                }

                juce::MemoryBlock want ((size_t) step.numBytes), got ((size_t) step.numBytes);
                const auto wantCount = expected.read (want.getData(), step.numBytes);
                const auto gotCount = stream->read (got.getData(), step.numBytes);

                ASSERT_EQ (gotCount, wantCount) << "case " << c;
                EXPECT_EQ (0, std::memcmp (want.getData(), got.getData(), (size_t) wantCount)) << "case " << c;
                EXPECT_EQ (stream->getPosition(), expected.getPosition()) << "case " << c;
                EXPECT_EQ (stream->isExhausted(), expected.isExhausted()) << "case " << c;
            }
        }
    }

    constexpr int bufferSize = 64;
}

// The stream must hand out exactly the bytes the source holds, whatever mix of short reads,
// steps back, jumps and reads longer than its buffer the reader makes; in front of a file,
// whose long reads fill the buffer as well, as in front of any stream.
TEST (ReadAheadInputStream, GivesTheSourcesBytesForEveryMixOfReadsAndSeeks)
{
    const auto data = numberedBytes (1000);
    juce::MemoryInputStream source (data, false);

    readInMixes (data, [&]
    {
        source.setPosition (0);
        return std::make_unique<ReadAheadInputStream> (source, bufferSize);
    });
}

TEST (ReadAheadInputStream, GivesTheFilesBytesForEveryMixOfReadsAndSeeks)
{
    const auto data = numberedBytes (1000);
    TemporaryFolder folder;
    RegularFileInput file (folder.write ("data", data));
    ASSERT_TRUE (file.openedOk());

    readInMixes (data, [&]
    {
        file.setPosition (0);
        return std::make_unique<ReadAheadInputStream> (file, bufferSize);
    });
}
