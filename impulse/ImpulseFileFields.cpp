#include "ImpulseFileFields.h"

namespace
{
    // The text must be followed by a zero byte in memory: a truncated multi-byte sequence
    // at its end then stops at that byte instead of reading past the data.
    juce::String textFromTerminatedUTF8 (const char* text, size_t numBytes)
    {
        return juce::String (juce::CharPointer_UTF8 (text), juce::CharPointer_UTF8 (text + numBytes));
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

juce::String ImpulseFileFields::readString (juce::InputStream& input)
{
    juce::MemoryOutputStream text;
    char chunk[4096];

    for (;;)
    {
        const auto chunkStart = input.getPosition();
        const auto numRead = input.read (chunk, (int) sizeof (chunk));

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

    const auto numBytes = text.getDataSize();
    text.writeByte (0);
    return textFromTerminatedUTF8 (static_cast<const char*> (text.getData()), numBytes);
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
        return textFromTerminatedUTF8 (start, length);
    }

    // An unterminated field at the end of the data: give it a terminator of its own.
    offset = data.getSize();
    juce::MemoryBlock terminated (start, available);
    terminated.append ("", 1);
    return textFromTerminatedUTF8 (static_cast<const char*> (terminated.getData()), available);
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

void ImpulseFileFields::decodeSamples (const void* source, float* dest, int numSamples, bool scrambled) noexcept
{
    const auto* bytes = static_cast<const juce::uint8*> (source);
    const juce::uint32 key = scrambled ? scramblingKey : 0;

   #if JUCE_LITTLE_ENDIAN
    if (key == 0)
    {
        std::memmove (dest, bytes, (size_t) numSamples * sizeof (float));
        return;
    }
   #endif

    for (int i = 0; i < numSamples; ++i)
    {
        juce::uint32 word;
        std::memcpy (&word, bytes + 4 * (size_t) i, sizeof (word));
        word = juce::ByteOrder::swapIfBigEndian (word) ^ key;
        std::memcpy (dest + i, &word, sizeof (word));
    }
}

void ImpulseFileFields::encodeSamples (const float* source, void* dest, int numSamples, bool scrambled) noexcept
{
    auto* bytes = static_cast<juce::uint8*> (dest);
    const juce::uint32 key = scrambled ? scramblingKey : 0;

   #if JUCE_LITTLE_ENDIAN
    if (key == 0)
    {
        std::memcpy (bytes, source, (size_t) numSamples * sizeof (float));
        return;
    }
   #endif

    for (int i = 0; i < numSamples; ++i)
    {
        juce::uint32 word;
        std::memcpy (&word, source + i, sizeof (word));
        word = juce::ByteOrder::swapIfBigEndian (word ^ key);
        std::memcpy (bytes + 4 * (size_t) i, &word, sizeof (word));
    }
}
