#include "ImpulseFileFields.h"

namespace
{
    /** The length of the well-formed UTF-8 sequence starting at text[i], or 0 if it is not one. */
    size_t getSequenceLength (const juce::uint8* text, size_t i, size_t numBytes) noexcept
    {
        const auto lead = text[i];
        const size_t length = lead < 0x80 ? 1 : lead < 0xc2 ? 0 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : lead < 0xf5 ? 4 : 0;

        if (length == 0 || i + length > numBytes)
            return 0;

        for (size_t k = 1; k < length; ++k)
            if ((text[i + k] & 0xc0) != 0x80)
                return 0;

        if (length < 3)
            return length;

        // Overlong forms, UTF-16 surrogates and values past U+10FFFF are not characters.
        const auto second = text[i + 1];

        if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second >= 0xa0)
             || (lead == 0xf0 && second < 0x90) || (lead == 0xf4 && second >= 0x90))
            return 0;

        return length;
    }

    juce::juce_wchar decodeSequence (const juce::uint8* sequence, size_t length) noexcept
    {
        if (length == 1)
            return sequence[0];

        auto c = (juce::juce_wchar) (sequence[0] & (0x7f >> length));

        for (size_t k = 1; k < length; ++k)
            c = (c << 6) | (juce::juce_wchar) (sequence[k] & 0x3f);

        return c;
    }
    juce::uint64 accumulateDigits (juce::String::CharPointerType& s, bool& tooLarge) noexcept
    {
        juce::uint64 value = 0;

        while (*s >= '0' && *s <= '9')
        {
            if (value < ((juce::uint64) 1 << 40))
                value = value * 10 + (juce::uint64) (*s - '0');
            else
                tooLarge = true;

            ++s;
        }

        return value;
    }
}

juce::String ImpulseFileFields::textFromUTF8 (const char* text, size_t numBytes)
{
    const auto* bytes = reinterpret_cast<const juce::uint8*> (text);
    size_t i = 0;

    // Picture texts are long and plain ASCII: pass over those eight bytes at a time.
    for (juce::uint64 word; i + 8 <= numBytes; i += 8)
    {
        std::memcpy (&word, bytes + i, sizeof (word));

        if ((word & 0x8080808080808080ull) != 0)
            break;
    }

    while (i < numBytes)
    {
        const auto length = getSequenceLength (bytes, i, numBytes);

        if (length == 0)
            break;

        i += length;
    }

    // Well-formed text is taken over as it is, in one copy: constructing a String from a range
    // would decode and encode it again character by character, and picture texts are long.
    if (i == numBytes)
    {
        juce::String wellFormed;
        wellFormed.appendCharPointer (juce::CharPointer_UTF8 (text), juce::CharPointer_UTF8 (text + numBytes));
        return wellFormed;
    }

    // JUCE keeps UTF-8 bytes as they come and later steps over multi-byte sequences without
    // checking them, so malformed text must never reach a String. A byte that starts no
    // well-formed sequence stands for the character of its own value.
    std::vector<juce::juce_wchar> characters;
    characters.reserve (numBytes + 1);

    for (i = 0; i < numBytes;)
    {
        const auto length = getSequenceLength (bytes, i, numBytes);
        characters.push_back (length == 0 ? (juce::juce_wchar) bytes[i] : decodeSequence (bytes + i, length));
        i += juce::jmax ((size_t) 1, length);
    }

    characters.push_back (0);
    return juce::String (juce::CharPointer_UTF32 (reinterpret_cast<juce::CharPointer_UTF32::CharType*> (characters.data())));
}

bool ImpulseFileFields::isWellFormedUTF8 (const char* text, size_t numBytes) noexcept
{
    const auto* bytes = reinterpret_cast<const juce::uint8*> (text);

    for (size_t i = 0; i < numBytes;)
    {
        const auto length = getSequenceLength (bytes, i, numBytes);

        if (length == 0)
            return false;

        i += length;
    }

    return true;
}

juce::String ImpulseFileFields::readString (juce::InputStream& input)
{
    juce::MemoryOutputStream text;
    char chunk[4096];

    // Fields are mostly a few bytes long: start with a small read, so that a file of many
    // short fields isn't read many times over, and grow it for a long one.
    for (int chunkSize = 32;; chunkSize = juce::jmin (chunkSize * 2, (int) sizeof (chunk)))
    {
        const auto chunkStart = input.getPosition();
        const auto numRead = input.read (chunk, chunkSize);

        if (numRead <= 0)
            break;

        if (auto* zero = static_cast<const char*> (std::memchr (chunk, 0, (size_t) numRead)))
        {
            const auto length = (size_t) (zero - chunk);
            text.write (chunk, length);

            // Reading in chunks went past the field; give the rest back to the stream.
            if (numRead > (int) length + 1)
                input.setPosition (chunkStart + (juce::int64) length + 1);

            break;
        }

        text.write (chunk, (size_t) numRead);
    }

    return textFromUTF8 (static_cast<const char*> (text.getData()), text.getDataSize());
}

juce::String ImpulseFileFields::readString (const juce::MemoryBlock& data, size_t& offset)
{
    if (offset >= data.getSize())
    {
        offset = data.getSize();
        return {};
    }

    const auto* start = static_cast<const char*> (data.getData()) + offset;
    const auto available = data.getSize() - offset;

    if (auto* zero = static_cast<const char*> (std::memchr (start, 0, available)))
    {
        const auto length = (size_t) (zero - start);
        offset += length + 1;
        return textFromUTF8 (start, length);
    }

    offset = data.getSize();
    return textFromUTF8 (start, available);
}

size_t ImpulseFileFields::getStringFieldSize (const juce::String& text)
{
    return text.getNumBytesAsUTF8() + 1;
}

void ImpulseFileFields::writeString (juce::MemoryBlock& data, size_t& offset, const juce::String& text)
{
    const auto numBytes = getStringFieldSize (text);
    jassert (offset + numBytes <= data.getSize());
    data.copyFrom (text.toRawUTF8(), (int) offset, numBytes);
    offset += numBytes;
}

bool ImpulseFileFields::isDecimalText (const juce::String& text)
{
    return text.containsOnly ("0123456789");
}

juce::int64 ImpulseFileFields::parseInteger (const juce::String& text)
{
    auto s = text.getCharPointer().findEndOfWhitespace();
    const bool isNegative = *s == '-';

    if (isNegative || *s == '+')
        ++s;

    bool tooLarge = false;
    auto value = (juce::int64) accumulateDigits (s, tooLarge);

    if (tooLarge)
        value = (juce::int64) 1 << 40;

    return isNegative ? -value : value;
}

// Samples are decoded and encoded at memory speed only with the widest vectors the processor
// has; where the toolchain can pick them when the program starts, it does.
#if defined (__GNUC__) && ! defined (__clang__) && defined (__x86_64__) && defined (__linux__)
 #define VOK_WIDEST_VECTORS __attribute__ ((target_clones ("avx2", "default")))
#else
 #define VOK_WIDEST_VECTORS
#endif

VOK_WIDEST_VECTORS
void ImpulseFileFields::decodeSamples (const void* source, float* dest, int numSamples, bool scrambled) noexcept
{
    if (numSamples <= 0)
        return;

   #if JUCE_LITTLE_ENDIAN
    if (! scrambled)
    {
        if (source != dest)
            std::memmove (dest, source, (size_t) numSamples * sizeof (float));

        return;
    }
   #endif

    // One word at a time through memcpy, which the compiler turns into wide loads and stores.
    // Decoding in place gets a loop of its own: with two pointers that meet, the compiler's
    // overlap check would send it down the one-word-at-a-time path.
    const auto key = scrambled ? scramblingKey : 0u;

    if (source == dest)
    {
        for (size_t i = 0; i < (size_t) numSamples; ++i)
        {
            juce::uint32 word;
            std::memcpy (&word, dest + i, sizeof (word));
            word = juce::ByteOrder::swapIfBigEndian (word) ^ key;
            std::memcpy (dest + i, &word, sizeof (word));
        }

        return;
    }

    const auto* bytes = static_cast<const juce::uint8*> (source);

    for (size_t i = 0; i < (size_t) numSamples; ++i)
    {
        juce::uint32 word;
        std::memcpy (&word, bytes + 4 * i, sizeof (word));
        word = juce::ByteOrder::swapIfBigEndian (word) ^ key;
        std::memcpy (dest + i, &word, sizeof (word));
    }
}

VOK_WIDEST_VECTORS
void ImpulseFileFields::encodeSamples (const float* source, void* dest, int numSamples, bool scrambled) noexcept
{
    if (numSamples <= 0)
        return;

   #if JUCE_LITTLE_ENDIAN
    if (! scrambled)
    {
        std::memcpy (dest, source, (size_t) numSamples * sizeof (float));
        return;
    }
   #endif

    auto* bytes = static_cast<juce::uint8*> (dest);
    const auto key = scrambled ? scramblingKey : 0u;

    for (size_t i = 0; i < (size_t) numSamples; ++i)
    {
        juce::uint32 word;
        std::memcpy (&word, source + i, sizeof (word));
        word = juce::ByteOrder::swapIfBigEndian (word ^ key);
        std::memcpy (bytes + 4 * i, &word, sizeof (word));
    }
}
