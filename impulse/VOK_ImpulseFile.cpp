#include "VOK_ImpulseFile.h"
#include "HeaderAttributes.h"
#include "ImpulseFileFields.h"
#include "PackedHeader.h"
#include "ReadAheadInputStream.h"
#include "FileReplacement.h"
#include "RegularFileInput.h"

#include <algorithm>
#include <limits>

namespace
{
    constexpr juce::int64 maxFieldValue = std::numeric_limits<int>::max();

    juce::File getFileForPath (const juce::String& path)
    {
        // getChildFile keeps absolute paths and resolves relative ones against the working directory.
        return juce::File::getCurrentWorkingDirectory().getChildFile (path);
    }

    // Only a regular file that the user has not marked read-only is replaced; a link in its
    // place is neither followed nor replaced.
    bool canReplace (const juce::File& target)
    {
        const auto kind = RegularFileInput::getKindOf (target);

        if (kind == RegularFileInput::Kind::missing)
            return true;

        RegularFileInput existing (target);
        return existing.openedOk() && ! existing.isMarkedReadOnly();
    }

    /** A file stream whose length is taken once, when the file is opened. The reader asks for
        the length before every block, and the framework's file stream asks the file system
        each time. A file that shrinks while it is read gives short reads, which the reader
        handles as it does any file that ends early.
    */
    class FileInputStreamOfKnownLength  : public juce::FileInputStream
    {
    public:
        explicit FileInputStreamOfKnownLength (const juce::File& file)
            : juce::FileInputStream (file),
              length (openedOk() ? file.getSize() : 0)
        {
        }

        juce::int64 getTotalLength() override  { return length; }
        bool isExhausted() override            { return getPosition() >= length; }

    private:
        const juce::int64 length;
    };

    /** A payload of numBytes, or nullptr when its length can't be written as a block length
        or its memory can't be had. */
    std::unique_ptr<juce::MemoryBlock> allocatePayload (size_t numBytes)
    {
        if ((juce::int64) numBytes > maxFieldValue)
            return nullptr;

        auto payload = std::make_unique<juce::MemoryBlock>();
        payload->setSize (numBytes);

        if (numBytes > 0 && payload->getData() == nullptr)
            return nullptr;

        return payload;
    }

    /** Reads exactly numBytes into dest, in pieces the stream's int-sized reads can take. */
    bool readFully (juce::InputStream& input, void* dest, juce::int64 numBytes)
    {
        auto* bytes = static_cast<char*> (dest);

        while (numBytes > 0)
        {
            const auto numToRead = (int) juce::jmin (numBytes, (juce::int64) (1 << 30));
            const auto numRead = input.read (bytes, numToRead);

            if (numRead <= 0)
                return false;

            bytes += numRead;
            numBytes -= numRead;
        }

        return true;
    }

    /** Reads numSamples stored samples into dest in one read, then decodes them in place.
        False (with the samples zeroed) when the stream ends early.
    */
    bool readSamples (juce::InputStream& input, float* dest, juce::int64 numSamples, bool scrambled)
    {
        if (! readFully (input, dest, numSamples * 4))
        {
            std::fill (dest, dest + numSamples, 0.0f);
            return false;
        }

        ImpulseFileFields::decodeSamples (dest, dest, (int) numSamples, scrambled);
        return true;
    }
}

//==============================================================================
VOK_ImpulseFile::VOK_ImpulseFile()
    : header (std::make_unique<juce::XmlElement> ("VokImpulseFile")),
      packedHeaderRoot (std::make_unique<juce::XmlElement> ("VokImpulseFile"))
{
    header->setAttribute ("version", "2.1");
    packedHeaderRoot->setAttribute ("version", "2.1");
}

VOK_ImpulseFile::~VOK_ImpulseFile() = default;

void VOK_ImpulseFile::setHeader (std::unique_ptr<juce::XmlElement> newHeader)
{
    const juce::ScopedLock sl (lock);

    // The object promises a header element at all times.
    if (newHeader != nullptr)
        header = std::move (newHeader);
}

void VOK_ImpulseFile::setSamplePool (std::unique_ptr<VOK_VokSampleBuffer> newPool)
{
    const juce::ScopedLock sl (lock);
    samplePool = std::move (newPool);
}

void VOK_ImpulseFile::setPictureText (const juce::String& newPictureText)
{
    const juce::ScopedLock sl (lock);
    pictureText = newPictureText;
}

bool VOK_ImpulseFile::getBoolAttribute (const juce::String& attributeName, bool defaultValue) const
{
    const juce::ScopedLock sl (lock);

    if (header == nullptr)
        return false;

    const auto value = HeaderAttributes::getString (*header, attributeName);

    if (value == "true")   return true;
    if (value == "false")  return false;

    return defaultValue;
}

//==============================================================================
bool VOK_ImpulseFile::readFile (const juce::String& path)
{
    const juce::ScopedLock sl (lock);

    clearReadState();

    const auto file = getFileForPath (path);

    if (! file.exists())
    {
        lastError = "File not found: " + file.getFullPathName();
        readFailure = ReadFailure::notFound;
        return false;
    }

    std::unique_ptr<FileInputStreamOfKnownLength> input;

    if (! file.isDirectory())
        input = std::make_unique<FileInputStreamOfKnownLength> (file);

    if (input == nullptr || ! input->openedOk())
    {
        readLog << "Input Stream konnte nicht erstellt werden\n";

        if (input != nullptr)
            readLog << input->getStatus().getErrorMessage() << "\n";

        readFailure = ReadFailure::unreadable;
        return false;
    }

    ReadAheadInputStream readAhead (*input);
    return readOpenedFile (readAhead);
}

bool VOK_ImpulseFile::readFromStream (juce::InputStream& input)
{
    const juce::ScopedLock sl (lock);

    clearReadState();
    return readOpenedFile (input);
}

void VOK_ImpulseFile::clearReadState()
{
    readLog.clear();
    lastError.clear();
    recordRejected = false;
    readFailure = ReadFailure::none;
}

bool VOK_ImpulseFile::readOpenedFile (juce::InputStream& input)
{
    readLog << "Read Header";
    juce::String parseFailure;
    auto newHeader = PackedHeader::readHeader (input, &parseFailure);

    if (newHeader == nullptr)
    {
        readLog << "ParseError\n" << "Header: " << parseFailure << "\n";
        readFailure = ReadFailure::headerNotParsed;
        return false;
    }

    header = std::move (newHeader);

    declaredChannels = getDeclaredChannels (*header);

    const auto sampleRate = (float) HeaderAttributes::getDouble (*header, "samplerate", 0.0);
    samplePool = std::make_unique<VOK_VokSampleBuffer> (1, 0, sampleRate);

    const bool scrambled = getBoolAttribute ("crypted", false);

    if (HeaderAttributes::getDouble (*header, "version", 0.0) > 2.0)
        readBlocks (input, scrambled);
    else
        readVersion20Records (input, scrambled);

    readLog << "NumChannels " << samplePool->getNumChannels() << "\n"
            << "NumSamples " << samplePool->getNumSamples() << "\n";

    formatState = readFromFile;

    const bool agreesWithHeader = checkPoolAgainstHeader();

    if (recordRejected)
        readFailure = ReadFailure::recordRefused;
    else if (! agreesWithHeader)
        readFailure = ReadFailure::disagreesWithHeader;

    return agreesWithHeader && ! recordRejected;
}

// The pool is never wider than the header says it is, so that one record for a high channel
// can't make the reader hold that many channels of its length. Channel 0 is always there.
int VOK_ImpulseFile::getDeclaredChannels (const juce::XmlElement& headerElement)
{
    auto* poolElement = headerElement.getChildByName ("IRSamplePool");

    if (poolElement == nullptr || ! HeaderAttributes::hasAttribute (*poolElement, "number"))
        return 1;

    return juce::jlimit (1, VOK_VokSampleBuffer::maxChannels, HeaderAttributes::getInt (*poolElement, "number", 1));
}

void VOK_ImpulseFile::readBlocks (juce::InputStream& input, bool scrambled)
{
    readLog << "Version > 2.0\n";

    while (! input.isExhausted() && ! recordRejected)
    {
        readLog << "Position " << input.getPosition() << "\n";

        const auto length = readBlockFrame (input);

        if (length < 0)
        {
            readLog << "Can't open Memoryblock\n";
            break;
        }

        if (readAudioBlockFromStream (input, length, scrambled))
            continue;

        auto payload = readPayload (input, length, juce::String (length));

        if (payload == nullptr)
        {
            readLog << "Can't open Memoryblock\n";
            break;
        }

        readPayloadBlock (*payload, scrambled);
    }
}

void VOK_ImpulseFile::readPayloadBlock (const juce::MemoryBlock& payload, bool scrambled)
{
    const auto tag = getBlockTag (payload);

    if (tag.equalsIgnoreCase ("AUDIODATA"))
    {
        readLog << "Read AudioData\n";
        readAudioBlock (*samplePool, payload, scrambled);
    }
    else if (tag.equalsIgnoreCase ("PICTURE"))
    {
        readLog << "Read Picture\n";
        pictureText = readPictureBlock (payload);
    }
    else
    {
        readLog << "unknown Block " << tag << "\n";
    }
}

// Audio blocks make up nearly all of a file, so their samples go from the file straight
// into the pool instead of through a copy of the whole payload. The fields before the
// samples are taken from the payload's head; a head that doesn't hold them whole is left
// to the general path. False when the block was not read here.
bool VOK_ImpulseFile::readAudioBlockFromStream (juce::InputStream& input, juce::int64 length, bool scrambled)
{
    constexpr juce::int64 headSize = 256;

    if (length <= headSize)
        return false;

    const auto payloadStart = input.getPosition();
    juce::MemoryBlock head ((size_t) headSize);

    const bool isWholeAudioHead = input.read (head.getData(), (int) headSize) == (int) headSize
                                    && std::count (head.begin(), head.end(), 0) >= 3
                                    && getBlockTag (head).equalsIgnoreCase ("AUDIODATA");

    if (! isWholeAudioHead)
    {
        input.setPosition (payloadStart);
        return false;
    }

    readLog << "Read AudioData\n";

    size_t offset = 0;
    int channel = 0;
    const auto numSamples = prepareAudioSamples (*samplePool, head, offset, length, channel);

    if (numSamples > 0)
    {
        auto* samples = samplePool->getWritePointer (channel);
        input.setPosition (payloadStart + (juce::int64) offset);

        if (! readSamples (input, samples, numSamples, scrambled))
            rejectRecord ("Block of " + juce::String (length) + " bytes could not be read whole");
    }

    input.setPosition (payloadStart + length);
    return true;
}

void VOK_ImpulseFile::readVersion20Records (juce::InputStream& input, bool scrambled)
{
    readLog << "Kompatiblitaesmodus 2.0\n";

    while (! input.isExhausted())
    {
        readLog << "Position " << input.getPosition() << "\n";

        // Anything but an audio record's tag is passed over one string field at a time.
        if (! ImpulseFileFields::readString (input).equalsIgnoreCase ("AUDIODATA"))
            continue;

        readLog << "Read AudioData\n";

        if (! readVersion20Record (input, scrambled))
            break;
    }
}

bool VOK_ImpulseFile::readVersion20Record (juce::InputStream& input, bool scrambled)
{
    const auto channelText = ImpulseFileFields::readString (input);
    const auto countText = ImpulseFileFields::readString (input);
    const auto channel = ImpulseFileFields::parseInteger (channelText);
    const auto numSamples = ImpulseFileFields::parseInteger (countText);

    if (channel < 0 || numSamples < 0)
    {
        rejectRecord ("AUDIODATA record with channel " + channelText + " and sample count " + countText
                        + " rejected: neither may be negative");
        return false;
    }

    const auto bytesLeft = input.getNumBytesRemaining();

    if (numSamples > maxFieldValue || (bytesLeft >= 0 && numSamples * 4 > bytesLeft))
    {
        rejectRecord ("AUDIODATA record of channel " + channelText + " claims " + countText
                        + " samples, but the file holds only " + juce::String (bytesLeft) + " more bytes");
        return false;
    }

    if (! growPool (*samplePool, channel, numSamples))
        return false;

    auto* samples = samplePool->getWritePointer ((int) channel);

    if (! readSamples (input, samples, numSamples, scrambled))
    {
        rejectRecord ("AUDIODATA record of channel " + channelText + " ends before its " + countText + " samples");
        return false;
    }

    return true;
}

bool VOK_ImpulseFile::growPool (VOK_VokSampleBuffer& pool, juce::int64 channel, juce::int64 numSamples)
{
    if (channel >= VOK_VokSampleBuffer::maxChannels)
    {
        rejectRecord ("AUDIODATA of channel " + juce::String (channel) + " rejected: a sample pool has only "
                        + juce::String (VOK_VokSampleBuffer::maxChannels) + " channels");
        return false;
    }

    if (channel >= declaredChannels)
    {
        rejectRecord ("AUDIODATA of channel " + juce::String (channel) + " rejected: the header declares "
                        + juce::String (declaredChannels) + " channels");
        return false;
    }

    // Every caller overwrites samples 0 to numSamples - 1 of the channel straight away.
    if (! pool.growToFill ((int) channel + 1, (int) numSamples, (int) channel, (int) numSamples))
    {
        rejectRecord ("Not enough memory for a sample pool of " + juce::String (juce::jmax ((juce::int64) pool.getNumChannels(), channel + 1))
                        + " channels of " + juce::String (juce::jmax ((juce::int64) pool.getNumSamples(), numSamples)) + " samples");
        return false;
    }

    return true;
}

void VOK_ImpulseFile::rejectRecord (const juce::String& reason)
{
    readLog << reason << "\n";
    recordRejected = true;
}

bool VOK_ImpulseFile::checkPoolAgainstHeader()
{
    auto* poolElement = header->getChildByName ("IRSamplePool");

    if (poolElement == nullptr)
    {
        readLog << "keinen IRSamplePool\n";
        return false;
    }

    if (! HeaderAttributes::hasAttribute (*poolElement, "number"))
        return false;

    const auto declaredChannels = HeaderAttributes::getInt (*poolElement, "number", 99999);

    if (declaredChannels != samplePool->getNumChannels())
    {
        readLog << "channels in xml (" << declaredChannels
                << " != channels in blocks (" << samplePool->getNumChannels() << ")\n";
        return false;
    }

    bool allAgree = true;

    for (auto* channelElement : poolElement->getChildIterator())
    {
        if (! channelElement->hasTagName ("AudioSampleData"))
            continue;

        const auto declaredSamples = HeaderAttributes::getInt (*channelElement, "NumSamples", 0);

        if (declaredSamples != samplePool->getNumSamples())
        {
            readLog << "samples in xml (" << declaredSamples
                    << ") != samples in blocks (" << samplePool->getNumSamples() << ")\n";
            allAgree = false;
        }
    }

    return allAgree;
}

//==============================================================================
std::unique_ptr<juce::MemoryBlock> VOK_ImpulseFile::readBlock (juce::InputStream& input)
{
    const juce::ScopedLock sl (lock);

    const auto length = readBlockFrame (input);

    if (length < 0)
        return nullptr;

    return readPayload (input, length, juce::String (length));
}

// Reads "BLOCK" and the payload length; -1 when there is no block or its length is refused.
juce::int64 VOK_ImpulseFile::readBlockFrame (juce::InputStream& input)
{
    const auto tag = ImpulseFileFields::readString (input);

    if (! tag.equalsIgnoreCase ("BLOCK"))
    {
        readLog << "unkown tag " << tag << "\n";
        return -1;
    }

    readLog << "read BLOCK-tag\n";

    const auto lengthText = ImpulseFileFields::readString (input);

    if (! ImpulseFileFields::isDecimalText (lengthText))
        return -1;

    const auto length = ImpulseFileFields::parseInteger (lengthText);
    const auto bytesLeft = input.getNumBytesRemaining();

    if (length > maxFieldValue || (bytesLeft >= 0 && length > bytesLeft))
    {
        rejectRecord ("Block of " + lengthText + " bytes rejected: the file holds only "
                        + juce::String (juce::jmax ((juce::int64) 0, bytesLeft)) + " more bytes");
        return -1;
    }

    return length;
}

std::unique_ptr<juce::MemoryBlock> VOK_ImpulseFile::readPayload (juce::InputStream& input, juce::int64 length,
                                                                 const juce::String& lengthText)
{
    if (input.getNumBytesRemaining() < 0)
    {
        // A stream of unknown length: let the payload grow only by what actually arrives.
        juce::MemoryOutputStream received;
        received.writeFromInputStream (input, length);

        if ((juce::int64) received.getDataSize() != length)
        {
            rejectRecord ("Block of " + lengthText + " bytes rejected: the data ends after "
                            + juce::String ((juce::int64) received.getDataSize()) + " bytes");
            return nullptr;
        }

        return std::make_unique<juce::MemoryBlock> (received.getMemoryBlock());
    }

    auto payload = allocatePayload ((size_t) length);

    if (payload == nullptr)
    {
        rejectRecord ("Not enough memory for a block of " + lengthText + " bytes");
        return nullptr;
    }

    if (! readFully (input, payload->getData(), length))
    {
        rejectRecord ("Block of " + lengthText + " bytes could not be read whole");
        return nullptr;
    }

    return payload;
}

juce::String VOK_ImpulseFile::getBlockTag (const juce::MemoryBlock& payload)
{
    size_t offset = 0;
    return ImpulseFileFields::readString (payload, offset);
}

bool VOK_ImpulseFile::readAudioBlock (VOK_VokSampleBuffer& pool, const juce::MemoryBlock& payload, bool scrambled)
{
    const juce::ScopedLock sl (lock);

    size_t offset = 0;
    int channel = 0;
    const auto numSamples = prepareAudioSamples (pool, payload, offset, (juce::int64) payload.getSize(), channel);

    if (numSamples < 0)
        return false;

    ImpulseFileFields::decodeSamples (static_cast<const char*> (payload.getData()) + offset,
                                      pool.getWritePointer (channel), (int) numSamples, scrambled);
    return true;
}

// Takes the tag, channel and count fields of an AUDIODATA payload from its head, logs them,
// checks them against the payload's size and the pool's limits, and grows the pool. Returns
// the number of samples that follow at offset, or -1 when the block adds nothing.
juce::int64 VOK_ImpulseFile::prepareAudioSamples (VOK_VokSampleBuffer& pool, const juce::MemoryBlock& head,
                                                  size_t& offset, juce::int64 payloadSize, int& channel)
{
    if (! ImpulseFileFields::readString (head, offset).equalsIgnoreCase ("AUDIODATA"))
        return -1;

    const auto channelText = ImpulseFileFields::readString (head, offset);
    readLog << "channelstr =" << channelText << "\n";

    const auto countText = ImpulseFileFields::readString (head, offset);
    readLog << "floatsizestr =" << countText << "\n";

    if (! ImpulseFileFields::isDecimalText (channelText) || ! ImpulseFileFields::isDecimalText (countText))
        return -1;

    const auto channelIndex = ImpulseFileFields::parseInteger (channelText);
    const auto numSamples = ImpulseFileFields::parseInteger (countText);
    const auto samplesHeld = (payloadSize - (juce::int64) offset) / 4;

    if (numSamples > samplesHeld)
    {
        rejectRecord ("AUDIODATA of channel " + channelText + " claims " + countText
                        + " samples, but its block holds only " + juce::String (samplesHeld));
        return -1;
    }

    if (! growPool (pool, channelIndex, numSamples))
        return -1;

    channel = (int) channelIndex;
    return numSamples;
}

juce::String VOK_ImpulseFile::readPictureBlock (const juce::MemoryBlock& payload)
{
    size_t offset = 0;

    if (! ImpulseFileFields::readString (payload, offset).equalsIgnoreCase ("PICTURE"))
        return {};

    return ImpulseFileFields::readString (payload, offset);
}

//==============================================================================
bool VOK_ImpulseFile::saveToFile (const juce::String& path)
{
    const juce::ScopedLock sl (lock);

    const auto target = getFileForPath (path);

    if (! canReplace (target))
        return false;

    // Written beside the target and renamed over it, so that the target is at every moment
    // either the old file or the complete new one.
    FileReplacement replacement (target);
    return replacement.openedOk() && writeContents (replacement.getStream()) && replacement.replaceTarget();
}

bool VOK_ImpulseFile::writeContents (juce::OutputStream& output)
{
    bool ok = output.writeString (createHeaderText());

    if (ok && pictureText.isNotEmpty())
    {
        const auto payload = createPictureBlock (pictureText);
        ok = payload != nullptr && writeBlock (output, *payload);
    }

    if (formatState != notLoaded && samplePool != nullptr)
    {
        const bool scrambled = getBoolAttribute ("crypted", false);

        // A channel that can't be written would be lost without a trace, so it fails the save.
        for (int channel = 0; ok && channel < samplePool->getNumChannels(); ++channel)
        {
            const auto payload = createAudioBlock (samplePool->getReadPointer (channel),
                                                   samplePool->getNumSamples(), channel, scrambled);
            ok = payload != nullptr && writeBlock (output, *payload);
        }
    }

    return ok;
}

juce::String VOK_ImpulseFile::createHeaderText()
{
    HeaderAttributes::setString (*header, "version", "2.1");
    HeaderAttributes::setString (*packedHeaderRoot, "version", "2.1");

    const auto packedHeader = PackedHeader::packHeader (PackedHeader::createDocumentText (*header));
    HeaderAttributes::setString (*packedHeaderRoot, "cfh_data", packedHeader);

    return PackedHeader::createDocumentText (*packedHeaderRoot);
}

bool VOK_ImpulseFile::writeBlock (juce::OutputStream& output, const juce::MemoryBlock& payload)
{
    if ((juce::int64) payload.getSize() > maxFieldValue)
        return false;

    return output.writeString ("BLOCK")
        && output.writeString (juce::String ((juce::int64) payload.getSize()))
        && output.write (payload.getData(), payload.getSize());
}

std::unique_ptr<juce::MemoryBlock> VOK_ImpulseFile::createPictureBlock (const juce::String& text)
{
    const auto numBytes = ImpulseFileFields::getStringFieldSize ("PICTURE")
                        + ImpulseFileFields::getStringFieldSize (text);

    auto payload = allocatePayload (numBytes);

    if (payload == nullptr)
        return nullptr;

    size_t offset = 0;
    ImpulseFileFields::writeString (*payload, offset, "PICTURE");
    ImpulseFileFields::writeString (*payload, offset, text);
    return payload;
}

std::unique_ptr<juce::MemoryBlock> VOK_ImpulseFile::createAudioBlock (const float* samples, int numSamples,
                                                                      int channel, bool scrambled)
{
    if (numSamples < 0 || channel < 0 || (samples == nullptr && numSamples > 0))
        return nullptr;

    const juce::String channelText (channel), countText (numSamples);
    const auto numBytes = ImpulseFileFields::getStringFieldSize ("AUDIODATA")
                        + ImpulseFileFields::getStringFieldSize (channelText)
                        + ImpulseFileFields::getStringFieldSize (countText)
                        + (size_t) numSamples * 4;

    auto payload = allocatePayload (numBytes);

    if (payload == nullptr)
        return nullptr;

    size_t offset = 0;
    ImpulseFileFields::writeString (*payload, offset, "AUDIODATA");
    ImpulseFileFields::writeString (*payload, offset, channelText);
    ImpulseFileFields::writeString (*payload, offset, countText);
    ImpulseFileFields::encodeSamples (samples, static_cast<char*> (payload->getData()) + offset, numSamples, scrambled);
    return payload;
}
