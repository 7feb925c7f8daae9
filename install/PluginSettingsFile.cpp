#include "PluginSettingsFile.h"

#include <safeio/FileReplacement.h>
#include <safeio/Utf8Text.h>
#include <safeio/RegularFileInput.h>
#include <safeio/UntrustedXmlParser.h>

#include <cstring>


namespace
{
    constexpr const char* binaryMagic     = "PROP";
    constexpr const char* compressedMagic = "CPRP";

    // A settings file holds a few short keys; anything far larger is not one.
    constexpr juce::int64 maximumFileSize = 16 * 1024 * 1024;

    juce::MemoryBlock toBytes (const juce::String& text)
    {
        return { text.toRawUTF8(), std::strlen (text.toRawUTF8()) };
    }

    juce::String toText (const juce::MemoryBlock& bytes)
    {
        return Utf8Text::toString (static_cast<const char*> (bytes.getData()), bytes.getSize());
    }

    /** Reads text up to its zero byte; false when the stream ends first. */
    bool readField (juce::InputStream& input, juce::MemoryBlock& field)
    {
        juce::MemoryOutputStream bytes;

        for (;;)
        {
            char c;

            if (input.read (&c, 1) != 1)
                return false;

            if (c == 0)
                break;

            bytes.writeByte (c);
        }

        field = bytes.getMemoryBlock();
        return true;
    }

    bool writeField (juce::OutputStream& output, const juce::MemoryBlock& field)
    {
        return output.write (field.getData(), field.getSize()) && output.writeByte (0);
    }
}

PluginSettingsFile::PluginSettingsFile (const juce::File& settingsFile)
    : file (settingsFile)
{
}

//==============================================================================
const OpenFolder* PluginSettingsFile::openFolder (OpenFolder::Missing missing, juce::String& failure)
{
    if (folder == nullptr)
        folder = OpenFolder::openParentOf (file, missing, failure);

    return folder.get();
}

// Where the file really is: the settings name itself, or where a link the user made leads.
juce::String PluginSettingsFile::findFile (juce::String& failure)
{
    if (location.folder == nullptr && folder != nullptr)
        location = folder->resolve (file.getFileName(), failure);

    return location.folder != nullptr ? location.name : juce::String();
}

juce::String PluginSettingsFile::read()
{
    properties.clear();
    protection.clear();

    const auto path = file.getFullPathName();
    juce::String failure;

    // No folder yet means no file yet.
    if (openFolder (OpenFolder::Missing::fail, failure) == nullptr)
        return file.getParentDirectory().exists() ? "Can't use the settings file " + path + ": " + failure : juce::String();

    const auto name = findFile (failure);

    if (name.isEmpty())
        return "Can't use the settings file: " + failure;

    RegularFileInput input (*location.folder, name);
    const auto kind = input.getKind();

    if (kind == RegularFileInput::Kind::missing)
        return {};

    if (! input.openedOk())
        return kind == RegularFileInput::Kind::unknown || kind == RegularFileInput::Kind::regularFile
                 ? "Can't read the settings file " + path + "; it is left as it is"
                 : "Can't use the settings file: " + RegularFileInput::describe (file, kind);

    if (input.isProtected())
        protection = input.describeProtection();

    if (input.getTotalLength() > maximumFileSize)
        return "The settings file " + path + " is not one the installer knows; it is left as it is";

    juce::MemoryBlock bytes;

    if (input.readIntoMemoryBlock (bytes) != (size_t) input.getTotalLength())
        return "Can't read the settings file " + path + "; it is left as it is";

    return readFrom (bytes);
}

juce::String PluginSettingsFile::readFrom (const juce::MemoryBlock& bytes)
{
    properties.clear();

    // An empty file holds no keys that replacing it could lose.
    if (bytes.isEmpty())
        return {};

    const auto path = file.getFullPathName();
    juce::MemoryInputStream stream (bytes, false);
    const auto magic = bytes.getSize() >= 4 ? juce::String::createStringFromData (bytes.getData(), 4) : juce::String();

    const bool understood = magic == binaryMagic       ? (stream.skipNextBytes (4), parseBinary (stream))
                          : magic == compressedMagic   ? parseCompressed (bytes)
                                                       : parseXml (bytes);
    if (! understood)
    {
        properties.clear();
        return "The settings file " + path + " can't be read in full; it is left as it is";
    }

    return {};
}

// Strict: the count must be what follows, every text must end, and nothing may come after.
bool PluginSettingsFile::parseBinary (juce::InputStream& input)
{
    if (input.getNumBytesRemaining() < 4)
        return false;

    const auto count = input.readInt();

    if (count < 0)
        return false;

    for (int i = 0; i < count; ++i)
    {
        Property property;

        if (! readField (input, property.key) || ! readField (input, property.value))
            return false;

        properties.push_back (std::move (property));
    }

    return input.isExhausted();
}

bool PluginSettingsFile::parseCompressed (const juce::MemoryBlock& bytes)
{
    juce::MemoryInputStream compressed (static_cast<const char*> (bytes.getData()) + 4, bytes.getSize() - 4, false);
    juce::GZIPDecompressorInputStream unzipped (compressed);

    juce::MemoryBlock plain;
    unzipped.readIntoMemoryBlock (plain, maximumFileSize);

    // The stream tells no error from an end: data that doesn't unpack comes out short, which
    // the strict reading of what it holds refuses.
    if (plain.getSize() >= (size_t) maximumFileSize)
        return false;

    juce::MemoryInputStream stream (plain, false);
    return parseBinary (stream);
}

namespace
{
    /** The element as the plug-in's loader stores an XML value: the framework's single-line
        text. That writer can't be asked for it directly: after a text node it indents the next
        element, which then streams the single-line format's line break, a null pointer. Here
        every element is written on its own, each one without children and so without line
        breaks, which escapes tags, attributes and text as the framework does.
    */
    void writeOnOneLine (const juce::XmlElement& element, juce::OutputStream& out)
    {
        const auto format = juce::XmlElement::TextFormat().singleLine().withoutHeader();

        if (element.isTextElement() || element.getFirstChildElement() == nullptr)
        {
            out << element.toString (format);
            return;
        }

        juce::XmlElement tagAlone (element.getTagName());

        for (int i = 0; i < element.getNumAttributes(); ++i)
            tagAlone.setAttribute (element.getAttributeName (i), element.getAttributeValue (i));

        out << tagAlone.toString (format).dropLastCharacters (2) << ">";

        for (auto* child : element.getChildIterator())
            writeOnOneLine (*child, out);

        out << "</" << element.getTagName() << ">";
    }

    juce::String toOneLine (const juce::XmlElement& element)
    {
        juce::MemoryOutputStream text;
        writeOnOneLine (element, text);
        return text.toUTF8();
    }
}

// The framework's XML form: a PROPERTIES element holding VALUE elements with name and val
// (or an XML value as a child element).
bool PluginSettingsFile::parseXml (const juce::MemoryBlock& bytes)
{
    UntrustedXmlParser::Limits limits;
    limits.maxBytes = (size_t) maximumFileSize;

    const auto document = UntrustedXmlParser::parse (bytes.getData(), bytes.getSize(), limits);

    if (document == nullptr || ! document->hasTagName ("PROPERTIES"))
        return false;

    for (auto* value : document->getChildWithTagNameIterator ("VALUE"))
    {
        const auto name = value->getStringAttribute ("name");

        if (name.isEmpty())
            continue;

        const auto* child = value->getFirstChildElement();
        const auto stored = child != nullptr && ! child->isTextElement() ? toOneLine (*child)
                                                                          : value->getStringAttribute ("val");
        properties.push_back ({ toBytes (name), toBytes (stored) });
    }

    return true;
}

//==============================================================================
int PluginSettingsFile::indexOf (const juce::String& key) const
{
    for (size_t i = 0; i < properties.size(); ++i)
        if (toText (properties[i].key).equalsIgnoreCase (key))
            return (int) i;

    return -1;
}

juce::String PluginSettingsFile::getValue (const juce::String& key, const juce::String& fallback) const
{
    const auto index = indexOf (key);
    return index >= 0 ? toText (properties[(size_t) index].value) : fallback;
}

bool PluginSettingsFile::set (const juce::String& key, const juce::String& value)
{
    const auto valueBytes = toBytes (value);

    const auto index = indexOf (key);

    if (index >= 0)
    {
        auto& existing = properties[(size_t) index].value;

        if (existing == valueBytes)
            return false;

        existing = valueBytes;
        return true;
    }

    properties.push_back ({ toBytes (key), valueBytes });
    return true;
}

//==============================================================================
juce::String PluginSettingsFile::write()
{
    const auto cantWrite = "Can't write the settings file " + file.getFullPathName();

    // What the user protected stays as it is, as the impulse files do.
    if (protection.isNotEmpty())
        return "Can't overwrite " + file.getFullPathName() + ": " + protection;

    juce::String failure;

    if (openFolder (OpenFolder::Missing::create, failure) == nullptr)
        return cantWrite + ": " + failure;

    const auto name = findFile (failure);

    if (name.isEmpty())
        return cantWrite + ": " + failure;

    const bool replacing = location.folder->getKindOf (name) != FileKind::missing;
    FileReplacement replacement (*location.folder, name);

    if (! replacement.openedOk())
        return cantWrite + ": " + replacement.getFailureReason();

    auto& output = replacement.getStream();
    bool written = output.write (binaryMagic, 4) && output.writeInt ((int) properties.size());

    for (auto& property : properties)
        written = written && writeField (output, property.key) && writeField (output, property.value);

    // Only a file that replaces another one needs its data on the disk first.
    if (! written || ! (replacing ? replacement.replaceTarget() : replacement.createTarget()))
        return cantWrite + ": " + replacement.getFailureReason();

    return {};
}
