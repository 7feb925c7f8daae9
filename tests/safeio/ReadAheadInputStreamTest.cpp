#include <safeio/ReadAheadInputStream.h>

#include <gtest/gtest.h>

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
}

// The stream must hand out exactly the bytes the source holds, whatever mix of short reads,
// steps back, jumps and reads longer than its buffer the reader makes.
TEST (ReadAheadInputStream, GivesTheSourcesBytesForEveryMixOfReadsAndSeeks)
{
    constexpr int bufferSize = 64;
    const auto data = numberedBytes (1000);

    const std::vector<std::vector<Step>> cases {
        { { -1, 3 }, { -1, 5 }, { -1, 1000 } },                       // short fields, then the rest
        { { -1, 10 }, { 2, 4 }, { -1, 200 }, { 150, 30 } },           // steps back within and past the buffer
        { { -1, 64 }, { -1, 65 }, { -1, 63 }, { -1, 1 } },            // reads at the buffer's size
        { { 990, 20 }, { 0, 1 }, { 999, 5 }, { 1000, 5 } },           // the end, and past it
        { { 40, 200 }, { 30, 20 }, { 230, 2 } },                      // a long read from inside the buffer
    };

    for (size_t c = 0; c < cases.size(); ++c)
    {
        juce::MemoryInputStream expected (data, false);
        juce::MemoryInputStream source (data, false);
        ReadAheadInputStream stream (source, bufferSize);

        for (const auto& step : cases[c])
        {
            if (step.seekTo >= 0)
            {
                expected.setPosition (step.seekTo);
                stream.setPosition (step.seekTo);
            }

            juce::MemoryBlock want ((size_t) step.numBytes), got ((size_t) step.numBytes);
            const auto wantCount = expected.read (want.getData(), step.numBytes);
            const auto gotCount = stream.read (got.getData(), step.numBytes);

            ASSERT_EQ (gotCount, wantCount) << "case " << c;
            EXPECT_EQ (0, std::memcmp (want.getData(), got.getData(), (size_t) wantCount)) << "case " << c;
            EXPECT_EQ (stream.getPosition(), expected.getPosition()) << "case " << c;
            EXPECT_EQ (stream.isExhausted(), expected.isExhausted()) << "case " << c;
        }
    }
}
