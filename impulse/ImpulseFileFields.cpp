#include "ImpulseFileFields.h"
#include <safeio/Utf8Text.h>

namespace
{
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

    return Utf8Text::toString (static_cast<const char*> (text.getData()), text.getDataSize());
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
        return Utf8Text::toString (start, length);
    }

    offset = data.getSize();
    return Utf8Text::toString (start, available);
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

namespace
{
    enum class Conversion { decode, encode };

    // One word at a time through memcpy, which the compiler turns into wide loads and stores.
    // The key lies on a sample's little-endian bit pattern: it comes off after the bytes are put
    // in the machine's order, and goes on before they are put back.
    template <Conversion conversion>
    forcedinline void convertWords (const juce::uint8* source, juce::uint8* dest, size_t numWords, juce::uint32 key) noexcept
    {
        for (size_t i = 0; i < numWords; ++i)
        {
            juce::uint32 word;
            std::memcpy (&word, source + 4 * i, sizeof (word));
            word = conversion == Conversion::decode ? juce::ByteOrder::swapIfBigEndian (word) ^ key
                                                    : juce::ByteOrder::swapIfBigEndian (word ^ key);
            std::memcpy (dest + 4 * i, &word, sizeof (word));
        }
    }
}

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

    // Decoding in place gets a call of its own: with two pointers that may meet, the compiler's
    // overlap check would send it down the one-word-at-a-time path.
    const auto key = scrambled ? scramblingKey : 0u;
    auto* words = reinterpret_cast<juce::uint8*> (dest);

    if (source == dest)
        convertWords<Conversion::decode> (words, words, (size_t) numSamples, key);
    else
        convertWords<Conversion::decode> (static_cast<const juce::uint8*> (source), words, (size_t) numSamples, key);
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

    convertWords<Conversion::encode> (reinterpret_cast<const juce::uint8*> (source), static_cast<juce::uint8*> (dest),
                                      (size_t) numSamples, scrambled ? scramblingKey : 0u);
}
