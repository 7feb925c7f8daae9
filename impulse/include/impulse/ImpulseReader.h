/** @file
    ImpulseReader: reads an impulse file of either layout into an ImpulseModel.
*/
#pragma once

#include <impulse/ImpulseModel.h>
#include <impulse/ReadFailure.h>
#include <impulse/ReadLog.h>

#include <juce_core/juce_core.h>

/**
    Reads an impulse file of either layout into an ImpulseModel, and keeps the read log, the
    last-error text and the cause of the last failure.

    How the samples are taken is the caller's choice: decoded into a pool, kept as the file
    stores them (for a file that is only written again), or passed over by seeking (for its
    header and presets alone). Every choice reads the same records and checks them in the same
    way, so the read log is the same whichever is made, and so is the result, but for one
    difference: a read that passes over the samples needs only a header that describes a pool,
    since nothing else of the file is used.
*/
class ImpulseReader
{
public:
    /** What a read does with the samples. */
    enum class Samples
    {
        decode,       ///< Decoded into a pool of floats.
        keepStored,   ///< Kept as the file stores them, for a file that is only written again.
        skip          ///< Passed over, for the header and presets alone.
    };

    /** Reads a file by path; true when the samples agree with the header (when they are
        skipped: when the header describes a pool, whatever the records hold).
    */
    bool readFile (ImpulseModel& model, const juce::String& path, Samples samples);

    /** Reads an impulse file from a stream that the caller opened, as readFile otherwise.
        Samples kept as stored are copied out of it.
    */
    bool readStream (ImpulseModel& model, juce::InputStream& input, Samples samples);

    /** As readStream; samples kept as stored stay in the stream, which the model then keeps. */
    bool readSharedStream (ImpulseModel& model, std::shared_ptr<juce::InputStream> input, Samples samples);

    /** The progress lines of the last read. */
    const juce::String& getReadLog() const                { return readLog.getText(); }

    /** The last error in words, such as a missing file; empty when there was none. */
    const juce::String& getLastError() const noexcept     { return lastError; }

    /** Why the last read returned false, for callers that tell the user what to do. */
    const ReadFailure& getReadFailure() const noexcept    { return readFailure; }

    /** Clears the read log and the last error (every read starts so). */
    void clear();

    /** For a failure found before any reading, such as a missing audio file. */
    void setLastError (const juce::String& text)          { lastError = text; }

private:
    struct AudioRecord
    {
        int channel = 0;
        int numSamples = 0;
        juce::int64 offset = 0;     // of the stored samples, in the stored source
    };

    ReadLog readLog;
    juce::String lastError;
    ReadFailure readFailure;

    // The state of one read.
    ImpulseModel* model = nullptr;
    Samples samplesWanted = Samples::decode;
    bool scrambled = false;
    bool recordRejected = false;
    juce::String firstRefusal, firstDisagreement;
    int declaredChannels = VOK_VokSampleBuffer::maxChannels;
    int numChannels = 1, numSamples = 0;
    std::unique_ptr<VOK_VokSampleBuffer> pool;
    std::vector<AudioRecord> records;

    // Where stored samples are found: the file itself, or copies of the samples.
    std::shared_ptr<juce::InputStream> storedSource;
    std::unique_ptr<juce::MemoryOutputStream> storedCopies;

    bool read (ImpulseModel& target, juce::InputStream& input, Samples samples);
    void keepRecord (int channel, juce::int64 count, juce::int64 offset);
    bool readOpenedFile (juce::InputStream& input);
    void startSamples (double sampleRate);
    void finishSamples (double sampleRate);
    bool recordsAreOnePerChannel() const;

    void readBlocks (juce::InputStream& input);
    juce::int64 readBlockFrame (juce::InputStream& input);
    std::unique_ptr<juce::MemoryBlock> readPayload (juce::InputStream& input, juce::int64 length);
    bool readAudioBlockFromStream (juce::InputStream& input, juce::int64 length);
    void readPayloadBlock (std::unique_ptr<juce::MemoryBlock> payload, juce::int64 payloadStart);
    juce::int64 prepareAudioSamples (const juce::MemoryBlock& head, size_t& offset, juce::int64 payloadSize, int& channel);
    void takeSamplesFromMemory (const char* source, juce::int64 sourceOffset, int channel, juce::int64 count);
    bool takeSamplesFromStream (juce::InputStream& input, int channel, juce::int64 count);

    void readVersion20Records (juce::InputStream& input);
    bool readVersion20Record (juce::InputStream& input);
    bool grow (juce::int64 channel, juce::int64 count);
    void rejectRecord (const juce::String& reason);
    void fail (ReadFailure::Cause cause, const juce::String& reason);
    enum class Shape { undeclared, differs, agrees };
    Shape compareShapeWithHeader();
    void disagree (const juce::String& logLine, const juce::String& reason);
    static int getDeclaredChannels (const juce::XmlElement& headerElement);
};
