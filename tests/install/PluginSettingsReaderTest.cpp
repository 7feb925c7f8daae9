#include <PluginSettingsReader.h>

#include <juce_data_structures/juce_data_structures.h>

#include <gtest/gtest.h>

namespace
{
    using Properties = std::vector<PluginSettingsReader::Property>;

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

TEST (PluginSettingsReader, EveryFormTheFrameworkWritesReadsTheSame)
{
    const Properties properties { { "DEFAULT_IMPULSE_PATH", "/data/impulses" }, { "Window", "10 20 <&>\"" },
                                  { "empty", "" }, { "Unicode", juce::String::fromUTF8 ("H\xc3\xa4ll \xe6\xbc\xa2") } };

    for (auto format : { juce::PropertiesFile::storeAsXML, juce::PropertiesFile::storeAsBinary,
                         juce::PropertiesFile::storeAsCompressedBinary })
    {
        const auto bytes = writtenByTheFramework (format, properties);
        const auto result = PluginSettingsReader::read (bytes.getData(), bytes.getSize());
        ASSERT_TRUE (result.ok) << (int) format << ": " << result.failure;

        juce::StringPairArray expected, got;
        for (auto& [k, v] : properties)     expected.set (k, v);
        for (auto& [k, v] : result.properties)  got.set (k, v);
        EXPECT_EQ (got, expected) << (int) format;
        EXPECT_EQ (result.getValue ("default_impulse_path", "-"), "/data/impulses");
    }
}

TEST (PluginSettingsReader, HostileFilesAreReadOrRefusedWithTheirCause)
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

    struct Case { const char* name; juce::MemoryBlock bytes; bool ok; size_t numProperties; const char* failure; };
    const Case cases[] = {
        { "processing instruction followed by text", text ("<PROPERTIES><?pi x?>text<VALUE name=\"a\" val=\"1\"/></PROPERTIES>"), true, 1, "" },
        { "DTD with an entity", text ("<!DOCTYPE P [<!ENTITY e \"x\">]><PROPERTIES><VALUE name=\"a\" val=\"&e;\"/></PROPERTIES>"),
          false, 0, "document type declaration" },
        { "other root element", text ("<SETTINGS/>"), false, 0, "root element is SETTINGS" },
        { "not XML", text ("garbage"), false, 0, "not a settings file" },
        { "60000 keys", binary (60000, manyKeys), true, 60000, "" },
        { "count claims more than the bytes hold", binary (0x7fffffff, { { "a", "1" } }), true, 1, "" },
        { "keys repeated in another case", binary (3, { { "Path", "1" }, { "PATH", "2" }, { "other", "3" } }), true, 2, "" },
        { "empty key", binary (2, { { "", "1" }, { "b", "2" } }), true, 1, "" },
        { "compression bomb", bomb.getMemoryBlock(), false, 0, "inflate to more than" },
        { "damaged compressed data", juce::MemoryBlock (binary (1, { { "a", "1" } }, true).getData(), 10), true, 0, "" },
    };

    for (auto& c : cases)
    {
        const auto result = PluginSettingsReader::read (c.bytes.getData(), c.bytes.getSize());
        EXPECT_EQ (result.ok, c.ok) << c.name << ": " << result.failure;
        EXPECT_EQ (result.properties.size(), c.numProperties) << c.name;
        EXPECT_TRUE (result.failure.contains (c.failure)) << c.name << ": " << result.failure;
    }

    const auto repeated = PluginSettingsReader::read (cases[6].bytes.getData(), cases[6].bytes.getSize());
    EXPECT_EQ (repeated.properties[0], PluginSettingsReader::Property ("Path", "2"));
}
