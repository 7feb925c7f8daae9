#include "ImpulseFileBytes.h"
#include "TemporaryFolder.h"

#include <impulse/VOK_ImpulseFile.h>

#include <gtest/gtest.h>

using namespace ImpulseFileBytes;

namespace
{
    class ImpulseRead : public ::testing::Test
    {
    protected:
        TemporaryFolder folder;
        VOK_ImpulseFile impulse;

        bool read (const juce::MemoryBlock& bytes)
        {
            return impulse.readFile (folder.write ("impulse.vok", bytes).getFullPathName());
        }

        juce::StringArray logLines() const
        {
            juce::StringArray lines;
            lines.addTokens (impulse.getReadLog(), "\n", {});
            lines.removeEmptyStrings();
            return lines;
        }

        std::vector<float> channel (int c) const
        {
            auto* pool = impulse.getSamplePool();
            return { pool->getReadPointer (c), pool->getReadPointer (c) + pool->getNumSamples() };
        }
    };

    juce::int64 fieldSize (const juce::String& text)   { return (juce::int64) text.getNumBytesAsUTF8() + 1; }

    juce::int64 blockSize (const juce::MemoryBlock& payload)
    {
        return 6 + fieldSize (juce::String ((juce::int64) payload.getSize())) + (juce::int64) payload.getSize();
    }

    const std::vector<float> left { 0.5f, -0.25f, 1.0f };
    const std::vector<float> right { 0.0f, 2.0f, -3.0f };
}

TEST_F (ImpulseRead, ReadLogOfATwoChannelFileWithPictureLineByLine)
{
    const auto document = packedDocument (*headerElement ("2.1", 2, 3));
    const auto picture = picturePayload ("5.ABCDEFG");
    const auto audio0 = audioPayload (0, left), audio1 = audioPayload (1, right);

    ASSERT_TRUE (read (Builder().header (document).block (picture).block (audio0).block (audio1).bytes()));

    const auto p0 = fieldSize (document);
    const auto p1 = p0 + blockSize (picture);
    const auto p2 = p1 + blockSize (audio0);

    const juce::String expected = juce::String ("Read HeaderVersion > 2.0\n")
        + "Position " + juce::String (p0) + "\n" + "read BLOCK-tag\n" + "Read Picture\n"
        + "Position " + juce::String (p1) + "\n" + "read BLOCK-tag\n" + "Read AudioData\n"
        + "channelstr =0\n" + "floatsizestr =3\n"
        + "Position " + juce::String (p2) + "\n" + "read BLOCK-tag\n" + "Read AudioData\n"
        + "channelstr =1\n" + "floatsizestr =3\n"
        + "NumChannels 2\n" + "NumSamples 3\n";

    EXPECT_EQ (impulse.getReadLog(), expected);
    EXPECT_EQ (impulse.getPictureText(), "5.ABCDEFG");
    EXPECT_EQ (channel (0), left);
    EXPECT_EQ (channel (1), right);
    EXPECT_EQ (impulse.getFormatState(), VOK_ImpulseFile::readFromFile);
    EXPECT_EQ (impulse.getSamplePool()->sampleRate, 44100.0);
    EXPECT_TRUE (impulse.getLastError().isEmpty());
}

TEST_F (ImpulseRead, BothLayoutsPackedOrNotScrambledOrNotGiveTheSameSamples)
{
    struct Case { const char* name; juce::String version; bool packed; juce::String crypted; };
    const Case cases[] = {
        { "2.1 packed plain", "2.1", true, {} },
        { "2.1 unpacked plain", "2.1", false, "false" },
        { "2.1 packed scrambled", "2.1", true, "true" },
        { "2.1 unpacked, TRUE is not true", "2.1", false, "TRUE" },
        { "2.0 unpacked scrambled", "2.0", false, "true" },
        { "2.0 packed plain", "2.0", true, {} },
        { "1.5 unpacked plain", "1.5", false, {} },
        { "no version, unpacked scrambled", {}, false, "true" },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto header = headerElement (c.version, 2, 3, c.crypted);
        const bool scrambled = c.crypted == "true";
        const bool blocks = c.version == "2.1";

        Builder bytes;
        bytes.header (c.packed ? packedDocument (*header) : documentText (*header));

        if (blocks)
            bytes.block (audioPayload (1, right, scrambled)).block (audioPayload (0, left, scrambled));
        else
            bytes.raw (audioRecord (1, right, scrambled)).raw (audioRecord (0, left, scrambled));

        ASSERT_TRUE (read (bytes.bytes())) << impulse.getReadLog();
        EXPECT_EQ (channel (0), left);
        EXPECT_EQ (channel (1), right);
        EXPECT_TRUE (impulse.getReadLog().startsWith (blocks ? "Read HeaderVersion > 2.0\n"
                                                             : "Read HeaderKompatiblitaesmodus 2.0\n"));
        EXPECT_EQ (impulse.getBoolAttribute ("crypted", false), scrambled);
    }
}

TEST_F (ImpulseRead, Version20LayoutSkipsForeignStringsAndLogsEachPosition)
{
    const auto document = documentText (*headerElement ("2.0", 1, 3));
    ASSERT_TRUE (read (Builder().header (document).string ("junk").raw (audioRecord (0, left)).bytes()));

    const auto p0 = fieldSize (document);
    EXPECT_EQ (impulse.getReadLog(), "Read HeaderKompatiblitaesmodus 2.0\n"
                                     "Position " + juce::String (p0) + "\n"
                                     "Position " + juce::String (p0 + 5) + "\n"
                                     "Read AudioData\n"
                                     "NumChannels 1\nNumSamples 3\n");
    EXPECT_EQ (channel (0), left);
}

TEST_F (ImpulseRead, BlocksInAnyOrderUnknownTagsSkippedAndTagsIgnoreCase)
{
    const auto header = headerElement ("2.1", 2, 3);
    const auto unknown = Builder().string ("THUMBNAIL").string ("whatever").decimal (12345).bytes();
    const auto lowerCaseAudio = Builder().string ("audiodata").decimal (0).decimal (3).samples (left).bytes();
    const auto lowerCaseBlock = Builder().string ("block").decimal ((juce::int64) lowerCaseAudio.getSize()).raw (lowerCaseAudio).bytes();

    ASSERT_TRUE (read (Builder().header (packedDocument (*header)).block (audioPayload (1, right)).block (unknown)
                                .raw (lowerCaseBlock).block (picturePayload ("1.A")).bytes()));

    EXPECT_TRUE (impulse.getReadLog().contains ("unknown Block THUMBNAIL\n"));
    EXPECT_EQ (channel (0), left);
    EXPECT_EQ (channel (1), right);
    EXPECT_EQ (impulse.getPictureText(), "1.A");
}

TEST_F (ImpulseRead, TrailingZeroBytesEndTheLoopAndOnlyTheChecksDecide)
{
    const auto header = headerElement ("2.1", 1, 3);
    ASSERT_TRUE (read (Builder().header (packedDocument (*header)).block (audioPayload (0, left)).zeros (16).bytes()));
    EXPECT_TRUE (impulse.getReadLog().contains ("unkown tag \nCan't open Memoryblock\nNumChannels 1\nNumSamples 3\n"));
    EXPECT_EQ (channel (0), left);
}

TEST_F (ImpulseRead, PoolGrowsByChannelAndByLengthWithZerosWhereNoRecordWrites)
{
    const auto header = headerElement ("2.1", 4, 5);
    const std::vector<float> five { 1, 2, 3, 4, 5 };
    ASSERT_TRUE (read (Builder().header (documentText (*header)).block (audioPayload (0, left))
                                .block (audioPayload (3, five)).bytes())) << impulse.getReadLog();

    EXPECT_EQ (channel (0), (std::vector<float> { 0.5f, -0.25f, 1.0f, 0.0f, 0.0f }));
    EXPECT_EQ (channel (1), std::vector<float> (5, 0.0f));
    EXPECT_EQ (channel (2), std::vector<float> (5, 0.0f));
    EXPECT_EQ (channel (3), five);
}

TEST_F (ImpulseRead, HeaderOnlyFileGivesOneEmptyChannel)
{
    EXPECT_TRUE (read (Builder().header (documentText (*headerElement ("2.1", 1, 0))).bytes()));
    EXPECT_EQ (impulse.getSamplePool()->getNumChannels(), 1);
    EXPECT_EQ (impulse.getSamplePool()->getNumSamples(), 0);

    EXPECT_FALSE (read (Builder().header (documentText (*headerElement ("2.1", 2, 0))).bytes()));
}

TEST_F (ImpulseRead, SampleRateIsRoundedToSinglePrecisionAndNamesIgnoreCase)
{
    auto header = headerElement ("2.1", 1, 3, {}, 44100.0);
    header->setAttribute ("samplerate", "44100.1");
    header->removeAttribute ("version");
    header->setAttribute ("VERSION", "2.1");
    header->setAttribute ("Crypted", "true");
    header->getChildByName ("IRSamplePool")->removeAttribute ("number");
    header->getChildByName ("IRSamplePool")->setAttribute ("NUMBER", "1");

    ASSERT_TRUE (read (Builder().header (documentText (*header)).block (audioPayload (0, left, true)).bytes()))
        << impulse.getReadLog();
    EXPECT_EQ (impulse.getSamplePool()->sampleRate, (double) 44100.1f);
    EXPECT_EQ (channel (0), left);
}

TEST_F (ImpulseRead, FailureTable)
{
    const auto document = documentText (*headerElement ("2.1", 1, 3));
    const auto good = audioPayload (0, left);
    auto noPool = headerElement ("2.1", 1, 3);
    noPool->deleteAllChildElementsWithTagName ("IRSamplePool");
    auto noNumber = headerElement ("2.1", 1, 3);
    noNumber->getChildByName ("IRSamplePool")->removeAttribute ("number");
    const auto threeChannels = documentText (*headerElement ("2.1", 3, 3));

    struct Case
    {
        const char* name;
        juce::String document;
        juce::MemoryBlock records;
        bool expectedResult;
        juce::String expectedLog;      // after the header and the good block's lines
    };

    const Case cases[] = {
        { "tag other than BLOCK", document, Builder().string ("BLOCKS").decimal (3).bytes(), true,
          "Position P\nunkown tag BLOCKS\nCan't open Memoryblock\nNumChannels 1\nNumSamples 3\n" },
        { "block length not all digits", document, Builder().string ("BLOCK").string ("+12").zeros (12).bytes(), true,
          "Position P\nread BLOCK-tag\nCan't open Memoryblock\nNumChannels 1\nNumSamples 3\n" },
        { "unknown block tag", document, Builder().block (Builder().string ("COMMENT").string ("hi").bytes()).bytes(), true,
          "Position P\nread BLOCK-tag\nunknown Block COMMENT\nNumChannels 1\nNumSamples 3\n" },
        { "AUDIODATA with non-digit channel", document,
          Builder().block (Builder().string ("AUDIODATA").string ("x1").decimal (9).samples (std::vector<float> (9, 1.0f)).bytes()).bytes(), true,
          "Position P\nread BLOCK-tag\nRead AudioData\nchannelstr =x1\nfloatsizestr =9\nNumChannels 1\nNumSamples 3\n" },
        { "AUDIODATA with non-digit count", document,
          Builder().block (Builder().string ("AUDIODATA").decimal (2).string ("9 ").samples (std::vector<float> (9, 1.0f)).bytes()).bytes(), true,
          "Position P\nread BLOCK-tag\nRead AudioData\nchannelstr =2\nfloatsizestr =9 \nNumChannels 1\nNumSamples 3\n" },
        { "no IRSamplePool", documentText (*noPool), {}, false, "NumChannels 1\nNumSamples 3\nkeinen IRSamplePool\n" },
        { "IRSamplePool without number", documentText (*noNumber), {}, false, "NumChannels 1\nNumSamples 3\n" },
        { "channel count mismatch", threeChannels, {}, false,
          "NumChannels 1\nNumSamples 3\nchannels in xml (3 != channels in blocks (1)\n" },
    };

    for (auto& c : cases)
    {
        const auto bytes = Builder().header (c.document).block (good).raw (c.records).bytes();
        const auto p0 = fieldSize (c.document);
        const auto expectedLog = "Read HeaderVersion > 2.0\nPosition " + juce::String (p0) + "\n"
                                   "read BLOCK-tag\nRead AudioData\nchannelstr =0\nfloatsizestr =3\n"
                               + c.expectedLog.replace ("Position P", "Position " + juce::String (p0 + blockSize (good)));

        VOK_ImpulseFile fresh;
        EXPECT_EQ (fresh.readFile (folder.write ("case.vok", bytes).getFullPathName()), c.expectedResult) << c.name;
        EXPECT_EQ (fresh.getReadLog(), expectedLog) << c.name;
        EXPECT_EQ (fresh.getSamplePool()->getNumChannels(), 1) << c.name;
    }

    const juce::String unparsable[] = {
        "",
        "no markup here",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<VokImpulseFile version=\"2.1\" cfh_data=\"ABE6F42143.gI1X\"/>\r\n",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<VokImpulseFile version=\"2.1\" cfh_data=\"abe6f42143.gI1X\"/>\r\n",
    };

    for (auto& text : unparsable)
    {
        VOK_ImpulseFile fresh;
        EXPECT_FALSE (fresh.readFile (folder.write ("case.vok", Builder().header (text).block (good).bytes()).getFullPathName())) << text;
        EXPECT_TRUE (fresh.getReadLog().startsWith ("Read HeaderParseError\nHeader: ")) << fresh.getReadLog();
        EXPECT_EQ (fresh.getReadFailure().cause, ReadFailure::Cause::headerNotParsed) << text;
        EXPECT_TRUE (fresh.getReadFailure().reason.startsWith ("Header: ")) << text;
        EXPECT_EQ (fresh.getSamplePool(), nullptr);
        EXPECT_EQ (fresh.getFormatState(), VOK_ImpulseFile::notLoaded);
    }
}

TEST_F (ImpulseRead, EachMismatchingChannelElementGetsItsOwnLine)
{
    auto header = headerElement ("2.1", 2, 3);
    auto* pool = header->getChildByName ("IRSamplePool");
    pool->getChildElement (0)->setAttribute ("NumSamples", 4);
    pool->getChildElement (1)->setAttribute ("NumSamples", 5);

    EXPECT_FALSE (read (Builder().header (documentText (*header)).block (audioPayload (0, left)).block (audioPayload (1, right)).bytes()));
    EXPECT_TRUE (impulse.getReadLog().endsWith ("NumChannels 2\nNumSamples 3\n"
                                                "samples in xml (4) != samples in blocks (3)\n"
                                                "samples in xml (5) != samples in blocks (3)\n"));
    EXPECT_EQ (impulse.getReadFailure().reason, "samples in xml (4) != samples in blocks (3)");
    EXPECT_EQ (impulse.getFormatState(), VOK_ImpulseFile::readFromFile);
    EXPECT_EQ (channel (1), right);
}

TEST_F (ImpulseRead, MissingFileAndUnopenableStreamLeaveTheObjectAlone)
{
    ASSERT_TRUE (read (Builder().header (documentText (*headerElement ("2.1", 1, 3))).block (picturePayload ("1.B"))
                                .block (audioPayload (0, left)).bytes()));
    auto* headerBefore = &impulse.getHeader();

    const auto missing = folder.getFile ("missing.vok");
    EXPECT_FALSE (impulse.readFile (missing.getFullPathName()));
    EXPECT_EQ (impulse.getLastError(), "File not found: " + missing.getFullPathName());
    EXPECT_TRUE (impulse.getReadLog().isEmpty());

    EXPECT_FALSE (impulse.readFile (folder.getFolder().getFullPathName()));
    EXPECT_EQ (impulse.getReadLog(), "Input Stream konnte nicht erstellt werden\n");
    EXPECT_TRUE (impulse.getLastError().isEmpty());

    EXPECT_EQ (impulse.getReadFailure().cause, ReadFailure::Cause::unreadable);
    EXPECT_EQ (impulse.getReadFailure().reason, folder.getFolder().getFullPathName() + " is a Directory");

    EXPECT_FALSE (read (Builder().header ("garbage").bytes()));
    EXPECT_EQ (impulse.getReadLog(), "Read HeaderParseError\nHeader: syntax error at line 1\n");
    EXPECT_EQ (impulse.getReadFailure().reason, "Header: syntax error at line 1");

    EXPECT_EQ (&impulse.getHeader(), headerBefore);
    EXPECT_EQ (impulse.getPictureText(), "1.B");
    EXPECT_EQ (channel (0), left);
}

TEST_F (ImpulseRead, PictureTextStaysWhenTheNextFileHasNone)
{
    ASSERT_TRUE (read (Builder().header (documentText (*headerElement ("2.1", 1, 3))).block (picturePayload ("1.B"))
                                .block (audioPayload (0, left)).bytes()));
    ASSERT_TRUE (read (Builder().header (documentText (*headerElement ("2.1", 1, 3))).block (audioPayload (0, right)).bytes()));
    EXPECT_EQ (impulse.getPictureText(), "1.B");
    EXPECT_EQ (channel (0), right);
}

// A picture becomes text only when it is asked for, or saved: its text must be the string
// field's, well-formed whatever the bytes, and the last picture's of the file.
TEST_F (ImpulseRead, PictureIsTheLastPictureFieldsTextWellFormedWhateverItsBytes)
{
    const juce::juce_wchar malformedCharacters[] = { 0xff, 0xc3, '(', 'a', 0 };
    const juce::String malformed (juce::CharPointer_UTF32 (reinterpret_cast<const juce::CharPointer_UTF32::CharType*> (malformedCharacters)));

    struct Case { const char* name; juce::MemoryBlock pictureBlocks; juce::String expected; };
    const Case cases[] = {
        { "plain text", Builder().block (picturePayload ("3.gI1X")).bytes(), "3.gI1X" },
        { "tag in any case, fields after the text", Builder().block (Builder().string ("PiCtUrE").string ("1.A").string ("junk").bytes()).bytes(), "1.A" },
        { "malformed UTF-8 up to the block's end", Builder().block (Builder().string ("PICTURE").raw ("\xff\xc3(a", 4).bytes()).bytes(), malformed },
        { "the last of two", Builder().block (picturePayload ("1.A")).block (picturePayload ("1.B")).bytes(), "1.B" },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        VOK_ImpulseFile fresh;
        const auto bytes = Builder().header (documentText (*headerElement ("2.1", 1, 3))).raw (c.pictureBlocks)
                                    .block (audioPayload (0, left)).bytes();
        ASSERT_TRUE (fresh.readFile (folder.write ("picture.vok", bytes).getFullPathName())) << fresh.getReadLog();

        const auto saved = folder.getFile ("saved.vok");
        ASSERT_TRUE (fresh.saveToFile (saved.getFullPathName()));
        EXPECT_EQ (fresh.getPictureText(), c.expected);

        VOK_ImpulseFile readBack, replaced;
        ASSERT_TRUE (readBack.readFile (saved.getFullPathName())) << readBack.getReadLog();
        EXPECT_EQ (readBack.getPictureText(), c.expected);

        ASSERT_TRUE (replaced.readFile (saved.getFullPathName()));
        replaced.setPictureText ("1.C");
        EXPECT_EQ (replaced.getPictureText(), "1.C");
    }
}

//==============================================================================
// Files are shared between users, so records that ask for more than the file holds are refused.

TEST_F (ImpulseRead, RecordsAskingForMoreThanTheFileHoldsFailTheReadAndKeepWhatCameBefore)
{
    const auto document = documentText (*headerElement ("2.1", 1, 3));
    const auto document20 = documentText (*headerElement ("2.0", 1, 3));
    const auto good = audioPayload (0, left);

    struct Case { const char* name; juce::MemoryBlock bytes; const char* expectedLine; };
    const Case cases[] = {
        { "block length beyond the file", Builder().header (document).block (good).string ("BLOCK").decimal (1000).zeros (10).bytes(),
          "Block of 1000 bytes rejected: the file holds only 10 more bytes\n" },
        { "block length beyond 32 bits", Builder().header (document).block (good).string ("BLOCK").string ("99999999999999999999").bytes(),
          "Block of 99999999999999999999 bytes rejected: the file holds only 0 more bytes\n" },
        { "sample count beyond the block", Builder().header (document).block (good)
              .block (Builder().string ("AUDIODATA").decimal (0).decimal (2000000000).samples ({ 1, 2 }).bytes()).bytes(),
          "AUDIODATA of channel 0 claims 2000000000 samples, but its block holds only 2\n" },
        { "channel 32", Builder().header (document).block (good).block (audioPayload (32, { 1.0f })).bytes(),
          "AUDIODATA of channel 32 rejected: a sample pool has only 32 channels\n" },
        { "huge channel", Builder().header (document).block (good).block (audioPayload (2147483647, {})).bytes(),
          "AUDIODATA of channel 2147483647 rejected: a sample pool has only 32 channels\n" },
        { "2.0 negative channel", Builder().header (document20).raw (good).string ("AUDIODATA").decimal (-1).decimal (1).samples ({ 1 }).bytes(),
          "AUDIODATA record with channel -1 and sample count 1 rejected: neither may be negative\n" },
        { "2.0 negative count", Builder().header (document20).raw (good).string ("AUDIODATA").decimal (0).decimal (-3).bytes(),
          "AUDIODATA record with channel 0 and sample count -3 rejected: neither may be negative\n" },
        { "2.0 count beyond the file", Builder().header (document20).raw (good).string ("AUDIODATA").decimal (0).decimal (100).samples ({ 1 }).bytes(),
          "AUDIODATA record of channel 0 claims 100 samples, but the file holds only 4 more bytes\n" },
        { "2.0 channel 40", Builder().header (document20).raw (good).raw (audioRecord (40, { 1 })).bytes(),
          "AUDIODATA of channel 40 rejected: a sample pool has only 32 channels\n" },
    };

    for (auto& c : cases)
    {
        VOK_ImpulseFile fresh;
        EXPECT_FALSE (fresh.readFile (folder.write ("hostile.vok", c.bytes).getFullPathName())) << c.name;
        EXPECT_TRUE (fresh.getReadLog().contains (c.expectedLine)) << c.name << "\n" << fresh.getReadLog();
        EXPECT_TRUE (fresh.getReadLog().endsWith ("NumChannels 1\nNumSamples 3\n")) << c.name << "\n" << fresh.getReadLog();
        ASSERT_NE (fresh.getSamplePool(), nullptr);
        EXPECT_EQ (std::vector<float> (fresh.getSamplePool()->getReadPointer (0), fresh.getSamplePool()->getReadPointer (0) + 3), left) << c.name;
        EXPECT_EQ (fresh.getFormatState(), VOK_ImpulseFile::readFromFile) << c.name;
    }
}

TEST_F (ImpulseRead, CompressionBombInTheHeaderIsAParseError)
{
    juce::MemoryOutputStream compressed;
    {
        juce::GZIPCompressorOutputStream zlib (compressed, 9);
        std::vector<char> chunk (1 << 20, ' ');
        zlib << "<?xml version=\"1.0\"?><VokImpulseFile a=\"";
        for (int i = 0; i < 20; ++i)
            zlib.write (chunk.data(), chunk.size());
        zlib << "\"/>";
    }

    juce::XmlElement outer ("VokImpulseFile");
    outer.setAttribute ("version", "2.1");
    outer.setAttribute ("cfh_data", "abe6f4214" + compressed.getMemoryBlock().toBase64Encoding());

    EXPECT_FALSE (read (Builder().header (documentText (outer)).bytes()));
    EXPECT_EQ (impulse.getReadLog(), "Read HeaderParseError\n"
                                     "Header: cfh_data is not a packed header, or unpacks to nothing or more than 16777216 bytes\n");
}

TEST_F (ImpulseRead, BlockLengthsBeyondTheFileAreRefusedAndEmptyOnesRead)
{
    const auto document = packedDocument (*headerElement ("2.1", 1, 0));

    EXPECT_FALSE (read (Builder().header (document).string ("BLOCK").decimal (100).zeros (50).bytes()));
    EXPECT_TRUE (logLines().contains ("Block of 100 bytes rejected: the file holds only 50 more bytes")) << impulse.getReadLog();

    EXPECT_TRUE (read (Builder().header (document).string ("BLOCK").string ("").string ("BLOCK").decimal (3).raw ("abc", 3).bytes()))
        << impulse.getReadLog();
    EXPECT_TRUE (logLines().contains ("unknown Block ")) << impulse.getReadLog();
    EXPECT_TRUE (logLines().contains ("unknown Block abc")) << impulse.getReadLog();
}

//==============================================================================
// Long audio blocks are read from the file straight into the pool; they must read exactly
// as short ones, which go through a copy of the payload.

namespace
{
    std::vector<float> ramp (int numSamples, float start)
    {
        std::vector<float> values ((size_t) numSamples);

        for (int i = 0; i < numSamples; ++i)
            values[(size_t) i] = start + 0.001f * (float) i;

        return values;
    }
}

TEST_F (ImpulseRead, LongBlocksReadLikeShortOnesInAnyOrderAndCase)
{
    const auto first = ramp (1000, 1.0f), second = ramp (1000, -1.0f);

    for (const juce::String crypted : { "", "true" })
    {
        SCOPED_TRACE (crypted);
        const bool scrambled = crypted == "true";
        const auto document = packedDocument (*headerElement ("2.1", 2, 1000, crypted));
        const auto block1 = audioPayload (1, second, scrambled);
        const auto lowerCase = Builder().string ("AudioData").decimal (0).decimal (1000).samples (first, scrambled).bytes();

        ASSERT_TRUE (read (Builder().header (document).block (block1).block (lowerCase).bytes())) << impulse.getReadLog();
        EXPECT_EQ (channel (0), first);
        EXPECT_EQ (channel (1), second);

        const auto p0 = fieldSize (document), p1 = p0 + blockSize (block1);
        EXPECT_EQ (impulse.getReadLog(), "Read HeaderVersion > 2.0\n"
                                         "Position " + juce::String (p0) + "\nread BLOCK-tag\nRead AudioData\nchannelstr =1\nfloatsizestr =1000\n"
                                         "Position " + juce::String (p1) + "\nread BLOCK-tag\nRead AudioData\nchannelstr =0\nfloatsizestr =1000\n"
                                         "NumChannels 2\nNumSamples 1000\n");
    }
}

TEST_F (ImpulseRead, LongBlocksWithOddFieldsFollowTheSameRules)
{
    const auto samples = ramp (500, 0.5f);
    const auto document = documentText (*headerElement ("2.1", 2, 500));
    const auto zeros = juce::String::repeatedString ("0", 400);

    struct Case { const char* name; juce::MemoryBlock payload; bool expectedResult; const char* expectedLine; };
    const Case cases[] = {
        { "fields longer than the head", Builder().string ("AUDIODATA").string (zeros + "1").string (zeros + "500").samples (samples).bytes(),
          true, "floatsizestr =" },
        { "non-digit channel", Builder().string ("AUDIODATA").string ("1x").decimal (500).samples (samples).bytes(),
          false, "channelstr =1x\nfloatsizestr =500\nNumChannels 1\n" },
        { "count beyond the block", Builder().string ("AUDIODATA").decimal (1).decimal (501).samples (samples).bytes(),
          false, "AUDIODATA of channel 1 claims 501 samples, but its block holds only 500\n" },
        { "channel 32", Builder().string ("AUDIODATA").decimal (32).decimal (500).samples (samples).bytes(),
          false, "AUDIODATA of channel 32 rejected: a sample pool has only 32 channels\n" },
        { "long unknown block", Builder().string ("THUMBNAIL").raw (juce::MemoryBlock (1000, true)).bytes(),
          false, "unknown Block THUMBNAIL\n" },
        { "long picture", Builder().string ("PICTURE").string (juce::String::repeatedString ("A", 1000)).bytes(),
          false, "Read Picture\n" },
    };

    for (auto& c : cases)
    {
        VOK_ImpulseFile fresh;
        const auto bytes = Builder().header (document).block (audioPayload (0, samples)).block (c.payload).bytes();
        EXPECT_EQ (fresh.readFile (folder.write ("odd.vok", bytes).getFullPathName()), c.expectedResult) << c.name;
        EXPECT_TRUE (fresh.getReadLog().contains (c.expectedLine)) << c.name << "\n" << fresh.getReadLog();
        EXPECT_EQ (std::vector<float> (fresh.getSamplePool()->getReadPointer (0), fresh.getSamplePool()->getReadPointer (0) + 500), samples) << c.name;
    }

    // The fields that don't fit the head still read as fields: channel 1, 500 samples.
    VOK_ImpulseFile longFields;
    ASSERT_TRUE (longFields.readFile (folder.write ("long.vok", Builder().header (document).block (audioPayload (0, samples))
                                                                    .block (cases[0].payload).bytes()).getFullPathName()))
        << longFields.getReadLog();
    EXPECT_EQ (std::vector<float> (longFields.getSamplePool()->getReadPointer (1), longFields.getSamplePool()->getReadPointer (1) + 500), samples);
}

//==============================================================================
// What the header declares and the read log bound what a small file can make the reader hold.

TEST_F (ImpulseRead, HostileFilesAreReadWithinWhatTheyHoldAndNameTheirCause)
{
    const auto twoChannels = documentText (*headerElement ("2.1", 2, 3));
    const auto good = audioPayload (0, left);

    Builder manyUnknownBlocks;
    manyUnknownBlocks.header (twoChannels).block (good).block (audioPayload (1, right));
    for (int i = 0; i < 30000; ++i)
        manyUnknownBlocks.block (Builder().string ("X").bytes());

    Builder manyVersion20Strings;
    manyVersion20Strings.header (documentText (*headerElement ("2.0", 1, 3))).raw (audioRecord (0, left));
    for (int i = 0; i < 100000; ++i)
        manyVersion20Strings.string ("j");

    // The reason is the finding that failed the read, wherever the log goes on or is cut off.
    struct Case { const char* name; juce::MemoryBlock bytes; bool expectedResult; ReadFailure::Cause cause;
                  const char* expectedLine; int maxChannels; };
    const Case cases[] = {
        { "block for channel 31 of a two-channel header", Builder().header (twoChannels).block (good).block (audioPayload (31, right)).bytes(),
          false, ReadFailure::Cause::recordRefused, "AUDIODATA of channel 31 rejected: the header declares 2 channels\n", 2 },
        { "2.0 record for channel 5 of a one-channel header",
          Builder().header (documentText (*headerElement ("2.0", 1, 3))).raw (audioRecord (5, left)).bytes(),
          false, ReadFailure::Cause::recordRefused, "AUDIODATA of channel 5 rejected: the header declares 1 channels\n", 1 },
        { "channel count mismatch", Builder().header (twoChannels).block (good).bytes(),
          false, ReadFailure::Cause::disagreesWithHeader, "channels in xml (2 != channels in blocks (1)\n", 2 },
        { "30000 unknown blocks", manyUnknownBlocks.bytes(),
          true, ReadFailure::Cause::none, "\nRead log cut off after ", 2 },
        { "100000 strings of version 2.0 junk", manyVersion20Strings.bytes(),
          true, ReadFailure::Cause::none, "\nRead log cut off after ", 1 },
    };

    for (auto& c : cases)
    {
        VOK_ImpulseFile fresh;
        EXPECT_EQ (fresh.readFile (folder.write ("hostile.vok", c.bytes).getFullPathName()), c.expectedResult) << c.name;
        EXPECT_EQ (fresh.getReadFailure().cause, c.cause) << c.name;

        if (c.cause != ReadFailure::Cause::none)
        {
            EXPECT_EQ (fresh.getReadFailure().reason + "\n", c.expectedLine) << c.name;
        }
        EXPECT_TRUE (fresh.getReadLog().contains (c.expectedLine)) << c.name << "\n" << fresh.getReadLog().getLastCharacters (300);
        EXPECT_LE (fresh.getReadLog().getNumBytesAsUTF8(), ReadLog::maxBytes + 100) << c.name;
        ASSERT_NE (fresh.getSamplePool(), nullptr);
        EXPECT_LE (fresh.getSamplePool()->getNumChannels(), c.maxChannels) << c.name;
    }
}

// The installer takes only an old file's presets, which its header holds: read for the header
// alone, a file whose samples are cut short, damaged or missing still gives them, and is still
// refused when the samples are wanted. A damaged header fails whatever is wanted.
TEST_F (ImpulseRead, HeaderAloneIsEnoughWhenTheSamplesArePassedOver)
{
    using SampleReading = VOK_ImpulseFile::SampleReading;

    auto header = headerElement ("2.1", 2, 100);
    auto* preset = header->getChildByName ("presets")->createNewChildElement ("Preset");
    preset->setAttribute ("preset_name", "Hall");
    preset->setAttribute ("preset_data", "wet 0.5");
    const auto document = packedDocument (*header);
    const auto picture = picturePayload ("3.gI1X");
    const std::vector<float> samples (100, 0.25f);

    const auto whole = Builder().header (document).block (picture).block (audioPayload (0, samples))
                                .block (audioPayload (1, samples)).bytes();
    const auto headerBytes = (size_t) fieldSize (document);
    auto damagedHeader = whole;
    std::memset (static_cast<char*> (damagedHeader.getData()) + headerBytes / 2, 'x', 40);

    struct Case { const char* name; juce::MemoryBlock bytes; bool readForTheHeader; };
    const Case cases[] = {
        { "last 50 sample bytes missing", juce::MemoryBlock (whole.getData(), whole.getSize() - 50), true },
        { "audio block's frame damaged", Builder().header (document).block (picture).string ("BLOCK").string ("4o9")
                                                  .raw (audioPayload (0, samples)).block (audioPayload (1, samples)).bytes(), true },
        { "no audio blocks", Builder().header (document).block (picture).bytes(), true },
        { "cut short in the picture block", juce::MemoryBlock (whole.getData(), headerBytes + 12), true },
        { "cut short in the header", juce::MemoryBlock (whole.getData(), headerBytes - 20), false },
        { "40 bytes of the header overwritten", damagedHeader, false },
    };

    for (auto& c : cases)
    {
        const auto path = folder.write ("damaged.vok", c.bytes).getFullPathName();

        VOK_ImpulseFile decoded, kept, skipped;
        EXPECT_FALSE (decoded.readFile (path)) << c.name;
        EXPECT_FALSE (kept.readFile (path, SampleReading::keepStored)) << c.name;
        ASSERT_EQ (skipped.readFile (path, SampleReading::skip), c.readForTheHeader) << c.name << "\n" << skipped.getReadLog();

        if (c.readForTheHeader)
        {
            EXPECT_EQ (skipped.getReadFailure().cause, ReadFailure::Cause::none) << c.name;
            EXPECT_EQ (skipped.getPresetNames(), juce::StringArray ("Hall")) << c.name;
            EXPECT_EQ (skipped.getPresetData ("Hall"), "wet 0.5") << c.name;

            // What was passed over can't be written back.
            juce::MemoryOutputStream out;
            EXPECT_FALSE (skipped.writeToStream (out)) << c.name;
        }
        else
        {
            EXPECT_EQ (skipped.getReadFailure().cause, ReadFailure::Cause::headerNotParsed) << c.name;
        }
    }
}
