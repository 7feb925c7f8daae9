/** @file
    ImpulseModel: what one impulse file holds.
*/
#pragma once

#include <impulse/VOK_VokSampleBuffer.h>

#include <juce_core/juce_core.h>

#include <memory>
#include <utility>
#include <vector>

/**
    What one impulse file holds: its header element with the user presets, the outer element
    its header is packed into, its picture text and its samples.

    The samples are held in one of two forms. A pool of floats is what callers work with. A
    file that is read only to be written again (a preset added) keeps its samples as it stored
    them instead: they are decoded into a pool only when someone asks for it, and written back
    byte for byte as long as no one could have changed them. A file read for its header alone
    has neither, and can't be written.

    ImpulseModel does no locking; VOK_ImpulseFile holds its lock around every use.
*/
class ImpulseModel
{
public:
    /** Where what the model holds came from. */
    enum class FormatState
    {
        notLoaded      = 0,   ///< Nothing read or built yet.
        readFromFile   = 1,   ///< Read from an impulse file.
        builtFromAudio = 2,   ///< Built from an audio file.
        loadFailed     = 3    ///< The last read or build failed.
    };

    /** Where the samples of every channel lie, exactly as a file stored them (plain or
        scrambled): numSamples * 4 bytes at each channel's offset in the source, channel 0 first.
        The source is the file itself, kept open, or a copy of what it held.
    */
    struct StoredSamples
    {
        std::shared_ptr<juce::InputStream> source;    ///< The file, kept open, or a copy of its samples.
        std::vector<juce::int64> channelOffsets;      ///< Where each channel's samples start in the source.
        int numSamples = 0;                           ///< The samples of each channel.
        bool scrambled = false;                       ///< True when the file stored them scrambled.
        double sampleRate = 0.0;                      ///< The rate the header records, in Hz.

        /** Reads numSamples * 4 bytes of a channel; false when the source no longer holds them. */
        bool read (size_t channel, void* dest) const;

        /** Copies a channel's bytes to a stream, through little memory. */
        bool copyTo (size_t channel, juce::OutputStream& output) const;
    };

    ImpulseModel();

    //==============================================================================
    /** The header element with the presets, to change in place. */
    juce::XmlElement& getHeader() noexcept                          { return *header; }

    /** The header element, to inspect. */
    const juce::XmlElement& getHeader() const noexcept              { return *header; }

    /** A null header is ignored: the model has a header element at all times. */
    void setHeader (std::unique_ptr<juce::XmlElement> newHeader);

    /** The outer element the 2.1 layout packs the header into, which the writer fills. */
    juce::XmlElement& getPackedHeaderRoot() noexcept                { return *packedHeaderRoot; }

    /** The outer element, with the attributes a file carried beside the packed header. */
    const juce::XmlElement& getPackedHeaderRoot() const noexcept    { return *packedHeaderRoot; }

    /** Where what the model holds came from. */
    FormatState formatState = FormatState::notLoaded;

    /** The picture text; empty when the file has none, and then no picture block is written.
        A picture read from a file becomes text only here, when first asked for: most reads
        never use it, and it is long.
    */
    const juce::String& getPictureText() const;

    /** Sets the picture text; an empty one writes no picture block. */
    void setPictureText (const juce::String& newPictureText);

    /** Takes a picture as a file stores it: the payload of its block, whose text is the string
        field that starts at textOffset.
    */
    void setStoredPicture (std::unique_ptr<juce::MemoryBlock> payload, size_t textOffset);

    /** "true" gives true, "false" gives false (both case-sensitive), anything else the default. */
    bool getBoolAttribute (const juce::String& attributeName, bool defaultValue) const;

    //==============================================================================
    /** The pool, decoded from the stored samples if need be. The caller may change it, so the
        stored form is given up.
        @throws VokMemoryException when the decoded pool's memory can't be had.
    */
    VOK_VokSampleBuffer* getSamplePool();

    /** The pool for reading, decoded from the stored samples if need be; the stored form stays. */
    const VOK_VokSampleBuffer* getSamplePool() const;

    /** Takes a pool (or none, given null) in place of any samples, stored or passed over. */
    void setSamplePool (std::unique_ptr<VOK_VokSampleBuffer> newPool);

    /** Takes samples as a file stored them, in place of any pool. */
    void setStoredSamples (StoredSamples samples);

    /** The samples as stored, when the model has them and their encoding is still the header's. */
    const StoredSamples* getUnchangedStoredSamples() const;

    /** Marks that the samples were passed over: neither a pool nor stored samples stand for them. */
    void setSamplesSkipped();

    /** True when the samples were passed over, so that the model can't be written. */
    bool wereSamplesSkipped() const noexcept                        { return samplesSkipped; }

    //==============================================================================
    // The presets, as VOK_ImpulseFile offers them (which adds only its lock).

    /** @copydoc VOK_ImpulseFile::getPresetNames() */
    juce::StringArray getPresetNames() const;

    /** @copydoc VOK_ImpulseFile::getPresetData() */
    juce::String getPresetData (const juce::String& presetName) const;

    /** @copydoc VOK_ImpulseFile::addPreset() */
    void addPreset (const juce::String& presetName, const juce::String& presetData);

    /** @copydoc VOK_ImpulseFile::getPresetElements() */
    juce::OwnedArray<juce::XmlElement> getPresetElements() const;

    /** @copydoc VOK_ImpulseFile::addPresetElements() */
    void addPresetElements (const juce::OwnedArray<juce::XmlElement>& presets);

    /** @copydoc VOK_ImpulseFile::getPresetName() */
    static juce::String getPresetName (const juce::XmlElement& preset);

    /** @copydoc VOK_ImpulseFile::comparePresetElements() */
    static int comparePresetElements (const juce::XmlElement* first, const juce::XmlElement* second);

    /** @copydoc VOK_ImpulseFile::getOrCreateChildElement() */
    static juce::XmlElement* getOrCreateChildElement (juce::XmlElement& parent, const juce::String& tagName);

private:
    std::unique_ptr<juce::XmlElement> header;
    std::unique_ptr<juce::XmlElement> packedHeaderRoot;

    // Decoding on first use changes only the form of the samples, not what they are.
    mutable std::unique_ptr<VOK_VokSampleBuffer> samplePool;
    mutable std::unique_ptr<StoredSamples> storedSamples;
    bool samplesSkipped = false;

    // Making the stored picture text changes only its form, not what it is.
    mutable juce::String pictureText;
    mutable std::unique_ptr<juce::MemoryBlock> storedPicture;
    size_t storedPictureTextOffset = 0;

    void decodeStoredSamples() const;
    static void sortPresetList (juce::XmlElement& list);

    JUCE_DECLARE_NON_COPYABLE (ImpulseModel)
};
