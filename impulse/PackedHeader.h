#pragma once

#include <juce_core/juce_core.h>

#include <memory>

/**
    The header of an impulse file: its document text, and the packed form in which the
    header element travels inside the attribute cfh_data of an otherwise empty outer element.

    The packed form is the marker, then the framework's base-64 text form (byte count, ".",
    characters) of a zlib stream of the header document followed by a zero byte.
*/
class PackedHeader
{
public:
    /** Starts every packed header. */
    static constexpr const char* packedHeaderMarker = "abe6f4214";

    /** Limit of an unpacked header document, so that a compression bomb can't eat memory. */
    static constexpr size_t maxUnpackedHeaderBytes = 16 * 1024 * 1024;

    /** Limit of element nesting in a header document; no header needs more. */
    static constexpr int maxElementNesting = 200;

    /** Compresses a header document text into its packed form, or returns the empty string. */
    static juce::String packHeader (const juce::String& headerDocument);

    /** The header document text of a packed form, or the empty string when it isn't one. */
    static juce::String unpackHeader (const juce::String& packedText);

    /** Reads the header string field at the start of a file and returns the header element
        (unpacked if it was packed), or nullptr when it does not parse; then failureCause,
        when given, tells why.
    */
    static std::unique_ptr<juce::XmlElement> readHeader (juce::InputStream& input, juce::String* failureCause = nullptr);

    /** The document text of an element as the file format stores it: the declaration,
        LF LF, the element in multi-line form, then CR LF.
    */
    static juce::String createDocumentText (const juce::XmlElement& element);

    /** Parses a whole document with the parser for untrusted text and returns its root
        element, or nullptr (also for a DTD or nesting deeper than maxElementNesting).
    */
    static std::unique_ptr<juce::XmlElement> parseDocument (const juce::String& documentText);

    /** Decodes the framework's base-64 text form. The byte count is bounded by what the
        characters can fill, as bytes beyond them could only ever be zero.
    */
    static juce::MemoryBlock decodeBase64Text (const juce::String& text);
};
