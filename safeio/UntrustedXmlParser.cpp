#include <safeio/UntrustedXmlParser.h>

#include <expat.h>

#include <cstring>
#include <limits>
#include <random>
#include <string_view>
#include <string>
#include <unordered_set>
#include <vector>

namespace
{
    thread_local juce::String lastParseError;

    /** The framework's writer stores control characters (and U+FFFE, U+FFFF) as character
        references, which XML 1.0 does not allow and expat refuses. Before parsing, each such
        reference is turned into one of a private-use character, and every text taken from the
        document is turned back. A document that holds those private-use characters itself reads
        them as the control characters, which the framework's parser would give for it too.
    */
    class ControlCharacterReferences
    {
    public:
        static constexpr juce::juce_wchar standInBase = 0xf0000;

        /** The document with its control character references replaced; empty when it holds none. */
        static std::string replaceIn (const char* text, size_t numBytes)
        {
            const std::string_view document (text, numBytes);
            std::string result;
            size_t copiedUpTo = 0, i = 0;

            // Nearly every document holds no character reference at all.
            if (document.find ("&#") == std::string_view::npos)
                return result;

            while ((i = findMarkupOrReference (document, i)) != std::string_view::npos)
            {
                if (document[i] == '<')
                {
                    i = skipLiteralSection (document, i);
                    continue;
                }

                size_t end = 0;
                const auto value = readCharacterReference (document, i, end);

                if (isRefusedByExpat (value))
                {
                    result.append (document.substr (copiedUpTo, i - copiedUpTo));
                    result += "&#" + std::to_string (standInBase + (juce::juce_wchar) value) + ";";
                    copiedUpTo = end;
                }

                i = juce::jmax (i + 1, end);
            }

            if (! result.empty())
                result.append (document.substr (copiedUpTo));

            return result;
        }

        static juce::String restoreIn (const juce::String& text)
        {
            auto isStandIn = [] (juce::juce_wchar c) { return c >= standInBase && c <= standInBase + 0xffff; };
            auto p = text.getCharPointer();

            while (! p.isEmpty() && ! isStandIn (*p))
                ++p;

            if (p.isEmpty())
                return text;

            juce::String restored;
            restored.preallocateBytes (text.getNumBytesAsUTF8());

            for (p = text.getCharPointer(); ! p.isEmpty();)
            {
                const auto c = p.getAndAdvance();
                restored += juce::String::charToString (isStandIn (c) ? c - standInBase : c);
            }

            return restored;
        }

    private:
        // The first '&' or '<' from i on. string_view's find_first_of would call memchr on
        // the two characters once for every character of the document.
        static size_t findMarkupOrReference (std::string_view document, size_t i) noexcept
        {
            for (; i < document.size(); ++i)
                if (document[i] == '&' || document[i] == '<')
                    return i;

            return std::string_view::npos;
        }

        static bool isRefusedByExpat (juce::int64 value) noexcept
        {
            return (value > 0 && value < 0x20 && value != '\t' && value != '\n' && value != '\r')
                    || value == 0xfffe || value == 0xffff;
        }

        /** Character references in comments and CDATA sections are plain text. */
        static size_t skipLiteralSection (std::string_view document, size_t i)
        {
            for (auto [opening, closing] : { std::pair<std::string_view, std::string_view> { "<!--", "-->" },
                                             std::pair<std::string_view, std::string_view> { "<![CDATA[", "]]>" } })
            {
                if (document.substr (i, opening.size()) == opening)
                {
                    const auto close = document.find (closing, i + opening.size());
                    return close == std::string_view::npos ? document.size() : close + closing.size();
                }
            }

            return i + 1;
        }

        /** The value of "&#...;" at i (end set past it), or -1 when there is no reference there. */
        static juce::int64 readCharacterReference (std::string_view document, size_t i, size_t& end)
        {
            if (document.substr (i, 2) != "&#")
                return -1;

            const bool hex = i + 2 < document.size() && document[i + 2] == 'x';
            juce::int64 value = 0;
            size_t k = i + (hex ? 3 : 2);

            // A value past 0xffff needs no replacing, so the scan stops there.
            for (; k < document.size() && value <= 0xffff; ++k)
            {
                const auto digit = hex ? juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) document[k])
                                       : (document[k] >= '0' && document[k] <= '9' ? document[k] - '0' : -1);
                if (digit < 0)
                    break;

                value = value * (hex ? 16 : 10) + digit;
            }

            if (k == i + (hex ? 3 : 2) || k >= document.size() || document[k] != ';')
                return -1;

            end = k + 1;
            return value;
        }
    };

    /** Receives expat's events and builds the element tree.

        Children are collected per open element and attached when it closes: the framework's
        public append walks the whole child list each time, which would make a list of n
        children cost n squared.
    */
    class TreeBuilder
    {
    public:
        TreeBuilder (XML_Parser p, const UntrustedXmlParser::Limits& l, bool hasStandIns)
            : parser (p), limits (l), restoreControlCharacters (hasStandIns)
        {
            XML_SetUserData (parser, this);
            XML_SetElementHandler (parser, startElement, endElement);
            XML_SetCharacterDataHandler (parser, characterData);
            XML_SetCdataSectionHandler (parser, startCdata, endCdata);
            XML_SetStartDoctypeDeclHandler (parser, startDoctype);
            XML_SetParamEntityParsing (parser, XML_PARAM_ENTITY_PARSING_NEVER);
        }

        bool isRootComplete() const noexcept    { return root != nullptr && open.empty(); }
        std::unique_ptr<juce::XmlElement> takeRoot()  { return std::move (root); }
        const juce::String& getRefusal() const noexcept  { return refusal; }

    private:
        struct OpenElement
        {
            std::unique_ptr<juce::XmlElement> element;
            std::vector<std::unique_ptr<juce::XmlElement>> children;
        };

        XML_Parser parser;
        const UntrustedXmlParser::Limits& limits;
        const bool restoreControlCharacters;
        std::vector<OpenElement> open;
        std::unique_ptr<juce::XmlElement> root;
        std::string pendingText;
        int numNodes = 0;
        std::unordered_set<std::string> attributeNames;
        juce::String refusal;

        juce::String fromDocument (const char* utf8, size_t numBytes) const
        {
            auto text = juce::String::fromUTF8 (utf8, (int) numBytes);
            return restoreControlCharacters ? ControlCharacterReferences::restoreIn (text) : text;
        }

        static TreeBuilder& of (void* userData)  { return *static_cast<TreeBuilder*> (userData); }

        void refuse (const juce::String& reason)
        {
            if (refusal.isEmpty())
                refusal = reason;

            XML_StopParser (parser, XML_FALSE);
        }

        bool countNode()
        {
            if (++numNodes <= limits.maxNodes)
                return true;

            refuse ("more than " + juce::String (limits.maxNodes) + " elements, attributes and texts");
            return false;
        }

        void addChild (std::unique_ptr<juce::XmlElement> child)
        {
            if (open.empty())
                root = std::move (child);
            else
                open.back().children.push_back (std::move (child));
        }

        void addText (bool keepWhiteSpace)
        {
            if (open.empty() || (pendingText.empty() && ! keepWhiteSpace))
            {
                pendingText.clear();
                return;
            }

            auto text = fromDocument (pendingText.data(), pendingText.size());
            pendingText.clear();

            // As the framework's parser does: text that is only white space is layout, not content.
            if ((keepWhiteSpace || text.containsNonWhitespaceChars()) && countNode())
                addChild (std::unique_ptr<juce::XmlElement> (juce::XmlElement::createTextElement (text)));
        }

        bool acceptAttributes (const XML_Char** attributes)
        {
            int numAttributes = 0;

            for (auto a = attributes; *a != nullptr; a += 2)
            {
                if (++numAttributes > limits.maxAttributesPerElement)
                {
                    refuse ("an element with more than " + juce::String (limits.maxAttributesPerElement) + " attributes");
                    return false;
                }

                if (! countNode())
                    return false;

                if (attributeNames.insert (*a).second
                     && (int) attributeNames.size() > limits.maxDistinctAttributeNames)
                {
                    refuse ("more than " + juce::String (limits.maxDistinctAttributeNames) + " different attribute names");
                    return false;
                }
            }

            return true;
        }

        void openElement (const XML_Char* name, const XML_Char** attributes)
        {
            addText (false);

            if ((int) open.size() >= limits.maxDepth)
                return refuse ("elements nested deeper than " + juce::String (limits.maxDepth));

            if (! countNode() || ! acceptAttributes (attributes))
                return;

            auto element = std::make_unique<juce::XmlElement> (juce::String::fromUTF8 (name));

            // Expat has already refused repeated names, so each set is an append.
            for (auto a = attributes; *a != nullptr; a += 2)
                element->setAttribute (juce::Identifier (juce::String::fromUTF8 (a[0])), fromDocument (a[1], std::strlen (a[1])));

            open.push_back ({ std::move (element), {} });
        }

        void closeElement()
        {
            addText (false);

            if (open.empty())
                return;

            auto closed = std::move (open.back());
            open.pop_back();

            for (auto child = closed.children.rbegin(); child != closed.children.rend(); ++child)
                closed.element->prependChildElement (child->release());

            addChild (std::move (closed.element));

            // Whatever follows the root element is not read, as with the framework's parser.
            if (open.empty())
                XML_StopParser (parser, XML_FALSE);
        }

        static void XMLCALL startElement (void* userData, const XML_Char* name, const XML_Char** attributes)
        {
            of (userData).openElement (name, attributes);
        }

        static void XMLCALL endElement (void* userData, const XML_Char*)
        {
            of (userData).closeElement();
        }

        static void XMLCALL characterData (void* userData, const XML_Char* text, int length)
        {
            auto& builder = of (userData);

            if (! builder.open.empty())
                builder.pendingText.append (text, (size_t) length);
        }

        static void XMLCALL startCdata (void* userData)
        {
            of (userData).addText (false);
        }

        static void XMLCALL endCdata (void* userData)
        {
            of (userData).addText (true);
        }

        static void XMLCALL startDoctype (void* userData, const XML_Char*, const XML_Char*, const XML_Char*, int)
        {
            of (userData).refuse ("a document type declaration");
        }
    };

    struct ParserDeleter
    {
        void operator() (XML_Parser parser) const noexcept  { XML_ParserFree (parser); }
    };

    /** Expat salts its attribute-name hashes against collisions chosen by a document's author.
        Left to itself it draws a new salt from the system for every parser, a system call for
        each header read; one secret salt for the process guards as well.
    */
    unsigned long getHashSalt()
    {
        static const unsigned long salt = []
        {
            std::random_device entropy;
            unsigned long value = 0;

            while (value == 0)
                value = (unsigned long) (((juce::uint64) entropy() << 32) ^ (juce::uint64) entropy());

            return value;
        }();

        return salt;
    }

    bool isLayoutWhiteSpace (char c) noexcept
    {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n';
    }
}

std::unique_ptr<juce::XmlElement> UntrustedXmlParser::parse (const void* utf8, size_t numBytes, const Limits& limits)
{
    lastParseError.clear();

    if (numBytes > limits.maxBytes || numBytes > (size_t) std::numeric_limits<int>::max())
    {
        lastParseError = "document of " + juce::String ((juce::int64) numBytes) + " bytes is too large";
        return nullptr;
    }

    auto* text = static_cast<const char*> (utf8);

    // The framework's parser allows white space before the declaration; expat doesn't.
    while (numBytes > 0 && isLayoutWhiteSpace (*text))
    {
        ++text;
        --numBytes;
    }

    // The encoding is fixed: the callers hand over UTF-8 whatever the declaration says.
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser (XML_ParserCreate ("UTF-8"));

    if (parser == nullptr)
    {
        lastParseError = "no memory for the XML parser";
        return nullptr;
    }

    XML_SetHashSalt (parser.get(), getHashSalt());

    const auto replaced = ControlCharacterReferences::replaceIn (text, numBytes);

    if (! replaced.empty())
    {
        text = replaced.data();
        numBytes = replaced.size();
    }

    TreeBuilder builder (parser.get(), limits, ! replaced.empty());
    const auto status = XML_Parse (parser.get(), text, (int) numBytes, XML_TRUE);

    if (builder.getRefusal().isNotEmpty())
    {
        lastParseError = "refused: " + builder.getRefusal();
        return nullptr;
    }

    if (builder.isRootComplete())
        return builder.takeRoot();

    lastParseError = status == XML_STATUS_OK ? juce::String ("no root element")
                                             : juce::String (XML_ErrorString (XML_GetErrorCode (parser.get())))
                                                 + " at line " + juce::String ((juce::int64) XML_GetCurrentLineNumber (parser.get()));
    return nullptr;
}

std::unique_ptr<juce::XmlElement> UntrustedXmlParser::parse (const juce::String& documentText, const Limits& limits)
{
    return parse (documentText.toRawUTF8(), documentText.getNumBytesAsUTF8(), limits);
}

std::unique_ptr<juce::XmlElement> UntrustedXmlParser::parse (const juce::String& documentText)
{
    return parse (documentText, Limits());
}

juce::String UntrustedXmlParser::getLastError()
{
    return lastParseError;
}
