#include "PluginSettingsReader.h"

#include <ImpulseFileFields.h>
#include <UntrustedXmlParser.h>

#include <unordered_map>

namespace
{
    const auto binaryMagic     = (juce::int32) juce::ByteOrder::littleEndianInt ("PROP");
    const auto compressedMagic = (juce::int32) juce::ByteOrder::littleEndianInt ("CPRP");

    PluginSettingsReader::Result refuse (const juce::String& failure)
    {
        PluginSettingsReader::Result result;
        result.failure = failure;
        return result;
    }

    /** A string field as the framework's binary form writes it: UTF-8 up to a zero byte. */
    juce::String readStringField (juce::InputStream& input)
    {
        juce::MemoryOutputStream text;

        for (char c; input.read (&c, 1) == 1 && c != 0;)
            text.writeByte (c);

        return ImpulseFileFields::textFromUTF8 (static_cast<const char*> (text.getData()), text.getDataSize());
    }
}

//==============================================================================
/** Gathers properties, a repeated key (ignoring case) replacing the earlier value in place. */
class PluginSettingsReader::Collector
{
public:
    bool add (const juce::String& key, const juce::String& value)
    {
        const auto lookup = key.toLowerCase();
        const auto existing = indexOfKey.find (lookup);

        if (existing != indexOfKey.end())
        {
            result.properties[existing->second].second = value;
            return true;
        }

        if ((int) result.properties.size() >= maxProperties)
            return false;

        indexOfKey.emplace (lookup, result.properties.size());
        result.properties.emplace_back (key, value);
        return true;
    }

    Result finish()
    {
        result.ok = true;
        return std::move (result);
    }

private:
    Result result;
    std::unordered_map<juce::String, size_t> indexOfKey;
};

juce::String PluginSettingsReader::Result::getValue (const juce::String& key, const juce::String& fallback) const
{
    for (auto& [name, value] : properties)
        if (name.equalsIgnoreCase (key))
            return value;

    return fallback;
}

//==============================================================================
PluginSettingsReader::Result PluginSettingsReader::read (const juce::File& file)
{
    if (! file.exists())
    {
        Result empty;
        empty.ok = true;
        return empty;
    }

    if (! file.existsAsFile())
        return refuse (file.getFullPathName() + " is not a file");

    juce::FileInputStream input (file);

    if (! input.openedOk())
        return refuse ("can't read " + file.getFullPathName() + ": " + input.getStatus().getErrorMessage());

    if (input.getTotalLength() > (juce::int64) maxFileBytes)
        return refuse (file.getFullPathName() + " is larger than " + juce::String ((juce::int64) maxFileBytes) + " bytes");

    juce::MemoryBlock bytes;
    input.readIntoMemoryBlock (bytes, (ssize_t) maxFileBytes + 1);

    if (bytes.getSize() > maxFileBytes)
        return refuse (file.getFullPathName() + " is larger than " + juce::String ((juce::int64) maxFileBytes) + " bytes");

    return read (bytes.getData(), bytes.getSize());
}

PluginSettingsReader::Result PluginSettingsReader::read (const void* data, size_t numBytes)
{
    juce::MemoryInputStream input (data, numBytes, false);
    const auto magic = numBytes >= 4 ? input.readInt() : 0;

    if (magic == binaryMagic)
        return readBinary (input);

    if (magic == compressedMagic)
        return readCompressed (static_cast<const char*> (data) + 4, numBytes - 4);

    return readXml (data, numBytes);
}

PluginSettingsReader::Result PluginSettingsReader::readBinary (juce::InputStream& input)
{
    // The count is only a claim: the properties read are the ones the bytes hold.
    const auto declared = input.readInt();
    Collector collector;

    for (int i = 0; i < declared && ! input.isExhausted(); ++i)
    {
        const auto key = readStringField (input);
        const auto value = readStringField (input);

        if (key.isNotEmpty() && ! collector.add (key, value))
            return refuse ("more than " + juce::String (maxProperties) + " properties");
    }

    return collector.finish();
}

PluginSettingsReader::Result PluginSettingsReader::readCompressed (const void* data, size_t numBytes)
{
    juce::GZIPDecompressorInputStream inflater (new juce::MemoryInputStream (data, numBytes, false), true);
    juce::MemoryOutputStream inflated;

    // Inflated in pieces, so that a compression bomb stops at the limit instead of filling memory.
    char piece[16384];

    for (int numRead; (numRead = inflater.read (piece, (int) sizeof (piece))) > 0;)
    {
        if (inflated.getDataSize() + (size_t) numRead > maxUncompressedBytes)
            return refuse ("compressed settings inflate to more than " + juce::String ((juce::int64) maxUncompressedBytes) + " bytes");

        inflated.write (piece, (size_t) numRead);
    }

    juce::MemoryInputStream input (inflated.getData(), inflated.getDataSize(), false);
    return readBinary (input);
}

PluginSettingsReader::Result PluginSettingsReader::readXml (const void* data, size_t numBytes)
{
    UntrustedXmlParser::Limits limits;
    limits.maxBytes = maxFileBytes;
    limits.maxNodes = maxProperties * 3 + 1;

    const auto root = UntrustedXmlParser::parse (data, numBytes, limits);

    if (root == nullptr)
        return refuse ("not a settings file: " + UntrustedXmlParser::getLastError());

    if (! root->hasTagName ("PROPERTIES"))
        return refuse ("not a settings file: its root element is " + root->getTagName());

    Collector collector;

    for (auto* value : root->getChildWithTagNameIterator ("VALUE"))
    {
        const auto name = value->getStringAttribute ("name");

        // A value may be an XML element of its own, kept as its one-line text.
        auto* element = value->getFirstChildElement();
        const auto text = element != nullptr && ! element->isTextElement()
                            ? element->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader())
                            : value->getStringAttribute ("val");

        if (name.isNotEmpty() && ! collector.add (name, text))
            return refuse ("more than " + juce::String (maxProperties) + " properties");
    }

    return collector.finish();
}
