#include <safeio/UntrustedXmlParser.h>

#include <gtest/gtest.h>

namespace
{
    /** Text the framework's writer makes of an element holding every kind of character it escapes. */
    juce::String writtenByTheFramework()
    {
        juce::XmlElement root ("VokImpulseFile");
        root.setAttribute ("version", "2.1");
        auto* preset = root.createNewChildElement ("presets")->createNewChildElement ("Preset");
        preset->setAttribute ("preset_name", juce::String::fromUTF8 ("Hall \x01\x1f\t\n\r <&>\"' \xc3\xa9 \xe6\xbc\xa2 \xf0\x9f\x98\x80"));
        preset->setAttribute ("preset_data", juce::String::charToString (0xfffe) + juce::String::charToString (0xffff));
        root.createNewChildElement ("Notes")->addTextElement ("line 1\nline \x02 2 & <3>");
        return root.toString();
    }

    std::unique_ptr<juce::XmlElement> parseTrusted (const juce::String& text)
    {
        return juce::XmlDocument (text).getDocumentElement();
    }
}

TEST (UntrustedXmlParser, WellFormedDocumentsGiveTheFrameworksTree)
{
    const juce::String documents[] = {
        "<a/>",
        writtenByTheFramework(),
        "<a>x<!-- note -->y</a>",
        "<a>  <b/>  \n </a>",
        "<a> t <b/> u </a>",
        "<a>x\r\ny</a>",
        "<a><![CDATA[<c> & ]]>text<![CDATA[]]><![CDATA[  ]]></a>",
        "<a v='&amp;&lt;&gt;&quot;&apos;'>&amp;&#65;&#x42;</a>",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a v=\"\xc3\xa9\"/>",
        " \n <?xml version=\"1.0\"?><a/>",
        "<a/> text after the root element is not read",
        "<ns:a ns:x=\"1\" y.z-w=\"2\"><_b/></ns:a>",
        "<a x='&#983041;'/>",
    };

    for (auto& text : documents)
    {
        const auto expected = parseTrusted (text);
        const auto parsed = UntrustedXmlParser::parse (text);
        ASSERT_NE (expected, nullptr) << text;
        ASSERT_NE (parsed, nullptr) << text << ": " << UntrustedXmlParser::getLastError();
        EXPECT_TRUE (parsed->isEquivalentTo (expected.get(), false)) << text;
        EXPECT_EQ (parsed->toString(), expected->toString()) << text;
    }
}

TEST (UntrustedXmlParser, HostileOrMalformedDocumentsAreRefusedWithTheirCause)
{
    UntrustedXmlParser::Limits limits;
    limits.maxBytes = 100000;
    limits.maxDepth = 10;
    limits.maxAttributesPerElement = 5;
    limits.maxNodes = 50;
    limits.maxDistinctAttributeNames = 8;

    auto attributes = [] (int count, const char* prefix)
    {
        juce::String text;
        for (int i = 0; i < count; ++i)
            text << " " << prefix << i << "=\"\"";
        return text;
    };

    struct Case { juce::String document; const char* cause; };
    const Case cases[] = {
        { "", "no element" },
        { "not xml", "syntax error" },
        { "<a><b></a>", "mismatched tag" },
        { "<a>", "no element found" },
        { "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>", "document type declaration" },
        { "<!DOCTYPE a SYSTEM \"file:///etc/passwd\"><a/>", "document type declaration" },
        { "<a>&unknown;</a>", "undefined entity" },
        { "<a>&#0;</a>", "reference to invalid character number" },
        { "<a>&#xD800;</a>", "reference to invalid character number" },
        { "<a>&#x4", "unclosed token" },
        { "<a x='1' x='2'/>", "duplicate attribute" },
        { "<a>\x01</a>", "not well-formed" },
        { juce::String::repeatedString ("<a>", 11), "nested deeper than 10" },
        { "<a" + attributes (6, "x") + "/>", "more than 5 attributes" },
        { "<a>" + juce::String::repeatedString ("<b/>", 60) + "</a>", "more than 50 elements" },
        { "<a><b" + attributes (5, "x") + "/><c" + attributes (5, "y") + "/></a>", "more than 8 different attribute names" },
        { "<a>" + juce::String::repeatedString (" ", 100000) + "</a>", "too large" },
    };

    for (auto& c : cases)
    {
        EXPECT_EQ (UntrustedXmlParser::parse (c.document, limits), nullptr) << c.document.substring (0, 60);
        EXPECT_TRUE (UntrustedXmlParser::getLastError().containsIgnoreCase (c.cause))
            << c.document.substring (0, 60) << ": " << UntrustedXmlParser::getLastError();
    }
}

TEST (UntrustedXmlParser, MalformedUtf8BytesAreRefused)
{
    const char bytes[] = "<a x=\"\xc3\x28\"/>";
    EXPECT_EQ (UntrustedXmlParser::parse (bytes, sizeof (bytes) - 1, {}), nullptr);
    EXPECT_TRUE (UntrustedXmlParser::getLastError().contains ("invalid token"));
}

TEST (UntrustedXmlParser, ProcessingInstructionFollowedByTextEndsAndKeepsTheText)
{
    // The framework's parser never returns from this document.
    const auto root = UntrustedXmlParser::parse ("<PROPERTIES><?pi x?>text</PROPERTIES>");
    ASSERT_NE (root, nullptr);
    EXPECT_EQ (root->getAllSubText(), "text");
}
