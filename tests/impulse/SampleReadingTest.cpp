// Reading a file for its header alone, or keeping its samples as stored, must read the same
// records as decoding them: the same read log and pool, and the same file when saved; and the
// same result, but that the header alone needs no samples that agree with it.

#include "ImpulseFileBytes.h"
#include "TemporaryFolder.h"

#include <impulse/VOK_ImpulseFile.h>

#include <gtest/gtest.h>

using namespace ImpulseFileBytes;

namespace
{
    using SampleReading = VOK_ImpulseFile::SampleReading;

    const std::vector<float> left { 0.5f, -0.25f, 1.0f };
    const std::vector<float> right { 0.0f, 2.0f, -3.0f };
    const std::vector<float> longer { 9.0f, 8.0f, 7.0f, 6.0f };

    juce::MemoryBlock withHeader (const juce::String& version, int numChannels, int numSamples, const juce::String& crypted,
                                  const std::function<void (Builder&)>& addRecords)
    {
        Builder bytes;
        bytes.header (packedDocument (*headerElement (version, numChannels, numSamples, crypted)));
        addRecords (bytes);
        return bytes.bytes();
    }

    struct FileCase
    {
        const char* name;
        juce::MemoryBlock bytes;
    };

    std::vector<FileCase> fileCases()
    {
        return {
            { "PlainWithPicture", withHeader ("2.1", 2, 3, {}, [] (Builder& b)
                { b.block (picturePayload ("3.gI1X")).block (audioPayload (0, left)).block (audioPayload (1, right)); }) },
            { "ScrambledInReverseOrder", withHeader ("2.1", 2, 3, "true", [] (Builder& b)
                { b.block (audioPayload (1, right, true)).block (audioPayload (0, left, true)); }) },
            { "Version20Scrambled", withHeader ("2.0", 2, 3, "true", [] (Builder& b)
                { b.raw (audioRecord (0, left, true)).raw (audioRecord (1, right, true)); }) },
            { "OverlappingRecordsOfTwoLengths", withHeader ("2.1", 2, 4, {}, [] (Builder& b)
                { b.block (audioPayload (0, longer)).block (audioPayload (0, left)).block (audioPayload (1, right)); }) },
            { "ChannelWithoutRecord", withHeader ("2.1", 2, 3, "true", [] (Builder& b)
                { b.block (audioPayload (1, right, true)); }) },
            { "UnknownBlockBetween", withHeader ("2.1", 1, 3, {}, [] (Builder& b)
                { b.block (Builder().string ("OTHER").string ("x").bytes()).block (audioPayload (0, left)); }) },
            { "LongChannels", withHeader ("2.1", 2, 1000, "true", [] (Builder& b)
                {
                    std::vector<float> ramp (1000);
                    for (size_t i = 0; i < ramp.size(); ++i)
                        ramp[i] = (float) i * 0.001f;
                    b.block (audioPayload (0, ramp, true)).block (audioPayload (1, ramp, true));
                }) },
            { "DisagreesWithHeader", withHeader ("2.1", 2, 3, {}, [] (Builder& b) { b.block (audioPayload (0, left)); }) },
            { "ChannelBeyondHeader", withHeader ("2.1", 1, 3, {}, [] (Builder& b)
                { b.block (audioPayload (0, left)).block (audioPayload (5, right)); }) },
            { "BlockLongerThanFile", withHeader ("2.1", 1, 3, {}, [] (Builder& b)
                { b.block (audioPayload (0, left)).string ("BLOCK").decimal (5000).zeros (20); }) },
            { "CountBeyondBlock", withHeader ("2.1", 1, 3, {}, [] (Builder& b)
                { b.block (Builder().string ("AUDIODATA").decimal (0).decimal (300).samples (left).zeros (400).bytes()); }) },
            { "Version20CountBeyondFile", withHeader ("2.0", 1, 3, {}, [] (Builder& b)
                { b.string ("AUDIODATA").decimal (0).decimal (900).samples (left); }) },
        };
    }

    juce::MemoryBlock saved (VOK_ImpulseFile& impulse)
    {
        juce::MemoryOutputStream out;
        EXPECT_TRUE (impulse.writeToStream (out));
        return out.getMemoryBlock();
    }

    bool haveSameSamples (const VOK_VokSampleBuffer* a, const VOK_VokSampleBuffer* b)
    {
        if (a == nullptr || b == nullptr || a->getNumChannels() != b->getNumChannels() || a->getNumSamples() != b->getNumSamples())
            return false;

        for (int c = 0; c < a->getNumChannels(); ++c)
            if (std::memcmp (a->getReadPointer (c), b->getReadPointer (c), (size_t) a->getNumSamples() * 4) != 0)
                return false;

        return a->sampleRate == b->sampleRate;
    }
}

TEST (SampleReading, EveryWayReadsTheSameRecordsAndSavesTheSameFile)
{
    TemporaryFolder folder;

    for (auto& c : fileCases())
    {
        const auto path = folder.write (juce::String (c.name) + ".vok", c.bytes).getFullPathName();

        VOK_ImpulseFile decoded, kept, skipped;
        const bool result = decoded.readFile (path);

        EXPECT_EQ (kept.readFile (path, SampleReading::keepStored), result) << c.name;
        // Passed over, the samples can't make a file unreadable whose header is whole (as here).
        EXPECT_TRUE (skipped.readFile (path, SampleReading::skip)) << c.name;
        EXPECT_EQ (kept.getReadLog(), decoded.getReadLog()) << c.name;
        EXPECT_EQ (skipped.getReadLog(), decoded.getReadLog()) << c.name;
        EXPECT_EQ (kept.getFormatState(), decoded.getFormatState()) << c.name;
        EXPECT_EQ (skipped.getPresetNames(), decoded.getPresetNames()) << c.name;

        // Saved while the samples are still as stored, then once more after they were decoded.
        const auto savedDecoded = saved (decoded);
        EXPECT_TRUE (saved (kept) == savedDecoded) << c.name;

        // From a stream the object can't keep, the stored samples are copies.
        VOK_ImpulseFile copied;
        juce::MemoryInputStream stream (c.bytes, false);
        EXPECT_EQ (copied.readFromStream (stream, SampleReading::keepStored), result) << c.name;
        EXPECT_EQ (copied.getReadLog(), decoded.getReadLog()) << c.name;
        EXPECT_TRUE (saved (copied) == savedDecoded) << c.name;
        EXPECT_TRUE (haveSameSamples (copied.getSamplePool(), decoded.getSamplePool())) << c.name;

        const VOK_ImpulseFile& keptForReading = kept;
        EXPECT_TRUE (haveSameSamples (keptForReading.getSamplePool(), decoded.getSamplePool())) << c.name;
        EXPECT_TRUE (saved (kept) == savedDecoded) << c.name;
        EXPECT_TRUE (haveSameSamples (kept.getSamplePool(), decoded.getSamplePool())) << c.name;
        EXPECT_TRUE (saved (kept) == savedDecoded) << c.name;

        // Passed-over samples can't be written, and a save that would lose them fails.
        EXPECT_EQ (skipped.getSamplePool(), nullptr) << c.name;
        juce::MemoryOutputStream out;
        EXPECT_FALSE (skipped.writeToStream (out)) << c.name;
        EXPECT_FALSE (skipped.saveToFile (folder.getFile ("skipped.vok").getFullPathName())) << c.name;
        EXPECT_FALSE (folder.getFile ("skipped.vok").exists()) << c.name;
    }
}

TEST (SampleReading, StoredSamplesFollowAChangeOfEncodingAndOfThePool)
{
    TemporaryFolder folder;
    const auto path = folder.write ("scrambled.vok", withHeader ("2.1", 2, 3, "true", [] (Builder& b)
        { b.block (audioPayload (0, left, true)).block (audioPayload (1, right, true)); })).getFullPathName();

    VOK_ImpulseFile plainAgain;
    ASSERT_TRUE (plainAgain.readFile (path, SampleReading::keepStored));
    plainAgain.getHeader().setAttribute ("crypted", "false");
    ASSERT_TRUE (plainAgain.saveToFile (folder.getFile ("plain.vok").getFullPathName()));

    VOK_ImpulseFile changed;
    ASSERT_TRUE (changed.readFile (path, SampleReading::keepStored));
    changed.getSamplePool()->setSample (1, 2, 4.0f);
    ASSERT_TRUE (changed.saveToFile (folder.getFile ("changed.vok").getFullPathName()));

    VOK_ImpulseFile plain, changedBack;
    ASSERT_TRUE (plain.readFile (folder.getFile ("plain.vok").getFullPathName())) << plain.getReadLog();
    ASSERT_TRUE (changedBack.readFile (folder.getFile ("changed.vok").getFullPathName())) << changedBack.getReadLog();

    EXPECT_FALSE (plain.getBoolAttribute ("crypted", true));
    EXPECT_EQ (std::vector<float> (plain.getSamplePool()->getReadPointer (1), plain.getSamplePool()->getReadPointer (1) + 3), right);
    EXPECT_EQ (changedBack.getSamplePool()->getSample (1, 2), 4.0f);
    EXPECT_EQ (changedBack.getSamplePool()->getSample (0, 0), left[0]);
}

// A stream that can't tell its length (a pipe) is passed over by reading, not by seeking.
TEST (SampleReading, HeaderOnlyReadOfAStreamOfUnknownLength)
{
    struct UnknownLength : public juce::MemoryInputStream
    {
        using juce::MemoryInputStream::MemoryInputStream;
        juce::int64 getTotalLength() override  { return -1; }
    };

    // Blocks longer than the reader's look at their head, whose samples are passed over.
    const std::vector<float> samples (200, 0.25f);
    const auto bytes = withHeader ("2.1", 2, 200, {}, [&] (Builder& b) { b.block (audioPayload (0, samples)).block (audioPayload (1, samples)); });

    VOK_ImpulseFile decoded, skipped;
    UnknownLength forDecoding (bytes, false), forSkipping (bytes, false);
    ASSERT_TRUE (decoded.readFromStream (forDecoding));
    ASSERT_TRUE (skipped.readFromStream (forSkipping, SampleReading::skip)) << skipped.getReadLog();
    EXPECT_EQ (skipped.getReadLog(), decoded.getReadLog());
}
