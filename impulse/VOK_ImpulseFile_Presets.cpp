// The preset list of the header and loading by path; part of VOK_ImpulseFile.

#include "VOK_ImpulseFile.h"
#include "HeaderAttributes.h"
#include "VOK_LexicographicComparator.h"

#include <algorithm>
#include <unordered_map>

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

std::vector<VOK_ImpulseFile::NamedPreset> VOK_ImpulseFile::getPresets() const
{
    const juce::ScopedLock sl (lock);
    std::vector<NamedPreset> presets;

    if (auto* list = header->getChildByName (presetListTag))
        for (auto* preset : list->getChildWithTagNameIterator (presetTag))
            presets.emplace_back (getPresetName (*preset), HeaderAttributes::getString (*preset, presetDataAttr));

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
            entries.push_back ({ VOK_ImpulseFile::getPresetName (*child), std::unique_ptr<juce::XmlElement> (child) });
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
            return VOK_LexicographicComparator::compare (a.name, b.name) < 0;
        });

        for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
            list.prependChildElement (entry->element.release());
    }
}

void VOK_ImpulseFile::addPresetElements (const juce::OwnedArray<juce::XmlElement>& presets)
{
    const juce::ScopedLock sl (lock);

    if (presets.isEmpty())
        return;

    auto* list = getOrCreateChildElement (*header, presetListTag);
    auto entries = takeChildren (*list);

    for (auto* preset : presets)
        entries.push_back ({ getPresetName (*preset), std::make_unique<juce::XmlElement> (*preset) });

    putBackSorted (*list, entries);
}

juce::String VOK_ImpulseFile::getPresetName (const juce::XmlElement& preset)
{
    return HeaderAttributes::getString (preset, presetNameAttr);
}

void VOK_ImpulseFile::addPresets (const std::vector<NamedPreset>& presets)
{
    const juce::ScopedLock sl (lock);

    if (presets.empty())
        return;

    auto* list = getOrCreateChildElement (*header, presetListTag);
    auto entries = takeChildren (*list);
    std::unordered_map<juce::String, size_t> firstPresetNamed;

    for (size_t i = entries.size(); i-- > 0;)
        if (entries[i].element->hasTagName (presetTag))
            firstPresetNamed[entries[i].name.toLowerCase()] = i;

    for (auto& [name, data] : presets)
    {
        auto preset = std::make_unique<juce::XmlElement> (presetTag);
        preset->setAttribute (presetNameAttr, name);
        preset->setAttribute (presetDataAttr, data);

        const auto key = name.toLowerCase();
        const auto same = firstPresetNamed.find (key);

        // A replaced preset leaves an empty slot, dropped when the list is put back.
        if (same != firstPresetNamed.end())
            entries[same->second].element.reset();

        firstPresetNamed[key] = entries.size();
        entries.push_back ({ name, std::move (preset) });
    }

    putBackSorted (*list, entries);
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
