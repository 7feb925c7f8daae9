#include "PackedHeader.h"
#include "HeaderAttributes.h"
#include "ImpulseFileFields.h"

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

    /** True when the text stops inside a hexadecimal character reference ("...&#x4"). The
        framework's parser steps over the character that ends such a reference, and at the end
        of the text that is the terminating zero: it then reads on past the text. A header
        never ends inside a reference.
    */
    bool endsInsideHexCharacterReference (const juce::String& text)
    {
        const auto reference = text.lastIndexOfIgnoreCase ("&#x");
        return reference >= 0 && text.substring (reference + 3).containsOnly ("0123456789abcdefABCDEF");
    }

    /** Follows the markup far enough to know how deep elements nest and whether a DTD is
        declared; everything else is left to the real parser.
    */
    class MarkupScanner
    {
    public:
        explicit MarkupScanner (const juce::String& text) : s (text.getCharPointer()) {}

        bool isSafeToParse()
        {
            int depth = 0;

            while (! s.isEmpty())
            {
                if (*s != '<')
                {
                    ++s;
                    continue;
                }

                ++s;

                if (*s == '/')
                {
                    --depth;
                    skipPast (">");
                }
                else if (*s == '?')
                {
                    // The framework's parser loops for ever on a processing instruction
                    // followed by text inside an element; a header has none there.
                    if (depth > 0 || rootElementSeen)
                        return false;

                    skipPast ("?>");
                }
                else if (*s == '!')
                {
                    if (startsWith ("!--"))
                        skipPast ("-->");
                    else if (startsWith ("![CDATA["))
                        skipPast ("]]>");
                    else
                        return false;
                }
                else
                {
                    rootElementSeen = true;
                    const auto tag = skipStartTag();

                    if (tag == StartTag::unsafe)
                        return false;

                    if (tag == StartTag::open && ++depth > PackedHeader::maxElementNesting)
                        return false;
                }
            }

            return true;
        }

    private:
        juce::String::CharPointerType s;
        bool rootElementSeen = false;

        bool startsWith (const char* literal) const
        {
            auto p = s;

            for (; *literal != 0; ++literal, ++p)
                if (*p != (juce::juce_wchar) (juce::uint8) *literal)
                    return false;

            return true;
        }

        void skipPast (const char* literal)
        {
            while (! s.isEmpty() && ! startsWith (literal))
                ++s;

            for (; *literal != 0 && ! s.isEmpty(); ++literal)
                ++s;
        }

        enum class StartTag { open, selfClosing, unsafe };

        /** Skips a start tag with its quoted attribute values. A quote that doesn't follow "=",
            or a "<" anywhere in the tag, is something the framework's parser reads differently
            from this scan, so such a tag counts as unsafe.
        */
        StartTag skipStartTag()
        {
            juce::juce_wchar quote = 0, previous = 0;

            for (; ! s.isEmpty(); ++s)
            {
                const auto c = *s;

                if (c == '<')
                    return StartTag::unsafe;

                if (quote != 0)
                {
                    if (c == quote)
                    {
                        quote = 0;
                        previous = c;
                    }

                    continue;
                }

                if (c == '"' || c == '\'')
                {
                    if (previous != '=')
                        return StartTag::unsafe;

                    quote = c;
                }
                else if (c == '>')
                {
                    ++s;
                    return previous == '/' ? StartTag::selfClosing : StartTag::open;
                }

                if (! juce::CharacterFunctions::isWhitespace (c))
                    previous = c;
            }

            return StartTag::open;
        }
    };
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

    return ImpulseFileFields::textFromUTF8 (static_cast<const char*> (text.getData()), text.getDataSize());
}

std::unique_ptr<juce::XmlElement> PackedHeader::readHeader (juce::InputStream& input)
{
    auto outer = parseDocument (ImpulseFileFields::readString (input));

    if (outer == nullptr)
        return nullptr;

    const auto packedText = HeaderAttributes::getString (*outer, "cfh_data");

    if (packedText.isEmpty())
        return outer;

    return parseDocument (unpackHeader (packedText));
}

std::unique_ptr<juce::XmlElement> PackedHeader::parseDocument (const juce::String& documentText)
{
    if (documentText.isEmpty() || endsInsideHexCharacterReference (documentText)
         || ! MarkupScanner (documentText).isSafeToParse())
        return nullptr;

    juce::XmlDocument document (documentText);
    return document.getDocumentElement();
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
