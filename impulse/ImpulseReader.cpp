#include <impulse/ImpulseReader.h>
#include <impulse/HeaderAttributes.h>
#include "ImpulseFileFields.h"
#include "PackedHeader.h"
#include <safeio/ReadAheadInputStream.h>
#include <safeio/RegularFileInput.h>

#include <algorithm>
#include <limits>

namespace
{
    constexpr juce::int64 maxFieldValue = std::numeric_limits<int>::max();

    /** A block of numBytes, or nullptr when its memory can't be had. */
    std::unique_ptr<juce::MemoryBlock> allocateBlock (juce::int64 numBytes)
    {
        if (numBytes > maxFieldValue)
            return nullptr;

        auto block = std::make_unique<juce::MemoryBlock>();
        block->setSize ((size_t) numBytes);

        if (numBytes > 0 && block->getData() == nullptr)
            return nullptr;

        return block;
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

    /** Moves past numBytes: by seeking where the stream's end is known (the caller has checked
        that they are there), otherwise by reading them.
    */
    bool skipFully (juce::InputStream& input, juce::int64 numBytes)
    {
        if (input.getNumBytesRemaining() >= numBytes)
            return input.setPosition (input.getPosition() + numBytes);

        const auto start = input.getPosition();
        input.skipNextBytes (numBytes);
        return input.getPosition() - start == numBytes;
    }

    juce::String getBlockTag (const juce::MemoryBlock& payload)
    {
        size_t offset = 0;
        return ImpulseFileFields::readString (payload, offset);
    }
}

//==============================================================================
void ImpulseReader::clear()
{
    readLog.clear();
    lastError.clear();
    readFailure = {};
}

bool ImpulseReader::readFile (ImpulseModel& target, const juce::String& path, Samples samples)
{
    clear();

    // Relative paths are resolved against the working directory (only they need to ask for it).
    const auto file = juce::File::isAbsolutePath (path) ? juce::File (path)
                                                        : juce::File::getCurrentWorkingDirectory().getChildFile (path);

    // Only a regular file is read: a FIFO would never answer, and a link is followed only where
    // its maker could have followed it anyway (a privileged run never reads another user's
    // files through one).
    RegularFileInput input (file, RegularFileInput::Links::followedIfTrusted);

    if (input.getKind() == RegularFileInput::Kind::missing)
    {
        lastError = "File not found: " + file.getFullPathName();
        fail (ReadFailure::Cause::notFound, {});
        return false;
    }

    if (! input.openedOk())
    {
        readLog << "Input Stream konnte nicht erstellt werden\n";

        // A folder is simply no stream; for anything else the reason follows.
        if (input.getKind() != RegularFileInput::Kind::directory)
            readLog << input.getFailure() << "\n";

        fail (ReadFailure::Cause::unreadable, input.getFailure());
        return false;
    }

    // The file is not kept open: Windows would then refuse to replace it. Stored samples are
    // copied; a caller that can keep the file open passes it as a shared stream.
    storedSource.reset();
    ReadAheadInputStream readAhead (input);
    return read (target, readAhead, samples);
}

bool ImpulseReader::readStream (ImpulseModel& target, juce::InputStream& input, Samples samples)
{
    clear();
    storedSource.reset();
    return read (target, input, samples);
}

bool ImpulseReader::readSharedStream (ImpulseModel& target, std::shared_ptr<juce::InputStream> input, Samples samples)
{
    clear();

   #if JUCE_WINDOWS
    // Windows may refuse to replace a file that is still open, and the impulse is often saved
    // over the file it was read from: the samples are copied, and the file can be closed.
    storedSource.reset();
   #else
    storedSource = input;
   #endif

    return read (target, *input, samples);
}

bool ImpulseReader::read (ImpulseModel& target, juce::InputStream& input, Samples samples)
{
    model = &target;
    samplesWanted = samples;

    if (storedSource == nullptr && samples == Samples::keepStored)
        storedCopies = std::make_unique<juce::MemoryOutputStream>();

    const bool result = readOpenedFile (input);

    model = nullptr;
    pool.reset();
    records.clear();
    storedSource.reset();
    storedCopies.reset();
    return result;
}

bool ImpulseReader::readOpenedFile (juce::InputStream& input)
{
    readLog << "Read Header";
    juce::String parseFailure;
    auto newHeader = PackedHeader::readHeader (input, &parseFailure);

    if (newHeader == nullptr)
    {
        readLog << "ParseError\n" << "Header: " << parseFailure << "\n";
        fail (ReadFailure::Cause::headerNotParsed, "Header: " + parseFailure);
        return false;
    }

    model->setHeader (std::move (newHeader));
    const auto& header = model->getHeader();

    declaredChannels = getDeclaredChannels (header);
    scrambled = model->getBoolAttribute ("crypted", false);
    recordRejected = false;
    firstRefusal.clear();
    firstDisagreement.clear();

    const auto sampleRate = (double) (float) HeaderAttributes::getDouble (header, "samplerate", 0.0);
    startSamples (sampleRate);

    if (HeaderAttributes::getDouble (header, "version", 0.0) > 2.0)
        readBlocks (input);
    else
        readVersion20Records (input);

    readLog << "NumChannels " << numChannels << "\n"
            << "NumSamples " << numSamples << "\n";

    finishSamples (sampleRate);
    model->formatState = ImpulseModel::FormatState::readFromFile;

    const auto shape = compareShapeWithHeader();

    // Passed-over samples are never used, and a model read so can't be saved: only its header
    // is taken, so samples that are damaged, cut short or missing don't make the file unreadable.
    if (samplesWanted == Samples::skip && shape != Shape::undeclared)
        return true;

    if (recordRejected)
        fail (ReadFailure::Cause::recordRefused, firstRefusal);
    else if (shape != Shape::agrees)
        fail (ReadFailure::Cause::disagreesWithHeader, firstDisagreement);

    return shape == Shape::agrees && ! recordRejected;
}

// The pool starts as 1 channel of 0 samples and only ever grows.
void ImpulseReader::startSamples (double sampleRate)
{
    numChannels = 1;
    numSamples = 0;
    records.clear();
    pool.reset();

    if (samplesWanted == Samples::decode)
        pool = std::make_unique<VOK_VokSampleBuffer> (1, 0, sampleRate);
}

void ImpulseReader::finishSamples (double sampleRate)
{
    if (samplesWanted == Samples::decode)
    {
        model->setSamplePool (std::move (pool));
        return;
    }

    if (samplesWanted == Samples::skip)
    {
        model->setSamplesSkipped();
        return;
    }

    ImpulseModel::StoredSamples stored;
    stored.source = storedSource;
    stored.numSamples = numSamples;
    stored.scrambled = scrambled;
    stored.sampleRate = sampleRate;

    if (storedCopies != nullptr)
        stored.source = std::make_shared<juce::MemoryInputStream> (storedCopies->getData(), storedCopies->getDataSize(), true);

    if (recordsAreOnePerChannel())
    {
        stored.channelOffsets.resize ((size_t) numChannels);

        for (auto& record : records)
            stored.channelOffsets[(size_t) record.channel] = record.offset;

        model->setStoredSamples (std::move (stored));
        return;
    }

    // Records that overlap, leave gaps or differ in length make up the pool as they would
    // have while it was read: each overwrites the start of its channel, the rest is zero.
    auto decoded = std::make_unique<VOK_VokSampleBuffer> (numChannels, numSamples, sampleRate);
    decoded->clear();

    for (auto& record : records)
    {
        stored.numSamples = record.numSamples;
        stored.channelOffsets = { record.offset };
        auto* samples = decoded->getWritePointer (record.channel);

        if (! stored.read (0, samples))
            std::fill (samples, samples + record.numSamples, 0.0f);

        ImpulseFileFields::decodeSamples (samples, samples, record.numSamples, scrambled);
    }

    model->setSamplePool (std::move (decoded));
}

// Stored samples stay where they are in a source the model may keep; otherwise they are copied.
void ImpulseReader::keepRecord (int channel, juce::int64 count, juce::int64 offset)
{
    records.push_back ({ channel, (int) count, offset });
}

bool ImpulseReader::recordsAreOnePerChannel() const
{
    if ((int) records.size() != numChannels)
        return false;

    std::vector<bool> seen ((size_t) numChannels, false);

    for (auto& record : records)
    {
        if (record.numSamples != numSamples || seen[(size_t) record.channel])
            return false;

        seen[(size_t) record.channel] = true;
    }

    return true;
}

// The pool is never wider than the header says it is, so that one record for a high channel
// can't make the reader hold that many channels of its length. Channel 0 is always there.
int ImpulseReader::getDeclaredChannels (const juce::XmlElement& headerElement)
{
    auto* poolElement = headerElement.getChildByName ("IRSamplePool");

    if (poolElement == nullptr || ! HeaderAttributes::hasAttribute (*poolElement, "number"))
        return 1;

    return juce::jlimit (1, VOK_VokSampleBuffer::maxChannels, HeaderAttributes::getInt (*poolElement, "number", 1));
}

//==============================================================================
void ImpulseReader::readBlocks (juce::InputStream& input)
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

        if (readAudioBlockFromStream (input, length))
            continue;

        const auto payloadStart = input.getPosition();
        auto payload = readPayload (input, length);

        if (payload == nullptr)
        {
            readLog << "Can't open Memoryblock\n";
            break;
        }

        readPayloadBlock (std::move (payload), payloadStart);
    }
}

// Reads "BLOCK" and the payload length; -1 when there is no block or its length is refused.
juce::int64 ImpulseReader::readBlockFrame (juce::InputStream& input)
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

std::unique_ptr<juce::MemoryBlock> ImpulseReader::readPayload (juce::InputStream& input, juce::int64 length)
{
    const juce::String lengthText (length);

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

    auto payload = allocateBlock (length);

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

void ImpulseReader::readPayloadBlock (std::unique_ptr<juce::MemoryBlock> payload, juce::int64 payloadStart)
{
    size_t afterTag = 0;
    const auto tag = ImpulseFileFields::readString (*payload, afterTag);

    if (tag.equalsIgnoreCase ("AUDIODATA"))
    {
        readLog << "Read AudioData\n";

        size_t offset = 0;
        int channel = 0;
        const auto count = prepareAudioSamples (*payload, offset, (juce::int64) payload->getSize(), channel);

        if (count >= 0)
            takeSamplesFromMemory (static_cast<const char*> (payload->getData()) + offset, payloadStart + (juce::int64) offset,
                                   channel, count);
    }
    else if (tag.equalsIgnoreCase ("PICTURE"))
    {
        readLog << "Read Picture\n";
        model->setStoredPicture (std::move (payload), afterTag);
    }
    else
    {
        readLog << "unknown Block " << tag << "\n";
    }
}

// Audio blocks make up nearly all of a file, so their samples go from the file straight
// into the pool (or are passed over) instead of through a copy of the whole payload. The
// fields before the samples are taken from the payload's head; a head that doesn't hold them
// whole is left to the general path. False when the block was not read here.
bool ImpulseReader::readAudioBlockFromStream (juce::InputStream& input, juce::int64 length)
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
    const auto count = prepareAudioSamples (head, offset, length, channel);

    if (count >= 0)
    {
        input.setPosition (payloadStart + (juce::int64) offset);

        if (! takeSamplesFromStream (input, channel, count))
            rejectRecord ("Block of " + juce::String (length) + " bytes could not be read whole");
    }

    input.setPosition (payloadStart + length);
    return true;
}

// Takes the tag, channel and count fields of an AUDIODATA payload from its head, logs them,
// checks them against the payload's size and the pool's limits, and grows the pool. Returns
// the number of samples that follow at offset, or -1 when the block adds nothing.
juce::int64 ImpulseReader::prepareAudioSamples (const juce::MemoryBlock& head, size_t& offset,
                                                juce::int64 payloadSize, int& channel)
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
    const auto count = ImpulseFileFields::parseInteger (countText);
    const auto samplesHeld = (payloadSize - (juce::int64) offset) / 4;

    if (count > samplesHeld)
    {
        rejectRecord ("AUDIODATA of channel " + channelText + " claims " + countText
                        + " samples, but its block holds only " + juce::String (samplesHeld));
        return -1;
    }

    if (! grow (channelIndex, count))
        return -1;

    channel = (int) channelIndex;
    return count;
}

void ImpulseReader::takeSamplesFromMemory (const char* source, juce::int64 sourceOffset, int channel, juce::int64 count)
{
    if (samplesWanted == Samples::decode)
    {
        ImpulseFileFields::decodeSamples (source, pool->getWritePointer (channel), (int) count, scrambled);
    }
    else if (samplesWanted == Samples::keepStored)
    {
        if (storedCopies == nullptr)
        {
            keepRecord (channel, count, sourceOffset);
            return;
        }

        keepRecord (channel, count, (juce::int64) storedCopies->getPosition());
        storedCopies->write (source, (size_t) count * 4);
    }
}

// Reads count stored samples for channel; false (with a decoded channel's samples zeroed)
// when the stream ends early.
bool ImpulseReader::takeSamplesFromStream (juce::InputStream& input, int channel, juce::int64 count)
{
    const auto numBytes = count * 4;

    if (samplesWanted == Samples::skip)
        return skipFully (input, numBytes);

    if (samplesWanted == Samples::keepStored)
    {
        const auto offset = input.getPosition();

        if (storedCopies == nullptr)
        {
            keepRecord (channel, count, offset);
            return skipFully (input, numBytes);
        }

        keepRecord (channel, count, (juce::int64) storedCopies->getPosition());
        return storedCopies->writeFromInputStream (input, numBytes) == numBytes;
    }

    auto* dest = pool->getWritePointer (channel);

    if (! readFully (input, dest, numBytes))
    {
        std::fill (dest, dest + count, 0.0f);
        return false;
    }

    ImpulseFileFields::decodeSamples (dest, dest, (int) count, scrambled);
    return true;
}

//==============================================================================
void ImpulseReader::readVersion20Records (juce::InputStream& input)
{
    readLog << "Kompatiblitaesmodus 2.0\n";

    while (! input.isExhausted())
    {
        readLog << "Position " << input.getPosition() << "\n";

        // Anything but an audio record's tag is passed over one string field at a time.
        if (! ImpulseFileFields::readString (input).equalsIgnoreCase ("AUDIODATA"))
            continue;

        readLog << "Read AudioData\n";

        if (! readVersion20Record (input))
            break;
    }
}

bool ImpulseReader::readVersion20Record (juce::InputStream& input)
{
    const auto channelText = ImpulseFileFields::readString (input);
    const auto countText = ImpulseFileFields::readString (input);
    const auto channel = ImpulseFileFields::parseInteger (channelText);
    const auto count = ImpulseFileFields::parseInteger (countText);

    if (channel < 0 || count < 0)
    {
        rejectRecord ("AUDIODATA record with channel " + channelText + " and sample count " + countText
                        + " rejected: neither may be negative");
        return false;
    }

    const auto bytesLeft = input.getNumBytesRemaining();

    if (count > maxFieldValue || (bytesLeft >= 0 && count * 4 > bytesLeft))
    {
        rejectRecord ("AUDIODATA record of channel " + channelText + " claims " + countText
                        + " samples, but the file holds only " + juce::String (bytesLeft) + " more bytes");
        return false;
    }

    if (! grow (channel, count))
        return false;

    if (! takeSamplesFromStream (input, (int) channel, count))
    {
        rejectRecord ("AUDIODATA record of channel " + channelText + " ends before its " + countText + " samples");
        return false;
    }

    return true;
}

// Widens or lengthens the pool for a record of count samples for channel, which will
// overwrite samples 0 to count - 1 of that channel straight away.
bool ImpulseReader::grow (juce::int64 channel, juce::int64 count)
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

    const auto newNumChannels = (int) juce::jmax ((juce::int64) numChannels, channel + 1);
    const auto newNumSamples = (int) juce::jmax ((juce::int64) numSamples, count);

    if (pool != nullptr && ! pool->growToFill (newNumChannels, newNumSamples, (int) channel, (int) count))
    {
        rejectRecord ("Not enough memory for a sample pool of " + juce::String (newNumChannels)
                        + " channels of " + juce::String (newNumSamples) + " samples");
        return false;
    }

    numChannels = newNumChannels;
    numSamples = newNumSamples;
    return true;
}

void ImpulseReader::rejectRecord (const juce::String& reason)
{
    readLog << reason << "\n";

    if (! std::exchange (recordRejected, true))
        firstRefusal = reason;
}

void ImpulseReader::fail (ReadFailure::Cause cause, const juce::String& reason)
{
    readFailure = { cause, reason };
}

// The log keeps its own words for what it found; the first finding is the reason given.
void ImpulseReader::disagree (const juce::String& logLine, const juce::String& reason)
{
    readLog << logLine << "\n";

    if (firstDisagreement.isEmpty())
        firstDisagreement = reason;
}

ImpulseReader::Shape ImpulseReader::compareShapeWithHeader()
{
    auto* poolElement = model->getHeader().getChildByName ("IRSamplePool");

    if (poolElement == nullptr)
    {
        disagree ("keinen IRSamplePool", "the header declares no IRSamplePool");
        return Shape::undeclared;
    }

    if (! HeaderAttributes::hasAttribute (*poolElement, "number"))
    {
        firstDisagreement = "the header's IRSamplePool declares no number of channels";
        return Shape::undeclared;
    }

    const auto declared = HeaderAttributes::getInt (*poolElement, "number", 99999);

    if (declared != numChannels)
    {
        const auto line = "channels in xml (" + juce::String (declared) + " != channels in blocks (" + juce::String (numChannels) + ")";
        disagree (line, line);
        return Shape::differs;
    }

    bool allAgree = true;

    for (auto* channelElement : poolElement->getChildIterator())
    {
        if (! channelElement->hasTagName ("AudioSampleData"))
            continue;

        const auto declaredSamples = HeaderAttributes::getInt (*channelElement, "NumSamples", 0);

        if (declaredSamples != numSamples)
        {
            const auto line = "samples in xml (" + juce::String (declaredSamples) + ") != samples in blocks (" + juce::String (numSamples) + ")";
            disagree (line, line);
            allAgree = false;
        }
    }

    return allAgree ? Shape::agrees : Shape::differs;
}
