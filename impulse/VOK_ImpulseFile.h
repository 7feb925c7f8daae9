#pragma once

#include "ReadLog.h"
#include "VOK_VokSampleBuffer.h"

#include <juce_core/juce_core.h>

#include <memory>
#include <utility>
#include <vector>

/**
    One impulse file in memory: its header element (with the user presets), its
    sample pool and its picture text.

    The object never shows anything: progress lines of the last read are collected
    in the read log, a missing file in the last-error text. Every public operation
    holds the object's recursive lock for its whole duration.
*/
class VOK_ImpulseFile
{
public:
    enum FormatState
    {
        notLoaded      = 0,
        readFromFile   = 1,
        builtFromAudio = 2,
        loadFailed     = 3
    };

    /** Why the last readFile returned false, for callers that tell the user what to do. */
    enum class ReadFailure
    {
        none,
        notFound,
        unreadable,           // the file exists but can't be opened (permissions, a folder)
        headerNotParsed,      // not an impulse file, or its header is damaged
        recordRefused,        // a record asks for more than the file or the pool holds
        disagreesWithHeader   // the samples read differ from what the header declares
    };

    VOK_ImpulseFile();
    ~VOK_ImpulseFile();

    //==============================================================================
    /** Reads a ".vok" file of either layout. True when the samples agree with the header. */
    bool readFile (const juce::String& path);

    /** Reads an impulse file from a stream that the caller opened (for example one that
        refuses links); as readFile otherwise.
    */
    bool readFromStream (juce::InputStream& input);

    /** Writes the whole object in the 2.1 layout, replacing the target atomically. */
    bool saveToFile (const juce::String& path);

    /** Builds a new impulse from an audio file (WAV, AIFF, FLAC, Ogg Vorbis).
        @throws VokMemoryException when the sample memory can't be had.
    */
    bool createFromAudioFile (const juce::String& path);

    /** Reads a ".vok" file (by extension, ignoring case) or builds from an audio file. */
    bool loadFromFile (const juce::String& path);

    /** Reads a ".vok" file from a stream the caller opened, as loadFromFile reads one by path;
        path is what the header's filename records.
    */
    bool loadFromStream (juce::InputStream& input, const juce::String& path);

    /** "true" gives true, "false" gives false (both case-sensitive), anything else the default. */
    bool getBoolAttribute (const juce::String& attributeName, bool defaultValue) const;

    //==============================================================================
    juce::StringArray getPresetNames() const;
    juce::String getPresetData (const juce::String& presetName) const;
    void addPreset (const juce::String& presetName, const juce::String& presetData);

    /** Copies of the Preset elements, in list order, with everything they hold. */
    juce::OwnedArray<juce::XmlElement> getPresetElements() const;

    /** Adds copies of Preset elements at their sorted places, with one sort for all of them;
        unlike addPreset it replaces nothing, so a preset whose name differs from another only
        in case keeps its data.
    */
    void addPresetElements (const juce::OwnedArray<juce::XmlElement>& presets);

    /** The preset_name of a Preset element. */
    static juce::String getPresetName (const juce::XmlElement& preset);

    using NamedPreset = std::pair<juce::String, juce::String>;

    /** Every preset's name and data, in list order, read in one pass. */
    std::vector<NamedPreset> getPresets() const;

    /** Adds presets as addPreset does one by one (each replaces the first preset of its name,
        ignoring case, and the list ends sorted), with one name map and one sort for all of
        them, so that merging thousands of presets takes time in proportion to their number.
    */
    void addPresets (const std::vector<NamedPreset>& presets);

    /** The ordering of the preset list: lexicographic comparison of the preset names. */
    static int comparePresetElements (const juce::XmlElement* first, const juce::XmlElement* second);

    /** The first child of parent with that tag, or a new empty one appended as its last child. */
    static juce::XmlElement* getOrCreateChildElement (juce::XmlElement& parent, const juce::String& tagName);

    //==============================================================================
    // Access for callers that build or inspect impulses (the pack generator, the tool, tests).
    // The returned pointers belong to the object; hold the lock while using them across threads.

    const juce::CriticalSection& getLock() const noexcept              { return lock; }
    juce::XmlElement& getHeader() noexcept                             { return *header; }
    const juce::XmlElement& getHeader() const noexcept                 { return *header; }
    void setHeader (std::unique_ptr<juce::XmlElement> newHeader);
    const juce::XmlElement& getPackedHeaderRoot() const noexcept       { return *packedHeaderRoot; }

    VOK_VokSampleBuffer* getSamplePool() noexcept                      { return samplePool.get(); }
    const VOK_VokSampleBuffer* getSamplePool() const noexcept          { return samplePool.get(); }
    void setSamplePool (std::unique_ptr<VOK_VokSampleBuffer> newPool);

    const juce::String& getPictureText() const noexcept                { return pictureText; }
    void setPictureText (const juce::String& newPictureText);

    int getFormatState() const noexcept                                { return formatState; }
    void setFormatState (int newState) noexcept                        { formatState = newState; }

    const juce::String& getReadLog() const                             { return readLog.getText(); }
    const juce::String& getLastError() const noexcept                  { return lastError; }
    ReadFailure getReadFailure() const noexcept                        { return readFailure; }

    //==============================================================================
    /** Block helpers of the reader and writer, public so that they can be tested alone. */
    std::unique_ptr<juce::MemoryBlock> readBlock (juce::InputStream& input);
    static juce::String getBlockTag (const juce::MemoryBlock& payload);
    bool readAudioBlock (VOK_VokSampleBuffer& pool, const juce::MemoryBlock& payload, bool scrambled);
    static juce::String readPictureBlock (const juce::MemoryBlock& payload);

    static bool writeBlock (juce::OutputStream& output, const juce::MemoryBlock& payload);
    static std::unique_ptr<juce::MemoryBlock> createPictureBlock (const juce::String& pictureText);
    static std::unique_ptr<juce::MemoryBlock> createAudioBlock (const float* samples, int numSamples,
                                                                int channel, bool scrambled);

private:
    juce::CriticalSection lock;
    ReadLog readLog;
    juce::String lastError;
    std::unique_ptr<juce::XmlElement> header;
    std::unique_ptr<juce::XmlElement> packedHeaderRoot;
    int formatState = notLoaded;
    juce::String pictureText;
    std::unique_ptr<VOK_VokSampleBuffer> samplePool;

    // Set when a record asks for more than the file holds or the pool can take; the read then stops and fails.
    bool recordRejected = false;
    ReadFailure readFailure = ReadFailure::none;
    int declaredChannels = VOK_VokSampleBuffer::maxChannels;

    void clearReadState();
    bool finishLoading (bool loaded, const juce::String& path);
    static void sortPresetList (juce::XmlElement& list);
    bool readOpenedFile (juce::InputStream& input);
    void readBlocks (juce::InputStream& input, bool scrambled);
    juce::int64 readBlockFrame (juce::InputStream& input);
    std::unique_ptr<juce::MemoryBlock> readPayload (juce::InputStream& input, juce::int64 length, const juce::String& lengthText);
    bool readAudioBlockFromStream (juce::InputStream& input, juce::int64 length, bool scrambled);
    void readPayloadBlock (const juce::MemoryBlock& payload, bool scrambled);
    juce::int64 prepareAudioSamples (VOK_VokSampleBuffer& pool, const juce::MemoryBlock& head,
                                     size_t& offset, juce::int64 payloadSize, int& channel);
    void readVersion20Records (juce::InputStream& input, bool scrambled);
    bool readVersion20Record (juce::InputStream& input, bool scrambled);
    bool growPool (VOK_VokSampleBuffer& pool, juce::int64 channel, juce::int64 numSamples);
    void rejectRecord (const juce::String& reason);
    bool checkPoolAgainstHeader();
    static int getDeclaredChannels (const juce::XmlElement& headerElement);
    bool writeContents (juce::OutputStream& output);
    juce::String createHeaderText();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VOK_ImpulseFile)
};

/** The longest impulse made from an audio file: 2^25 frames, over 11 minutes at 48 kHz. */
constexpr juce::int64 maxImpulseFrames = 1 << 25;

/** Loads an audio file into a new pool, or returns nullptr (missing file, unknown format, empty,
    longer than maxImpulseFrames, samples that are not finite; failure, when given, then says why
    for the last three).
    @throws VokMemoryException when the sample memory can't be had.
*/
std::unique_ptr<VOK_VokSampleBuffer> loadAudioFile (const juce::String& path, juce::String* failure = nullptr);
