#include "ImpulseFileBytes.h"

#include <impulse/HeaderAttributes.h>
#include <impulse/ImpulseFileFields.h>
#include <safeio/Utf8Text.h>
#include <impulse/VOK_ImpulseFile.h>

#include <gtest/gtest.h>

#include <cmath>

using namespace ImpulseFileBytes;

namespace
{
    std::vector<juce::uint8> toBytes (const juce::MemoryBlock& block)
    {
        auto* data = static_cast<const juce::uint8*> (block.getData());
        return { data, data + block.getSize() };
    }

    std::vector<juce::uint8> toBytes (const char* text, size_t size)
    {
        return { reinterpret_cast<const juce::uint8*> (text), reinterpret_cast<const juce::uint8*> (text) + size };
    }

    /** What the writer puts after the header: the blocks. */
    std::vector<juce::uint8> writtenRecords (VOK_ImpulseFile& impulse)
    {
        juce::MemoryOutputStream out;
        EXPECT_TRUE (impulse.writeToStream (out));

        const auto written = toBytes (out.getMemoryBlock());
        const auto headerEnd = std::find (written.begin(), written.end(), 0);
        return { headerEnd == written.end() ? headerEnd : headerEnd + 1, written.end() };
    }
}

TEST (ImpulseFields, AudioBlockOfChannelOneWithThreeSamplesIsFramedWithLength26)
{
    VOK_ImpulseFile impulse;
    impulse.setHeader (headerElement ("2.1", 2, 3));
    auto pool = std::make_unique<VOK_VokSampleBuffer> (2, 3, 44100.0);
    pool->clear();
    pool->copyFrom (1, 0, std::vector<float> { 0.5f, -1.0f, 0.25f }.data(), 3);
    impulse.setSamplePool (std::move (pool));

    const auto expected = Builder().string ("BLOCK").string ("26")
                                   .string ("AUDIODATA").string ("1").string ("3")
                                   .samples ({ 0.5f, -1.0f, 0.25f }).bytes();
    const auto records = writtenRecords (impulse);
    ASSERT_GE (records.size(), expected.getSize());
    EXPECT_EQ (std::vector<juce::uint8> (records.end() - (long) expected.getSize(), records.end()), toBytes (expected));
}

TEST (ImpulseFields, ZeroSampleIsStoredAsTheKeyWhenScrambledAndAsZerosWhenPlain)
{
    for (bool scrambled : { true, false })
    {
        VOK_ImpulseFile impulse;
        impulse.setHeader (headerElement ("2.1", 1, 1, scrambled ? "true" : "false"));
        auto pool = std::make_unique<VOK_VokSampleBuffer> (1, 1, 44100.0);
        pool->setSample (0, 0, 0.0f);
        impulse.setSamplePool (std::move (pool));

        const auto records = writtenRecords (impulse);
        ASSERT_GE (records.size(), 4u);
        EXPECT_EQ (std::vector<juce::uint8> (records.end() - 4, records.end()),
                   scrambled ? (std::vector<juce::uint8> { 0xE6, 0xC3, 0x17, 0x5A }) : (std::vector<juce::uint8> { 0, 0, 0, 0 }));
    }
}

TEST (ImpulseFields, SamplesDecodeBackToTheirBitPatternsBothWays)
{
    const std::vector<float> values { 0.0f, -0.0f, 1.0f, -3.5e-20f, 123456.789f,
                                      std::numeric_limits<float>::infinity(), std::numeric_limits<float>::denorm_min() };

    for (bool scrambled : { false, true })
    {
        std::vector<juce::uint8> stored (values.size() * 4);
        ImpulseFileFields::encodeSamples (values.data(), stored.data(), (int) values.size(), scrambled);

        for (size_t i = 0; i < values.size(); ++i)
        {
            const auto word = juce::ByteOrder::littleEndianInt (stored.data() + 4 * i);
            EXPECT_EQ (word, storedWord (values[i], scrambled)) << "sample " << i << " scrambled " << scrambled;
        }

        std::vector<float> decoded (values.size());
        ImpulseFileFields::decodeSamples (stored.data(), decoded.data(), (int) values.size(), scrambled);
        EXPECT_EQ (std::memcmp (decoded.data(), values.data(), values.size() * 4), 0);
    }
}

TEST (ImpulseFields, PictureBlockHoldsTagAndTextWithLengthEightPlusTextPlusOne)
{
    VOK_ImpulseFile impulse;
    impulse.setPictureText ("4.AbCd");

    EXPECT_EQ (writtenRecords (impulse), toBytes ("BLOCK\0" "15\0" "PICTURE\0" "4.AbCd\0", 6 + 3 + 15));
}

TEST (ImpulseFields, StringFieldsStopAtZeroOrEndOfData)
{
    const auto data = Builder().string ("first").string ("").raw ("tail", 4).bytes();

    size_t offset = 0;
    EXPECT_EQ (ImpulseFileFields::readString (data, offset), "first");
    EXPECT_EQ (ImpulseFileFields::readString (data, offset), "");
    EXPECT_EQ (ImpulseFileFields::readString (data, offset), "tail");
    EXPECT_EQ (offset, data.getSize());
    EXPECT_EQ (ImpulseFileFields::readString (data, offset), "");

    juce::MemoryInputStream stream (data, false);
    EXPECT_EQ (ImpulseFileFields::readString (stream), "first");
    EXPECT_EQ (stream.getPosition(), 6);
    EXPECT_EQ (ImpulseFileFields::readString (stream), "");
    EXPECT_EQ (ImpulseFileFields::readString (stream), "tail");
    EXPECT_TRUE (stream.isExhausted());
}

TEST (ImpulseFields, LongStringFieldOnAStreamLeavesThePositionJustPastItsZero)
{
    const auto longText = juce::String::repeatedString ("x\xc3\xa9", 5000);
    const auto data = Builder().string (juce::String::fromUTF8 (longText.toRawUTF8())).string ("next").bytes();
    juce::MemoryInputStream stream (data, false);

    EXPECT_EQ (ImpulseFileFields::readString (stream).getNumBytesAsUTF8(), longText.getNumBytesAsUTF8());
    EXPECT_EQ (ImpulseFileFields::readString (stream), "next");
}

TEST (ImpulseFields, IntegersReadLikeTheFrameworkWithoutWrapping)
{
    struct Case { const char* text; juce::int64 parsed; };
    const Case cases[] = {
        { "0", 0 }, { "26", 26 }, { "  7", 7 }, { "-5", -5 }, { "+5", 5 }, { "12abc", 12 },
        { "", 0 }, { "abc", 0 }, { "2147483647", 2147483647 }, { "4294967396", 4294967396LL },
        { "99999999999999999999", (juce::int64) 1 << 40 }, { "-99999999999999999999", -((juce::int64) 1 << 40) },
    };

    for (auto& c : cases)
        EXPECT_EQ (ImpulseFileFields::parseInteger (c.text), c.parsed) << c.text;

    EXPECT_TRUE (ImpulseFileFields::isDecimalText ("0123456789"));
    EXPECT_TRUE (ImpulseFileFields::isDecimalText (""));
    EXPECT_FALSE (ImpulseFileFields::isDecimalText ("-1"));
    EXPECT_FALSE (ImpulseFileFields::isDecimalText (" 1"));
}

TEST (Utf8Text, MalformedUTF8BecomesOneCharacterPerByteAndNeverRunsPastTheText)
{
    struct Case { const char* bytes; size_t size; std::vector<juce::juce_wchar> expected; };
    const Case cases[] = {
        { "abc", 3, { 'a', 'b', 'c' } },
        { "\xc3\xa4\xe2\x82\xac", 5, { 0xe4, 0x20ac } },
        { "k\xf8\x06", 3, { 'k', 0xf8, 0x06 } },
        { "\xe2\x82", 2, { 0xe2, 0x82 } },
        { "a\xf0", 2, { 'a', 0xf0 } },
        { "\xc0\xaf", 2, { 0xc0, 0xaf } },
        { "\xe0\x80\xaf", 3, { 0xe0, 0x80, 0xaf } },
        { "\xed\xa0\x80", 3, { 0xed, 0xa0, 0x80 } },
        { "\xf4\x90\x80\x80", 4, { 0xf4, 0x90, 0x80, 0x80 } },
        { "\xf0\x9f\x8e\xb5", 4, { 0x1f3b5 } },
    };

    for (auto& c : cases)
    {
        const auto text = Utf8Text::toString (c.bytes, c.size);
        std::vector<juce::juce_wchar> characters;
        for (auto p = text.getCharPointer(); ! p.isEmpty(); ++p)
            characters.push_back (*p);
        EXPECT_EQ (characters, c.expected) << c.bytes;
        EXPECT_TRUE (juce::CharPointer_UTF8::isValidString (text.toRawUTF8(), (int) text.getNumBytesAsUTF8() + 1));
    }
}

TEST (HeaderAttributesTest, NamesMatchIgnoringCaseAndNumbersReadLikeTheFramework)
{
    juce::XmlElement element ("VokImpulseFile");
    element.setAttribute ("SampleRate", "44100.5");
    element.setAttribute ("Number", "3x");

    EXPECT_TRUE (HeaderAttributes::hasAttribute (element, "samplerate"));
    EXPECT_EQ (HeaderAttributes::getDouble (element, "SAMPLERATE", 0.0), 44100.5);
    EXPECT_EQ (HeaderAttributes::getInt (element, "number", 99999), 3);
    EXPECT_EQ (HeaderAttributes::getInt (element, "missing", 99999), 99999);

    HeaderAttributes::setString (element, "samplerate", "48000");
    EXPECT_EQ (element.getAttributeName (0), "SampleRate");
    EXPECT_EQ (element.getStringAttribute ("SampleRate"), "48000");

    // Exponents too long for the framework's reader still give what they stand for.
    const std::pair<const char*, double> numbers[] = {
        { "2.1", 2.1 }, { "1e3", 1000.0 }, { "1e0003", 1000.0 }, { "1e", 1.0 }, { "1.5 eggs", 1.5 },
        { "1e11111111111111", std::numeric_limits<double>::infinity() }, { "1e-11111111111111", 0.0 },
        { "-2e+000000000000002", -200.0 },
    };

    for (auto& [text, expected] : numbers)
    {
        element.setAttribute ("version", text);
        EXPECT_EQ (HeaderAttributes::getDouble (element, "version", -1.0), expected) << text;
    }
}

TEST (HeaderAttributesTest, NumbersOfAnyLengthReadAsTheirValue)
{
    const auto zeros = juce::String::repeatedString ("0", 300000);
    const auto inf = std::numeric_limits<double>::infinity();

    struct Row { juce::String text; double expected; };
    const Row rows[] = {
        { "48000", 48000.0 },
        { " +44100.5", 44100.5 },
        { "-1.5e3", -1500.0 },
        { ".25", 0.25 },
        { "0000048000", 48000.0 },
        { "123456789012345678901234567890", 123456789012345678901234567890.0 },
        { "0.000000000000000000000000000001234", 1.234e-30 },
        { "4" + zeros, inf },
        { "-4" + zeros + ".5", -inf },
        { "48000." + zeros + "9", 48000.0 },
        { "0." + zeros + "1", 0.0 },
        { "1" + zeros + "e-300000", 1.0 },
        { "1e" + zeros + "1", 10.0 },
        { "abc", 0.0 },
        { "-", 0.0 },
    };

    juce::XmlElement element ("VokImpulseFile");

    for (auto& row : rows)
    {
        element.setAttribute ("samplerate", row.text);
        // Within a few units in the last place: Windows' C library rounds some long forms differently.
        EXPECT_DOUBLE_EQ (HeaderAttributes::getDouble (element, "samplerate", -1.0), row.expected) << row.text.substring (0, 40);
    }

    element.setAttribute ("samplerate", "nan");
    EXPECT_TRUE (std::isnan (HeaderAttributes::getDouble (element, "samplerate", 0.0)));
}
