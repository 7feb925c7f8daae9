// The preset list of the header and loading by path; part of VOK_ImpulseFile.

#include "VOK_ImpulseFile.h"
#include "HeaderAttributes.h"
#include "VOK_LexicographicComparator.h"

namespace
{
    const char* const presetListTag   = "presets";
    const char* const presetTag       = "Preset";
    const char* const presetNameAttr  = "preset_name";
    const char* const presetDataAttr  = "preset_data";

    juce::XmlElement* findFirstPresetNamed (const juce::XmlElement& list, const juce::String& presetName)
    {
        for (auto* child : list.getChildWithTagNameIterator (presetTag))
            if (VOK_ImpulseFile::getPresetName (*child).compareIgnoreCase (presetName) == 0)
                return child;

        return nullptr;
    }

    struct PresetElementOrder
    {
        static int compareElements (const juce::XmlElement* first, const juce::XmlElement* second)
        {
            return VOK_ImpulseFile::comparePresetElements (first, second);
        }
    };
}

//==============================================================================
juce::StringArray VOK_ImpulseFile::getPresetNames() const
{
    const juce::ScopedLock sl (lock);
    juce::StringArray names;

    if (auto* list = header->getChildByName (presetListTag))
        for (auto* preset : list->getChildWithTagNameIterator (presetTag))
            names.add (getPresetName (*preset));

    return names;
}

juce::String VOK_ImpulseFile::getPresetData (const juce::String& presetName) const
{
    const juce::ScopedLock sl (lock);

    if (auto* list = header->getChildByName (presetListTag))
        if (auto* preset = findFirstPresetNamed (*list, presetName))
            return HeaderAttributes::getString (*preset, presetDataAttr);

    return {};
}

void VOK_ImpulseFile::addPreset (const juce::String& presetName, const juce::String& presetData)
{
    const juce::ScopedLock sl (lock);

    auto newPreset = std::make_unique<juce::XmlElement> (presetTag);
    newPreset->setAttribute (presetNameAttr, presetName);
    newPreset->setAttribute (presetDataAttr, presetData);

    auto* list = getOrCreateChildElement (*header, presetListTag);

    if (auto* samePreset = findFirstPresetNamed (*list, presetName))
        list->removeChildElement (samePreset, true);

    list->addChildElement (newPreset.release());

    sortPresetList (*list);
}

void VOK_ImpulseFile::sortPresetList (juce::XmlElement& list)
{
    if (list.getNumChildElements() > 1)
    {
        // Equal names keep their document order, so a list never reshuffles between saves.
        PresetElementOrder order;
        list.sortChildElements (order, true);
    }
}

juce::OwnedArray<juce::XmlElement> VOK_ImpulseFile::getPresetElements() const
{
    const juce::ScopedLock sl (lock);
    juce::OwnedArray<juce::XmlElement> presets;

    if (auto* list = header->getChildByName (presetListTag))
        for (auto* preset : list->getChildWithTagNameIterator (presetTag))
            presets.add (new juce::XmlElement (*preset));

    return presets;
}

void VOK_ImpulseFile::addPresetElement (const juce::XmlElement& preset)
{
    const juce::ScopedLock sl (lock);

    auto* list = getOrCreateChildElement (*header, presetListTag);
    list->addChildElement (new juce::XmlElement (preset));
    sortPresetList (*list);
}

juce::String VOK_ImpulseFile::getPresetName (const juce::XmlElement& preset)
{
    return HeaderAttributes::getString (preset, presetNameAttr);
}

int VOK_ImpulseFile::comparePresetElements (const juce::XmlElement* first, const juce::XmlElement* second)
{
    const auto firstName  = first  != nullptr ? getPresetName (*first)  : juce::String();
    const auto secondName = second != nullptr ? getPresetName (*second) : juce::String();

    return VOK_LexicographicComparator::compare (firstName, secondName);
}

juce::XmlElement* VOK_ImpulseFile::getOrCreateChildElement (juce::XmlElement& parent, const juce::String& tagName)
{
    if (auto* existing = parent.getChildByName (tagName))
        return existing;

    return parent.createNewChildElement (tagName);
}

//==============================================================================
bool VOK_ImpulseFile::loadFromFile (const juce::String& path)
{
    const juce::ScopedLock sl (lock);
    lastError = {};

    bool loaded = false;

    try
    {
        loaded = juce::File (path).hasFileExtension ("vok") ? readFile (path)
                                                            : createFromAudioFile (path);
    }
    catch (const VokMemoryException&)
    {
        // The object must not look loaded after the pool was lost on the way out.
        formatState = loadFailed;
        throw;
    }

    return finishLoading (loaded, path);
}

bool VOK_ImpulseFile::loadFromStream (juce::InputStream& input, const juce::String& path)
{
    const juce::ScopedLock sl (lock);
    lastError = {};

    return finishLoading (readFromStream (input), path);
}

bool VOK_ImpulseFile::finishLoading (bool loaded, const juce::String& path)
{
    if (loaded)
        HeaderAttributes::setString (*header, "filename", path);
    else
        formatState = loadFailed;

    return loaded;
}
