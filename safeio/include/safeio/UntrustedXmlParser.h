/** @file
    UntrustedXmlParser: XML from files, parsed with bounded time and memory.
*/
#pragma once

#include <juce_core/juce_core.h>

#include <memory>

/**
    Parses XML that comes from files (impulse file headers, settings files) into the
    framework's XmlElement tree, with expat: a parser written and fuzzed for hostile input.

    The tree is the one the framework's own parser builds from the same well-formed text:
    elements with their attributes in document order, a text element for each run of
    character data that holds more than white space (comments inside it are passed over),
    and one text element for each CDATA section. Text after the root element is ignored.

    What a document may ask for is bounded, so that parsing takes time and memory in
    proportion to its size: no DTD (so no entity but the predefined ones and character
    references), and limits on size, nesting, attributes and the number of nodes.
*/
class UntrustedXmlParser
{
public:
    /** What a document may hold; the defaults are far beyond any file of ours. */
    struct Limits
    {
        size_t maxBytes              = 16 * 1024 * 1024;   ///< The document's size in UTF-8.
        int maxDepth                 = 200;                ///< Elements within elements.
        int maxAttributesPerElement  = 256;                ///< Attributes of one element.

        /** Elements, attributes and text elements together; each costs memory of its own. */
        int maxNodes                 = 250000;

        /** Attribute names live in the framework's global identifier pool, which grows by one
            sorted insertion per new name and never shrinks during a parse.
        */
        int maxDistinctAttributeNames = 4096;
    };

    /** Parses a whole document; nullptr when it is not well-formed or goes past a limit. */
    static std::unique_ptr<juce::XmlElement> parse (const juce::String& documentText, const Limits& limits);

    /** Parses a whole document within the default limits. */
    static std::unique_ptr<juce::XmlElement> parse (const juce::String& documentText);

    /** The same, from UTF-8 bytes (what a file holds). */
    static std::unique_ptr<juce::XmlElement> parse (const void* utf8, size_t numBytes, const Limits& limits);

    /** Why the last parse on this thread failed, for a read log; empty after a success. */
    static juce::String getLastError();
};
