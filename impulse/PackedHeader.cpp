#include "PackedHeader.h"
#include <impulse/HeaderAttributes.h>
#include "ImpulseFileFields.h"
#include <safeio/Utf8Text.h>
#include <safeio/UntrustedXmlParser.h>

namespace
{
    constexpr const char* base64Characters = ".ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+";

    int getBase64Value (juce::juce_wchar character) noexcept
    {
        // Only the low 8 bits of a character take part, as in the framework's decoder.
        const auto lowByte = (char) (character & 0xff);

        if (lowByte == 0)
            return 0;

        if (auto* found = std::strchr (base64Characters, lowByte))
            return (int) (found - base64Characters);

        return 0;
    }
}

juce::String PackedHeader::createDocumentText (const juce::XmlElement& element)
{
    // JUCE 7 ends the declaration with CR LF CR LF; the format has LF LF there.
    return juce::String ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n")
             + element.toString (juce::XmlElement::TextFormat().withoutHeader());
}

juce::String PackedHeader::packHeader (const juce::String& headerDocument)
{
    juce::MemoryOutputStream compressed (256);

    {
        juce::GZIPCompressorOutputStream compressor (compressed, 5);

        if (! compressor.writeString (headerDocument))
            return {};

        compressor.flush();
    }

    return packedHeaderMarker + compressed.getMemoryBlock().toBase64Encoding();
}

juce::String PackedHeader::unpackHeader (const juce::String& packedText)
{
    if (! packedText.startsWith (packedHeaderMarker))
        return {};

    auto compressed = decodeBase64Text (packedText.substring ((int) std::strlen (packedHeaderMarker)));

    if (compressed.isEmpty())
        return {};
    juce::GZIPDecompressorInputStream decompressor (new juce::MemoryInputStream (compressed, true), true);

    juce::MemoryOutputStream text;
    char chunk[16384];

    for (;;)
    {
        const auto numRead = decompressor.read (chunk, (int) sizeof (chunk));

        if (numRead <= 0)
            break;

        if (auto* zero = static_cast<const char*> (std::memchr (chunk, 0, (size_t) numRead)))
        {
            text.write (chunk, (size_t) (zero - chunk));
            break;
        }

        text.write (chunk, (size_t) numRead);

        if (text.getDataSize() > maxUnpackedHeaderBytes)
            return {};
    }

    if (text.getDataSize() > maxUnpackedHeaderBytes)
        return {};

    return Utf8Text::toString (static_cast<const char*> (text.getData()), text.getDataSize());
}

std::unique_ptr<juce::XmlElement> PackedHeader::readHeader (juce::InputStream& input, juce::String* failureCause)
{
    auto setCause = [failureCause] (const juce::String& cause)
    {
        if (failureCause != nullptr)
            *failureCause = cause;
    };

    auto outer = parseDocument (ImpulseFileFields::readString (input));

    if (outer == nullptr)
    {
        setCause (UntrustedXmlParser::getLastError());
        return nullptr;
    }

    const auto packedText = HeaderAttributes::getString (*outer, "cfh_data");

    if (packedText.isEmpty())
        return outer;

    const auto unpacked = unpackHeader (packedText);

    if (unpacked.isEmpty())
    {
        setCause ("cfh_data is not a packed header, or unpacks to nothing or more than "
                    + juce::String ((juce::int64) maxUnpackedHeaderBytes) + " bytes");
        return nullptr;
    }

    auto inner = parseDocument (unpacked);

    if (inner == nullptr)
        setCause ("packed header: " + UntrustedXmlParser::getLastError());

    return inner;
}

std::unique_ptr<juce::XmlElement> PackedHeader::parseDocument (const juce::String& documentText)
{
    UntrustedXmlParser::Limits limits;
    limits.maxBytes = maxUnpackedHeaderBytes;
    limits.maxDepth = maxElementNesting;
    return UntrustedXmlParser::parse (documentText, limits);
}

juce::MemoryBlock PackedHeader::decodeBase64Text (const juce::String& text)
{
    const auto dot = text.indexOfChar ('.');

    if (dot < 0)
        return {};

    const auto characters = text.substring (dot + 1);
    const auto numCharacters = (juce::int64) characters.length();
    const auto declaredBytes = ImpulseFileFields::parseInteger (text.substring (0, dot));
    const auto numBytes = juce::jlimit ((juce::int64) 0, (numCharacters * 6 + 7) / 8, declaredBytes);

    juce::MemoryBlock data ((size_t) numBytes, true);
    auto* bytes = static_cast<juce::uint8*> (data.getData());
    juce::int64 bitPosition = 0;

    for (auto c = characters.getCharPointer(); ! c.isEmpty(); ++c, bitPosition += 6)
    {
        const auto value = (juce::uint32) getBase64Value (*c);
        const auto byteIndex = bitPosition / 8;
        const auto shift = (int) (bitPosition % 8);

        if (byteIndex < numBytes)
            bytes[byteIndex] |= (juce::uint8) ((value << shift) & 0xff);

        if (shift > 2 && byteIndex + 1 < numBytes)
            bytes[byteIndex + 1] |= (juce::uint8) (value >> (8 - shift));
    }

    return data;
}
