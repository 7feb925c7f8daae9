/** @file
    VOK_ImpulseFile, the impulse file in memory, and the building of a sample pool from an
    audio file.
*/
#pragma once

#include <impulse/ImpulseModel.h>
#include <impulse/ImpulseReader.h>
#include <impulse/VOK_VokSampleBuffer.h>

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

    What the object holds is an ImpulseModel; ImpulseReader fills it and ImpulseWriter
    writes it.
*/
class VOK_ImpulseFile
{
public:
    /** Where what the object holds came from, with its values named in this class too. */
    using FormatState = ImpulseModel::FormatState;
    static constexpr FormatState notLoaded      = FormatState::notLoaded;       ///< Nothing read or built yet.
    static constexpr FormatState readFromFile   = FormatState::readFromFile;    ///< Read from an impulse file.
    static constexpr FormatState builtFromAudio = FormatState::builtFromAudio;  ///< Built from an audio file.
    static constexpr FormatState loadFailed     = FormatState::loadFailed;      ///< The last read or build failed.

    /** What a read does with the samples: decode them into the pool; keep them as the file
        stores them, for a file that is only written again (decoded when the pool is asked
        for); or pass over them, for the header and presets alone (such an object can't be
        saved). The read log and the result are the same for all three.
    */
    using SampleReading = ImpulseReader::Samples;

    VOK_ImpulseFile();
    ~VOK_ImpulseFile();

    //==============================================================================
    /** Reads a ".vok" file of either layout. True when the samples agree with the header. */
    bool readFile (const juce::String& path, SampleReading samples = SampleReading::decode);

    /** Reads an impulse file from a stream that the caller opened (for example one that
        refuses links); as readFile otherwise.
    */
    bool readFromStream (juce::InputStream& input, SampleReading samples = SampleReading::decode);

    /** As readFromStream; samples kept as stored are not copied but stay in the stream, which
        the object keeps open until its samples are decoded or replaced (on Windows, which may
        refuse to replace an open file, they are copied as from any stream).
    */
    bool readFromStream (std::shared_ptr<juce::InputStream> input, SampleReading samples);

    /** Writes the whole object in the 2.1 layout, replacing the target atomically. */
    bool saveToFile (const juce::String& path);

    /** Writes the whole object in the 2.1 layout to a stream the caller opened. */
    bool writeToStream (juce::OutputStream& output);

    /** Builds a new impulse from an audio file (WAV, AIFF, FLAC, Ogg Vorbis).
        @throws VokMemoryException when the sample memory can't be had.
    */
    bool createFromAudioFile (const juce::String& path);

    /** Reads a ".vok" file (by extension, ignoring case) or builds from an audio file. */
    bool loadFromFile (const juce::String& path, SampleReading samples = SampleReading::decode);

    /** Reads a ".vok" file from a stream the caller opened, as loadFromFile reads one by path;
        path is what the header's filename records.
    */
    bool loadFromStream (juce::InputStream& input, const juce::String& path,
                         SampleReading samples = SampleReading::decode);

    /** As loadFromStream, with the stream kept as readFromStream keeps a shared one. */
    bool loadFromStream (std::shared_ptr<juce::InputStream> input, const juce::String& path, SampleReading samples);

    /** "true" gives true, "false" gives false (both case-sensitive), anything else the default. */
    bool getBoolAttribute (const juce::String& attributeName, bool defaultValue) const;

    //==============================================================================
    /** The names of the user presets, in list order. */
    juce::StringArray getPresetNames() const;

    /** The data of the first preset whose name matches ignoring case (the plug-in's state, as
        text), or an empty string when there is none.
    */
    juce::String getPresetData (const juce::String& presetName) const;

    /** Adds a preset at its sorted place; a preset whose name matches ignoring case is
        replaced by it.
    */
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

    /** The ordering of the preset list: lexicographic comparison of the preset names. */
    static int comparePresetElements (const juce::XmlElement* first, const juce::XmlElement* second);

    /** The first child of parent with that tag, or a new empty one appended as its last child. */
    static juce::XmlElement* getOrCreateChildElement (juce::XmlElement& parent, const juce::String& tagName);

    //==============================================================================
    // Access for callers that build or inspect impulses (the pack generator, the tool, tests).
    // The returned pointers belong to the object; hold the lock while using them across threads.

    /** The lock every public operation holds; callers hold it too while they use the
        returned references from more than one thread.
    */
    const juce::CriticalSection& getLock() const noexcept              { return lock; }

    /** The header element (the VokImpulseFile element with the presets), to change in place. */
    juce::XmlElement& getHeader() noexcept                             { return model.getHeader(); }

    /** The header element, to inspect. */
    const juce::XmlElement& getHeader() const noexcept                 { return model.getHeader(); }

    /** Replaces the header element; a null one is ignored, so that there is always a header. */
    void setHeader (std::unique_ptr<juce::XmlElement> newHeader);

    /** The outer element the 2.1 layout packs the header into, with the attributes a file
        carried beside the packed header.
    */
    const juce::XmlElement& getPackedHeaderRoot() const noexcept       { return model.getPackedHeaderRoot(); }

    /** The pool, decoded first from samples kept as stored; they are then written encoded anew,
        as the caller may change them. Null when there is none or the samples were passed over.
        @throws VokMemoryException when the decoded pool's memory can't be had.
    */
    VOK_VokSampleBuffer* getSamplePool();

    /** The pool for reading, decoded first from samples kept as stored, which stay as they
        are (they are written back unchanged). Null as for getSamplePool().
        @throws VokMemoryException when the decoded pool's memory can't be had.
    */
    const VOK_VokSampleBuffer* getSamplePool() const;

    /** Replaces the samples with a pool (or with none, given null). The header should describe
        the new pool (NewImpulseHeader), or a read of the written file finds that they disagree.
    */
    void setSamplePool (std::unique_ptr<VOK_VokSampleBuffer> newPool);

    /** The file's picture text, written as a block of its own; empty when it has none. */
    const juce::String& getPictureText() const;

    /** Sets the picture text; an empty one writes no picture block. */
    void setPictureText (const juce::String& newPictureText);

    /** Where what the object holds came from, and whether the last read or build failed. */
    FormatState getFormatState() const noexcept                        { return model.formatState; }

    /** Sets the state, for callers that build an impulse themselves. */
    void setFormatState (FormatState newState) noexcept                { model.formatState = newState; }

    /** The progress lines of the last read (cut off when very long). */
    const juce::String& getReadLog() const                             { return reader.getReadLog(); }

    /** The last failure in words for the user: a missing file, an audio file that can't be
        used, or why a save failed; empty after a success. Why a read of an impulse file failed
        is told by getReadFailure().
    */
    const juce::String& getLastError() const noexcept                  { return reader.getLastError(); }

    /** Why the last read returned false, for callers that tell the user what to do. */
    const ReadFailure& getReadFailure() const noexcept                 { return reader.getReadFailure(); }

private:
    juce::CriticalSection lock;
    ImpulseReader reader;
    ImpulseModel model;

    bool finishLoading (bool loaded, const juce::String& path);

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
