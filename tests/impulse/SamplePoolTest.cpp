#include <impulse/VOK_VokSampleBuffer.h>

#include <gtest/gtest.h>

namespace
{
    bool isAllZero (const VOK_VokSampleBuffer& pool, int channel)
    {
        for (int i = 0; i < pool.getNumSamples(); ++i)
            if (pool.getSample (channel, i) != 0.0f)
                return false;

        return true;
    }

    void fillRamp (VOK_VokSampleBuffer& pool, int channel, float start)
    {
        for (int i = 0; i < pool.getNumSamples(); ++i)
            pool.setSample (channel, i, start + (float) i);
    }
}

TEST (SamplePool, GrowingAnEmptyTwoChannelPoolGivesZeros)
{
    VOK_VokSampleBuffer pool (2, 0, 44100.0);
    ASSERT_TRUE (pool.growTo (2, 100));
    EXPECT_EQ (pool.getNumChannels(), 2);
    EXPECT_EQ (pool.getNumSamples(), 100);
    EXPECT_TRUE (isAllZero (pool, 0));
    EXPECT_TRUE (isAllZero (pool, 1));
}

#if ! JUCE_WINDOWS
// A file's samples are read into a pool that grows from empty, channel by channel; the system
// copies them fastest into channels that start on a cache line.
TEST (SamplePool, ChannelsGrownFromEmptyStartOnACacheLine)
{
    VOK_VokSampleBuffer pool (1, 0, 44100.0);
    ASSERT_TRUE (pool.growToFill (1, 1000, 0, 1000));
    ASSERT_TRUE (pool.growToFill (3, 1000, 2, 1000));
    ASSERT_TRUE (pool.growTo (4, 1000));

    for (int c = 0; c < pool.getNumChannels(); ++c)
        EXPECT_EQ (reinterpret_cast<juce::pointer_sized_uint> (pool.getReadPointer (c)) % 64, 0u) << c;
}
#endif

TEST (SamplePool, WideningKeepsChannelZeroAndZeroesTheNewChannels)
{
    VOK_VokSampleBuffer pool (1, 50, 48000.0);
    fillRamp (pool, 0, 1.0f);

    ASSERT_TRUE (pool.growTo (4, 0));
    ASSERT_EQ (pool.getNumChannels(), 4);
    ASSERT_EQ (pool.getNumSamples(), 50);

    for (int i = 0; i < 50; ++i)
        EXPECT_EQ (pool.getSample (0, i), 1.0f + (float) i);

    for (int c = 1; c < 4; ++c)
        EXPECT_TRUE (isAllZero (pool, c)) << c;

    EXPECT_EQ (pool.sampleRate, 48000.0);
}

TEST (SamplePool, LengtheningKeepsSamplesOfEveryChannelAndNeverShrinks)
{
    VOK_VokSampleBuffer pool (1, 0, 22050.0);
    ASSERT_TRUE (pool.growTo (3, 10));
    fillRamp (pool, 0, 0.0f);
    fillRamp (pool, 2, 100.0f);

    ASSERT_TRUE (pool.growTo (2, 1000));
    ASSERT_EQ (pool.getNumChannels(), 3);
    ASSERT_EQ (pool.getNumSamples(), 1000);

    for (int i = 0; i < 10; ++i)
    {
        EXPECT_EQ (pool.getSample (0, i), (float) i);
        EXPECT_EQ (pool.getSample (1, i), 0.0f);
        EXPECT_EQ (pool.getSample (2, i), 100.0f + (float) i);
    }

    for (int i = 10; i < 1000; ++i)
        ASSERT_EQ (pool.getSample (0, i) + pool.getSample (1, i) + pool.getSample (2, i), 0.0f) << i;

    ASSERT_TRUE (pool.growTo (1, 5));
    EXPECT_EQ (pool.getNumChannels(), 3);
    EXPECT_EQ (pool.getNumSamples(), 1000);
    EXPECT_EQ (pool.sampleRate, 22050.0);
}

TEST (SamplePool, GrowingBeyondThirtyTwoChannelsFailsAndLeavesThePool)
{
    VOK_VokSampleBuffer pool (1, 4, 44100.0);
    fillRamp (pool, 0, 7.0f);

    EXPECT_FALSE (pool.growTo (33, 4));
    EXPECT_EQ (pool.getNumChannels(), 1);
    EXPECT_EQ (pool.getSample (0, 3), 10.0f);
    EXPECT_TRUE (pool.growTo (32, 4));
    EXPECT_EQ (pool.getNumChannels(), 32);
}

TEST (SamplePool, ImpossibleMemoryOrShapeThrowsVokMemoryException)
{
    EXPECT_THROW (VOK_VokSampleBuffer (33, 10, 44100.0), VokMemoryException);
    EXPECT_THROW (VOK_VokSampleBuffer (-1, 10, 44100.0), VokMemoryException);
    EXPECT_THROW (VOK_VokSampleBuffer (2, -10, 44100.0), VokMemoryException);
    EXPECT_THROW (VOK_VokSampleBuffer (32, std::numeric_limits<int>::max(), 44100.0), VokMemoryException);
    EXPECT_NO_THROW (VOK_VokSampleBuffer (0, 0, 44100.0));
    EXPECT_NO_THROW (VOK_VokSampleBuffer (1, 0, 44100.0));
}

TEST (SamplePool, CopiesAndFrameworkResizingStayIndependentOfGrownChannels)
{
    VOK_VokSampleBuffer pool (1, 0, 96000.0);
    ASSERT_TRUE (pool.growTo (2, 8));
    fillRamp (pool, 1, 3.0f);

    VOK_VokSampleBuffer copy (pool);
    pool.setSample (1, 0, -1.0f);
    EXPECT_EQ (copy.getSample (1, 0), 3.0f);
    EXPECT_EQ (copy.sampleRate, 96000.0);

    // The framework's own resizing moves the samples into its memory; growing goes on from there.
    pool.setSize (2, 16, true, true);
    ASSERT_TRUE (pool.growTo (3, 20));
    EXPECT_EQ (pool.getSample (1, 0), -1.0f);
    EXPECT_EQ (pool.getSample (1, 7), 10.0f);
    EXPECT_EQ (pool.getSample (2, 19), 0.0f);
}
