#include "ImpulseFileBytes.h"

#include <impulse/PackedHeader.h>

#include <gtest/gtest.h>

using namespace ImpulseFileBytes;

TEST (PackedHeader, Base64TextFormOfWorkedValues)
{
    EXPECT_EQ (juce::MemoryBlock ("abc", 3).toBase64Encoding(), "3.gI1X");
    EXPECT_EQ (juce::MemoryBlock().toBase64Encoding(), "0.");

    const auto abc = PackedHeader::decodeBase64Text ("3.gI1X");
    EXPECT_EQ (abc, juce::MemoryBlock ("abc", 3));
    EXPECT_EQ (PackedHeader::decodeBase64Text ("0.").getSize(), 0u);
}

TEST (PackedHeader, Base64DecodingFollowsTheTextFormRules)
{
    // No full stop: an empty block.
    EXPECT_EQ (PackedHeader::decodeBase64Text ("gI1X").getSize(), 0u);

    // A character outside the table leaves its 6 bits zero but still takes its place.
    const auto withStranger = PackedHeader::decodeBase64Text ("3.g*1X");
    const auto expected = PackedHeader::decodeBase64Text ("3.g.1X");
    EXPECT_EQ (withStranger, expected);
    EXPECT_NE (withStranger, juce::MemoryBlock ("abc", 3));

    // Only the low 8 bits of a character count: U+0167 has the low byte of "g".
    EXPECT_EQ (PackedHeader::decodeBase64Text (juce::String::fromUTF8 ("3.\xc5\xa7I1X")), juce::MemoryBlock ("abc", 3));

    // Fewer bytes than characters: the surplus bits are dropped.
    EXPECT_EQ (PackedHeader::decodeBase64Text ("1.gI1X"), juce::MemoryBlock ("a", 1));

    // A count beyond what the characters fill, or a negative one, allocates nothing beyond them.
    EXPECT_LE (PackedHeader::decodeBase64Text ("2000000000.gI1X").getSize(), 4u);
    EXPECT_EQ (PackedHeader::decodeBase64Text ("-5.gI1X").getSize(), 0u);

    // Every byte value survives the round trip.
    juce::MemoryBlock allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes.append (&i, 1);
    EXPECT_EQ (PackedHeader::decodeBase64Text (allBytes.toBase64Encoding()), allBytes);
}

TEST (PackedHeader, PackThenUnpackGivesTheSameText)
{
    const juce::String texts[] = {
        "", "x", documentText (*headerElement ("2.1", 2, 100)),
        juce::String::fromUTF8 ("<a b=\"\xc3\xa4\xe2\x82\xac\"/>\r\n"), juce::String::repeatedString ("abc", 100000),
    };

    for (auto& text : texts)
    {
        const auto packed = PackedHeader::packHeader (text);
        EXPECT_TRUE (packed.startsWith ("abe6f4214"));
        EXPECT_EQ (PackedHeader::unpackHeader (packed), text);
    }
}

TEST (PackedHeader, PackedFormIsMarkerCountDotAndCeilOfEightNOverSixCharacters)
{
    const auto packed = PackedHeader::packHeader (documentText (*headerElement ("2.1", 4, 383477)));
    const auto rest = packed.fromFirstOccurrenceOf ("abe6f4214", false, false);
    const auto countText = rest.upToFirstOccurrenceOf (".", false, false);
    const auto characters = rest.fromFirstOccurrenceOf (".", false, false);

    ASSERT_TRUE (countText.containsOnly ("0123456789"));
    ASSERT_FALSE (countText.startsWith ("0"));
    const auto n = countText.getIntValue();
    EXPECT_EQ (characters.length(), (8 * n + 5) / 6);
    EXPECT_TRUE (characters.containsOnly (".ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+"));

    // The data is a zlib stream (RFC 1950): deflate, 32K window, and a valid header check.
    const auto compressed = PackedHeader::decodeBase64Text (rest);
    ASSERT_EQ ((int) compressed.getSize(), n);
    const auto cmf = (int) compressed[0] & 0xff, flg = (int) compressed[1] & 0xff;
    EXPECT_EQ (cmf, 0x78);
    EXPECT_EQ ((cmf * 256 + flg) % 31, 0);

    // The compressed text is the document followed by one zero byte.
    juce::MemoryOutputStream raw;
    juce::GZIPDecompressorInputStream zlib (new juce::MemoryInputStream (compressed, true), true);
    raw.writeFromInputStream (zlib, -1);
    ASSERT_GT (raw.getDataSize(), 0u);
    EXPECT_EQ (static_cast<const char*> (raw.getData())[raw.getDataSize() - 1], 0);
    EXPECT_EQ (raw.getDataSize(), documentText (*headerElement ("2.1", 4, 383477)).getNumBytesAsUTF8() + 1);
}

TEST (PackedHeader, UnpackRefusesTextsWithoutTheExactMarker)
{
    const auto packed = PackedHeader::packHeader ("<a/>");
    EXPECT_EQ (PackedHeader::unpackHeader ("ABE6F4214" + packed.substring (9)), "");
    EXPECT_EQ (PackedHeader::unpackHeader (packed.substring (1)), "");
    EXPECT_EQ (PackedHeader::unpackHeader (""), "");
    EXPECT_EQ (PackedHeader::unpackHeader ("abe6f4214"), "");
    EXPECT_EQ (PackedHeader::unpackHeader ("abe6f4214garbage"), "");
}

TEST (PackedHeader, CompressionBombIsCutOffAndUnpacksToNothing)
{
    // 20 MiB of one character compress to a few kilobytes.
    juce::MemoryOutputStream compressed;
    {
        juce::GZIPCompressorOutputStream zlib (compressed, 9);
        std::vector<char> chunk (1 << 20, 'a');
        for (int i = 0; i < 20; ++i)
            zlib.write (chunk.data(), chunk.size());
    }

    ASSERT_LT (compressed.getDataSize(), 100000u);
    const auto bomb = "abe6f4214" + compressed.getMemoryBlock().toBase64Encoding();
    EXPECT_EQ (PackedHeader::unpackHeader (bomb), "");
}

TEST (PackedHeader, DocumentTextHasDeclarationLfLfElementCrLf)
{
    juce::XmlElement outer ("VokImpulseFile");
    outer.setAttribute ("version", "2.1");
    outer.setAttribute ("cfh_data", "abe6f42143.gI1X");

    EXPECT_EQ (PackedHeader::createDocumentText (outer),
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<VokImpulseFile version=\"2.1\" cfh_data=\"abe6f42143.gI1X\"/>\r\n");
}

TEST (PackedHeader, ReadHeaderTakesPackedAndUnpackedAndLeavesStreamAtTheRecords)
{
    const auto inner = headerElement ("2.1", 2, 7);

    struct Case { const char* name; juce::String document; };
    const Case cases[] = {
        { "unpacked", documentText (*inner) },
        { "packed", packedDocument (*inner) },
    };

    for (auto& c : cases)
    {
        const auto bytes = Builder().header (c.document).string ("BLOCK").bytes();
        juce::MemoryInputStream input (bytes, false);
        auto header = PackedHeader::readHeader (input);
        ASSERT_NE (header, nullptr) << c.name;
        EXPECT_TRUE (header->isEquivalentTo (inner.get(), false)) << c.name;
        EXPECT_EQ (input.getPosition(), (juce::int64) c.document.getNumBytesAsUTF8() + 1) << c.name;
    }
}

TEST (PackedHeader, EmptyCfhDataMeansUnpackedAndOuterVersionIsNotPartOfAPackedHeader)
{
    juce::XmlElement root ("VokImpulseFile");
    root.setAttribute ("version", "2.1");
    root.setAttribute ("cfh_data", "");
    root.createNewChildElement ("IRSamplePool")->setAttribute ("number", 1);

    juce::MemoryInputStream input (Builder().header (documentText (root)).bytes(), true);
    auto header = PackedHeader::readHeader (input);
    ASSERT_NE (header, nullptr);
    EXPECT_NE (header->getChildByName ("IRSamplePool"), nullptr);

    juce::XmlElement inner ("VokImpulseFile");
    inner.setAttribute ("samplerate", "48000");
    juce::MemoryInputStream packedInput (Builder().header (packedDocument (inner)).bytes(), true);
    auto unpacked = PackedHeader::readHeader (packedInput);
    ASSERT_NE (unpacked, nullptr);
    EXPECT_FALSE (unpacked->hasAttribute ("version"));
    EXPECT_EQ (unpacked->getStringAttribute ("samplerate"), "48000");
}

TEST (PackedHeader, DocumentsThatAreNotWellFormedOrAskTooMuchAreRefused)
{
    juce::String deep;
    for (int i = 0; i < 5000; ++i)
        deep << "<a>";

    const juce::String refused[] = {
        "",
        "not xml at all",
        deep,
        "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY e \"&e;\">]><a b=\"&e;\"/>",
        juce::String::repeatedString ("<a x=\"/>\">", 1000),
        "<a x\"<b><?pi?>text</b>\"/>",
        "<a x=\"<b>\"/>",
        "<a>&#x4",
        "<a b=\"&#X",
        "<a>&#x41;&#x",
        "<a x=\"&#X41;\"/>",
    };

    for (auto& text : refused)
        EXPECT_EQ (PackedHeader::parseDocument (text), nullptr) << text.substring (0, 60);

    // Processing instructions are well-formed XML; the parser passes over them.
    const juce::String accepted[] = {
        "<a/>",
        "<a><!-- <b><b><b> --><![CDATA[<c><c>]]><d x='a&lt;' y=\"/>\"/></a>",
        "<a x=\"&#x41;\">&#x42;</a>",
        "<?xml version=\"1.0\"?><a><?pi?>text</a>",
        "<a/><?pi?>",
        documentText (*headerElement ("2.1", 32, 5)),
    };

    for (auto& text : accepted)
        EXPECT_NE (PackedHeader::parseDocument (text), nullptr) << text.substring (0, 60);
}
