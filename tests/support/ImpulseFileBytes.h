#pragma once

// Builds the bytes of impulse files field by field, so that tests can make valid, odd and
// broken files without going through the library's own writer.

#include <impulse/NewImpulseHeader.h>

#include <juce_core/juce_core.h>

#include <initializer_list>
#include <vector>

namespace ImpulseFileBytes
{
    constexpr juce::uint32 scramblingKey = 0x5A17C3E6;

    /** Appends fields in file order. */
    class Builder
    {
    public:
        /** A string field: UTF-8 and one zero byte. */
        Builder& string (const juce::String& text)
        {
            out.write (text.toRawUTF8(), text.getNumBytesAsUTF8());
            out.writeByte (0);
            return *this;
        }

        /** A decimal field. */
        Builder& decimal (juce::int64 value)          { return string (juce::String (value)); }

        Builder& raw (const void* data, size_t size)  { out.write (data, size); return *this; }
        Builder& raw (const juce::MemoryBlock& data)  { return raw (data.getData(), data.getSize()); }
        Builder& zeros (size_t count)                 { for (size_t i = 0; i < count; ++i) out.writeByte (0); return *this; }

        /** Samples, little-endian, XORed with the key when scrambled. */
        Builder& samples (const std::vector<float>& values, bool scrambled = false)
        {
            for (auto value : values)
            {
                juce::uint32 word;
                std::memcpy (&word, &value, 4);
                out.writeInt ((int) (scrambled ? (word ^ scramblingKey) : word));
            }

            return *this;
        }

        /** A block: "BLOCK", the payload length, the payload. */
        Builder& block (const juce::MemoryBlock& payload)
        {
            return string ("BLOCK").decimal ((juce::int64) payload.getSize()).raw (payload);
        }

        /** The header string field holding a document text. */
        Builder& header (const juce::String& documentText)   { return string (documentText); }

        juce::MemoryBlock bytes() const    { return out.getMemoryBlock(); }

    private:
        juce::MemoryOutputStream out;
    };

    inline juce::MemoryBlock audioPayload (juce::int64 channel, const std::vector<float>& values, bool scrambled = false)
    {
        return Builder().string ("AUDIODATA").decimal (channel).decimal ((juce::int64) values.size())
                        .samples (values, scrambled).bytes();
    }

    inline juce::MemoryBlock picturePayload (const juce::String& pictureText)
    {
        return Builder().string ("PICTURE").string (pictureText).bytes();
    }

    /** A version 2.0 audio record (no block frame). */
    inline juce::MemoryBlock audioRecord (juce::int64 channel, const std::vector<float>& values, bool scrambled = false)
    {
        return audioPayload (channel, values, scrambled);
    }

    /** A document text as the format stores it: declaration, LF LF, element, CR LF. */
    inline juce::String documentText (const juce::XmlElement& element)
    {
        return juce::String ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n")
                 + element.toString (juce::XmlElement::TextFormat().withoutHeader());
    }

    /** The packed form of a document text: marker, then the base-64 text of its zlib stream. */
    inline juce::String packedText (const juce::String& document)
    {
        juce::MemoryOutputStream compressed;

        {
            juce::GZIPCompressorOutputStream zlib (compressed, 5);
            zlib.writeString (document);
        }

        return "abe6f4214" + compressed.getMemoryBlock().toBase64Encoding();
    }

    /** The outer document of a packed file, holding the inner header element. */
    inline juce::String packedDocument (const juce::XmlElement& headerElement)
    {
        juce::XmlElement outer ("VokImpulseFile");
        outer.setAttribute ("version", "2.1");
        outer.setAttribute ("cfh_data", packedText (documentText (headerElement)));
        return documentText (outer);
    }

    /** The library's header element for numChannels channels of numSamples samples each, with
        the version given (none when empty), a "crypted" attribute when given, and an empty
        preset list.
    */
    inline std::unique_ptr<juce::XmlElement> headerElement (const juce::String& version, int numChannels,
                                                            int numSamples, const juce::String& crypted = {},
                                                            double sampleRate = 44100.0)
    {
        auto header = NewImpulseHeader::create (numChannels, numSamples, sampleRate, "/tmp/source.wav");

        if (version.isNotEmpty())
            header->setAttribute ("version", version);
        else
            header->removeAttribute ("version");

        if (crypted.isNotEmpty())
            header->setAttribute ("crypted", crypted);

        header->createNewChildElement ("presets");
        return header;
    }

    /** Writes bytes to a file, replacing it. */
    inline bool writeFile (const juce::File& file, const juce::MemoryBlock& data)
    {
        return file.replaceWithData (data.getData(), data.getSize());
    }

    /** All the bytes of a file; empty when it can't be read. */
    inline juce::MemoryBlock readFile (const juce::File& file)
    {
        juce::MemoryBlock data;
        file.loadFileAsData (data);
        return data;
    }

    /** The bytes of a stored sample. */
    inline juce::uint32 storedWord (float value, bool scrambled)
    {
        juce::uint32 word;
        std::memcpy (&word, &value, 4);
        return scrambled ? (word ^ scramblingKey) : word;
    }
}
