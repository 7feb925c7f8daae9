#include <impulse/ImpulseModel.h>
#include <safeio/FileReplacement.h>
#include "ImpulseFileFields.h"
#include <impulse/HeaderAttributes.h>
#include "PresetNameOrder.h"

#include <algorithm>

namespace
{
    const char* const presetListTag   = "presets";
    const char* const presetTag       = "Preset";
    const char* const presetNameAttr  = "preset_name";
    const char* const presetDataAttr  = "preset_data";

    juce::XmlElement* findFirstPresetNamed (const juce::XmlElement& list, const juce::String& presetName)
    {
        for (auto* child : list.getChildWithTagNameIterator (presetTag))
            if (ImpulseModel::getPresetName (*child).compareIgnoreCase (presetName) == 0)
                return child;

        return nullptr;
    }

    struct PresetElementOrder
    {
        static int compareElements (const juce::XmlElement* first, const juce::XmlElement* second)
        {
            return ImpulseModel::comparePresetElements (first, second);
        }
    };
}

//==============================================================================
ImpulseModel::ImpulseModel()
    : header (std::make_unique<juce::XmlElement> ("VokImpulseFile")),
      packedHeaderRoot (std::make_unique<juce::XmlElement> ("VokImpulseFile"))
{
    header->setAttribute ("version", "2.1");
    packedHeaderRoot->setAttribute ("version", "2.1");
}

void ImpulseModel::setHeader (std::unique_ptr<juce::XmlElement> newHeader)
{
    if (newHeader != nullptr)
        header = std::move (newHeader);
}

bool ImpulseModel::getBoolAttribute (const juce::String& attributeName, bool defaultValue) const
{
    const auto value = HeaderAttributes::getString (*header, attributeName);

    if (value == "true")   return true;
    if (value == "false")  return false;

    return defaultValue;
}

//==============================================================================
const juce::String& ImpulseModel::getPictureText() const
{
    if (storedPicture != nullptr)
    {
        auto offset = storedPictureTextOffset;
        pictureText = ImpulseFileFields::readString (*storedPicture, offset);
        storedPicture.reset();
    }

    return pictureText;
}

void ImpulseModel::setPictureText (const juce::String& newPictureText)
{
    pictureText = newPictureText;
    storedPicture.reset();
}

void ImpulseModel::setStoredPicture (std::unique_ptr<juce::MemoryBlock> payload, size_t textOffset)
{
    pictureText.clear();
    storedPicture = std::move (payload);
    storedPictureTextOffset = textOffset;
}

//==============================================================================
VOK_VokSampleBuffer* ImpulseModel::getSamplePool()
{
    decodeStoredSamples();
    storedSamples.reset();
    return samplePool.get();
}

const VOK_VokSampleBuffer* ImpulseModel::getSamplePool() const
{
    decodeStoredSamples();
    return samplePool.get();
}

void ImpulseModel::setSamplePool (std::unique_ptr<VOK_VokSampleBuffer> newPool)
{
    samplePool = std::move (newPool);
    storedSamples.reset();
    samplesSkipped = false;
}

void ImpulseModel::setStoredSamples (StoredSamples samples)
{
    samplePool.reset();
    storedSamples = std::make_unique<StoredSamples> (std::move (samples));
    samplesSkipped = false;
}

void ImpulseModel::setSamplesSkipped()
{
    samplePool.reset();
    storedSamples.reset();
    samplesSkipped = true;
}

const ImpulseModel::StoredSamples* ImpulseModel::getUnchangedStoredSamples() const
{
    // Samples stored with another encoding than the header now asks for must be re-encoded.
    if (storedSamples == nullptr || storedSamples->scrambled != getBoolAttribute ("crypted", false))
        return nullptr;

    return storedSamples.get();
}

void ImpulseModel::decodeStoredSamples() const
{
    if (samplePool != nullptr || storedSamples == nullptr)
        return;

    const auto& stored = *storedSamples;
    auto pool = std::make_unique<VOK_VokSampleBuffer> ((int) stored.channelOffsets.size(), stored.numSamples, stored.sampleRate);

    for (int channel = 0; channel < pool->getNumChannels(); ++channel)
    {
        auto* samples = pool->getWritePointer (channel);

        // The reader found every sample there; a file cut short since then reads as silence.
        if (! stored.read ((size_t) channel, samples))
            std::fill (samples, samples + stored.numSamples, 0.0f);

        ImpulseFileFields::decodeSamples (samples, samples, stored.numSamples, stored.scrambled);
    }

    samplePool = std::move (pool);
}

//==============================================================================
namespace
{
    const char* findInMemory (juce::InputStream& source, juce::int64 offset, juce::int64 numBytes)
    {
        auto* memory = dynamic_cast<juce::MemoryInputStream*> (&source);

        if (memory == nullptr || offset < 0 || offset + numBytes > (juce::int64) memory->getDataSize())
            return nullptr;

        return static_cast<const char*> (memory->getData()) + offset;
    }
}

bool ImpulseModel::StoredSamples::read (size_t channel, void* dest) const
{
    const auto numBytes = (juce::int64) numSamples * 4;

    if (auto* bytes = findInMemory (*source, channelOffsets[channel], numBytes))
    {
        std::memcpy (dest, bytes, (size_t) numBytes);
        return true;
    }

    return source->setPosition (channelOffsets[channel])
        && source->read (dest, (int) numBytes) == (int) numBytes;
}

bool ImpulseModel::StoredSamples::copyTo (size_t channel, juce::OutputStream& output) const
{
    auto numBytes = (juce::int64) numSamples * 4;

    if (auto* bytes = findInMemory (*source, channelOffsets[channel], numBytes))
        return output.write (bytes, (size_t) numBytes);

    if (! source->setPosition (channelOffsets[channel]))
        return false;

    // From a file into a new file, the system copies the bytes itself where it can.
    numBytes -= FileReplacement::copyFromFile (*source, output, numBytes);

    if (numBytes == 0)
        return true;

    // One small buffer for every piece: fresh memory costs more to touch than the copy itself.
    constexpr int pieceSize = 256 * 1024;
    juce::HeapBlock<char> piece ((size_t) pieceSize);

    while (numBytes > 0)
    {
        const auto toRead = (int) juce::jmin (numBytes, (juce::int64) pieceSize);

        if (source->read (piece, toRead) != toRead || ! output.write (piece, (size_t) toRead))
            return false;

        numBytes -= toRead;
    }

    return true;
}

//==============================================================================
juce::StringArray ImpulseModel::getPresetNames() const
{
    juce::StringArray names;

    if (auto* list = header->getChildByName (presetListTag))
        for (auto* preset : list->getChildWithTagNameIterator (presetTag))
            names.add (getPresetName (*preset));

    return names;
}

juce::String ImpulseModel::getPresetData (const juce::String& presetName) const
{

    if (auto* list = header->getChildByName (presetListTag))
        if (auto* preset = findFirstPresetNamed (*list, presetName))
            return HeaderAttributes::getString (*preset, presetDataAttr);

    return {};
}

void ImpulseModel::addPreset (const juce::String& presetName, const juce::String& presetData)
{

    auto newPreset = std::make_unique<juce::XmlElement> (presetTag);
    newPreset->setAttribute (presetNameAttr, presetName);
    newPreset->setAttribute (presetDataAttr, presetData);

    auto* list = getOrCreateChildElement (*header, presetListTag);

    if (auto* samePreset = findFirstPresetNamed (*list, presetName))
        list->removeChildElement (samePreset, true);

    list->addChildElement (newPreset.release());

    sortPresetList (*list);
}

void ImpulseModel::sortPresetList (juce::XmlElement& list)
{
    if (list.getNumChildElements() > 1)
    {
        // Equal names keep their document order, so a list never reshuffles between saves.
        PresetElementOrder order;
        list.sortChildElements (order, true);
    }
}

juce::OwnedArray<juce::XmlElement> ImpulseModel::getPresetElements() const
{
    juce::OwnedArray<juce::XmlElement> presets;

    if (auto* list = header->getChildByName (presetListTag))
        for (auto* preset : list->getChildWithTagNameIterator (presetTag))
            presets.add (new juce::XmlElement (*preset));

    return presets;
}

namespace
{
    // A preset list rebuilt in one pass: the framework's append walks the whole list every
    // time, so adding thousands of presets one by one would take the square of their number.
    struct PresetEntry
    {
        juce::String name;
        std::unique_ptr<juce::XmlElement> element;
    };

    std::vector<PresetEntry> takeChildren (juce::XmlElement& list)
    {
        std::vector<PresetEntry> entries;

        // Taken out front first, where each removal costs nothing.
        while (auto* child = list.getFirstChildElement())
        {
            list.removeChildElement (child, false);
            entries.push_back ({ ImpulseModel::getPresetName (*child), std::unique_ptr<juce::XmlElement> (child) });
        }

        return entries;
    }

    void putBackSorted (juce::XmlElement& list, std::vector<PresetEntry>& entries)
    {
        entries.erase (std::remove_if (entries.begin(), entries.end(), [] (const PresetEntry& e) { return e.element == nullptr; }),
                       entries.end());

        // Equal names keep their document order, so a list never reshuffles between saves.
        std::stable_sort (entries.begin(), entries.end(), [] (const PresetEntry& a, const PresetEntry& b)
        {
            return PresetNameOrder::compare (a.name, b.name) < 0;
        });

        for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
            list.prependChildElement (entry->element.release());
    }
}

void ImpulseModel::addPresetElements (const juce::OwnedArray<juce::XmlElement>& presets)
{

    if (presets.isEmpty())
        return;

    auto* list = getOrCreateChildElement (*header, presetListTag);
    auto entries = takeChildren (*list);

    for (auto* preset : presets)
        entries.push_back ({ getPresetName (*preset), std::make_unique<juce::XmlElement> (*preset) });

    putBackSorted (*list, entries);
}

juce::String ImpulseModel::getPresetName (const juce::XmlElement& preset)
{
    return HeaderAttributes::getString (preset, presetNameAttr);
}

int ImpulseModel::comparePresetElements (const juce::XmlElement* first, const juce::XmlElement* second)
{
    const auto firstName  = first  != nullptr ? getPresetName (*first)  : juce::String();
    const auto secondName = second != nullptr ? getPresetName (*second) : juce::String();

    return PresetNameOrder::compare (firstName, secondName);
}

juce::XmlElement* ImpulseModel::getOrCreateChildElement (juce::XmlElement& parent, const juce::String& tagName)
{
    if (auto* existing = parent.getChildByName (tagName))
        return existing;

    return parent.createNewChildElement (tagName);
}

