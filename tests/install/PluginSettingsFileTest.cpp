#include <install/PluginSettingsFile.h>

#include <juce_data_structures/juce_data_structures.h>

#include <gtest/gtest.h>

namespace
{
    using Properties = std::vector<std::pair<juce::String, juce::String>>;

    juce::MemoryBlock writtenByTheFramework (juce::PropertiesFile::StorageFormat format, const Properties& properties)
    {
        const auto file = juce::File::createTempFile (".settings");
        juce::PropertiesFile::Options options;
        options.storageFormat = format;
        options.millisecondsBeforeSaving = -1;

        {
            juce::PropertiesFile settings (file, options);

            for (auto& [key, value] : properties)
                settings.setValue (key, value);

            settings.save();
        }

        juce::MemoryBlock bytes;
        file.loadFileAsData (bytes);
        file.deleteFile();
        return bytes;
    }

    juce::MemoryBlock binary (int declaredCount, const Properties& properties, bool compressed = false)
    {
        juce::MemoryOutputStream body;
        body.writeInt (declaredCount);

        for (auto& [key, value] : properties)
        {
            body.writeString (key);
            body.writeString (value);
        }

        juce::MemoryOutputStream file;
        file.writeInt ((int) juce::ByteOrder::littleEndianInt (compressed ? "CPRP" : "PROP"));

        if (! compressed)
            file << body.getMemoryBlock();
        else
        {
            juce::GZIPCompressorOutputStream zlib (file);
            zlib << body.getMemoryBlock();
        }

        return file.getMemoryBlock();
    }

    juce::MemoryBlock text (const juce::String& s)   { return juce::MemoryBlock (s.toRawUTF8(), s.getNumBytesAsUTF8()); }
}

// Every form the framework writes reads back the same, through our own parsers (the XML one
// made for hostile text).
TEST (PluginSettingsFile, EveryFormTheFrameworkWritesReadsTheSame)
{
    const Properties properties { { "DEFAULT_IMPULSE_PATH", "/data/impulses" }, { "Window", "10 20 <&>\"" },
                                  { "empty", "" }, { "Unicode", juce::String::fromUTF8 ("H\xc3\xa4ll \xe6\xbc\xa2") } };

    for (auto format : { juce::PropertiesFile::storeAsXML, juce::PropertiesFile::storeAsBinary,
                         juce::PropertiesFile::storeAsCompressedBinary })
    {
        const auto bytes = writtenByTheFramework (format, properties);
        PluginSettingsFile settings { juce::File() };
        const auto failure = settings.readFrom (bytes);
        ASSERT_TRUE (failure.isEmpty()) << (int) format << ": " << failure;

        EXPECT_EQ (settings.size(), (int) properties.size()) << (int) format;

        for (auto& [key, value] : properties)
            EXPECT_EQ (settings.getValue (key, "(missing)"), value) << (int) format << " " << key;

        EXPECT_EQ (settings.getValue ("default_impulse_path"), "/data/impulses");
    }
}

// What can't be read in full is refused (the installer then never replaces it); what can is
// read in time and memory that follow its size.
TEST (PluginSettingsFile, HostileFilesAreReadOrRefusedWithTheirCause)
{
    Properties manyKeys;
    for (int i = 0; i < 60000; ++i)
        manyKeys.emplace_back ("key" + juce::String (i), juce::String (i));

    juce::MemoryOutputStream bomb;
    {
        bomb.writeInt ((int) juce::ByteOrder::littleEndianInt ("CPRP"));
        juce::GZIPCompressorOutputStream zlib (bomb, 9);
        zlib.writeInt (1);
        std::vector<char> spaces (1 << 20, ' ');
        for (int i = 0; i < 20; ++i)
            zlib.write (spaces.data(), spaces.size());
    }

    const juce::String refused = "can't be read in full";

    struct Case { const char* name; juce::MemoryBlock bytes; int numProperties; juce::String failure; };
    const Case cases[] = {
        { "processing instruction followed by text", text ("<PROPERTIES><?pi x?>text<VALUE name=\"a\" val=\"1\"/></PROPERTIES>"), 1, {} },
        { "DTD with an entity", text ("<!DOCTYPE P [<!ENTITY e \"x\">]><PROPERTIES><VALUE name=\"a\" val=\"&e;\"/></PROPERTIES>"), 0, refused },
        { "other root element", text ("<SETTINGS/>"), 0, refused },
        { "not XML", text ("garbage"), 0, refused },
        { "60000 keys", binary (60000, manyKeys), 60000, {} },
        { "count claims more than the bytes hold", binary (0x7fffffff, { { "a", "1" } }), 0, refused },
        { "negative count", binary (-1, {}), 0, refused },
        { "keys repeated in another case, kept as stored", binary (3, { { "Path", "1" }, { "PATH", "2" }, { "other", "3" } }), 3, {} },
        { "compression bomb", bomb.getMemoryBlock(), 0, refused },
        { "damaged compressed data", juce::MemoryBlock (binary (1, { { "a", "1" } }, true).getData(), 10), 0, refused },
    };

    for (auto& c : cases)
    {
        PluginSettingsFile settings { juce::File ("/settings/VOK.settings") };
        const auto failure = settings.readFrom (c.bytes);

        EXPECT_EQ (settings.size(), c.numProperties) << c.name;
        EXPECT_EQ (failure.isEmpty(), c.failure.isEmpty()) << c.name << ": " << failure;
        EXPECT_TRUE (failure.contains (c.failure)) << c.name << ": " << failure;
    }
}

namespace
{
    juce::MemoryBlock xmlFileWithValue (const juce::String& valueXml)
    {
        return text ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<PROPERTIES><VALUE name=\"k\">" + valueXml
                       + "</VALUE></PROPERTIES>");
    }

    juce::String readByTheFramework (const juce::MemoryBlock& bytes)
    {
        const auto file = juce::File::createTempFile (".settings");
        file.replaceWithData (bytes.getData(), bytes.getSize());
        juce::PropertiesFile::Options options;
        options.storageFormat = juce::PropertiesFile::storeAsXML;
        options.millisecondsBeforeSaving = -1;

        const auto value = juce::PropertiesFile (file, options).getValue ("k", "(missing)");
        file.deleteFile();
        return value;
    }
}

// A value held as nested XML is kept as the plug-in's loader (the framework's) stores it: the
// element on one line. Where that loader would crash (an element after text, which then
// holds elements or many attributes), the value is the same one line.
TEST (PluginSettingsFile, NestedXmlValuesAreKeptOnOneLine)
{
    struct Case { const char* name; juce::String valueXml; juce::String stored; bool frameworkReadsIt; };
    const Case cases[] = {
        { "text, then an element holding one", "<A>t<B><C/></B></A>", "<A>t<B><C/></B></A>", false },
        { "text, then an element of many attributes",
          "<A>t<B first=\"aaaaaaaaaaaaaaaaaaaaaaaaa\" second=\"bbbbbbbbbbbbbbbbbbbbbbbbb\" third=\"c\"/></A>",
          "<A>t<B first=\"aaaaaaaaaaaaaaaaaaaaaaaaa\" second=\"bbbbbbbbbbbbbbbbbbbbbbbbb\" third=\"c\"/></A>", false },
        { "text, then an empty element, then text", "<A>t<B/>u</A>", "<A>t<B/>u</A>", true },
        { "nested elements over several lines", "\n  <A>\n    <B>\n      <C/>\n    </B>\n    <D>x</D>\n  </A>\n",
          "<A><B><C/></B><D>x</D></A>", true },
        { "attributes and text to escape", "<A x=\"1 &amp; 2\" y='say \"hi\"' z=\"a&#10;b\"><B>&lt;&amp;&gt;</B></A>",
          "<A x=\"1 &amp; 2\" y=\"say &quot;hi&quot;\" z=\"a&#10;b\"><B>&lt;&amp;&gt;</B></A>", true },
    };

    for (auto& c : cases)
    {
        const auto bytes = xmlFileWithValue (c.valueXml);
        PluginSettingsFile settings { juce::File() };
        const auto failure = settings.readFrom (bytes);

        EXPECT_TRUE (failure.isEmpty()) << c.name << ": " << failure;
        EXPECT_EQ (settings.getValue ("k"), c.stored) << c.name;

        if (c.frameworkReadsIt)
        {
            EXPECT_EQ (readByTheFramework (bytes), c.stored) << c.name;
        }
    }
}
