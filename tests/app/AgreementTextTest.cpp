#include <app/AgreementText.h>

#include <gtest/gtest.h>

TEST (AgreementText, HasTheShapeOfTheAgreement)
{
    auto text = AgreementText::get();
    auto lines = juce::StringArray::fromTokens (text, "\n", {});

    ASSERT_EQ (lines.size(), 29);
    EXPECT_FALSE (text.contains ("\r"));
    EXPECT_TRUE (lines[0].containsIgnoreCase ("LICENSE AGREEMENT"));

    int listItems = 0, spacerLines = 0, linesEndingInSpace = 0;
    juce::StringArray sectionHeadings;

    for (auto& line : lines)
    {
        listItems += line.startsWith ("-\t") ? 1 : 0;
        spacerLines += line == " " ? 1 : 0;
        linesEndingInSpace += line.endsWith (" ") ? 1 : 0;

        if (line.length() > 2 && juce::CharacterFunctions::isDigit (line[0]) && line.substring (1, 3) == ". ")
            sectionHeadings.add (line.substring (0, 1));
    }

    EXPECT_EQ (listItems, 5);
    EXPECT_EQ (sectionHeadings.joinIntoString (","), "1,2,3,4");
    EXPECT_GE (spacerLines, 10);
    EXPECT_GT (linesEndingInSpace, lines.size() / 2);
    EXPECT_TRUE (lines[28].isNotEmpty());
    EXPECT_TRUE (lines[28].trim().isEmpty());
    EXPECT_TRUE (lines[27].contains ("I Agree"));
    EXPECT_NEAR (text.length(), 3500, 150);
}

TEST (AgreementText, IsStoredAsLatin1WithExactlyOneCharacterOutsideAscii)
{
    auto bytes = AgreementText::getLatin1Bytes();
    auto text = AgreementText::get();

    ASSERT_EQ ((size_t) text.length(), bytes.getSize());

    int outsideAscii = 0;

    for (size_t i = 0; i < bytes.getSize(); ++i)
    {
        auto byte = (unsigned char) bytes[i];
        EXPECT_NE (byte, 0) << "at " << i;
        outsideAscii += byte > 127 ? 1 : 0;

        // Every Latin-1 byte becomes the code point of the same value.
        EXPECT_EQ ((juce::juce_wchar) byte, text[(int) i]) << "at " << i;
    }

    EXPECT_EQ (outsideAscii, 1);
    EXPECT_TRUE (text.contains (juce::String::charToString (0xa9)));
    EXPECT_FALSE (text.contains (juce::String::charToString (0xfffd)));
}

TEST (AgreementText, Latin1ConversionKeepsEveryByteValue)
{
    const char bytes[] = { 'A', (char) 0xa9, (char) 0xe9, (char) 0xff, ' ' };
    auto text = AgreementText::fromLatin1 (bytes, sizeof (bytes));

    ASSERT_EQ (text.length(), 5);
    EXPECT_EQ (text[1], (juce::juce_wchar) 0xa9);
    EXPECT_EQ (text[2], (juce::juce_wchar) 0xe9);
    EXPECT_EQ (text[3], (juce::juce_wchar) 0xff);
    EXPECT_EQ (text.toUTF8().sizeInBytes(), (size_t) (2 + 3 * 2 + 1));
}
