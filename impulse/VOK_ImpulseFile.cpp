#include <impulse/VOK_ImpulseFile.h>
#include <impulse/HeaderAttributes.h>
#include "ImpulseWriter.h"

//==============================================================================
VOK_ImpulseFile::VOK_ImpulseFile() = default;
VOK_ImpulseFile::~VOK_ImpulseFile() = default;

void VOK_ImpulseFile::setHeader (std::unique_ptr<juce::XmlElement> newHeader)
{
    const juce::ScopedLock sl (lock);
    model.setHeader (std::move (newHeader));
}

VOK_VokSampleBuffer* VOK_ImpulseFile::getSamplePool()
{
    const juce::ScopedLock sl (lock);
    return model.getSamplePool();
}

const VOK_VokSampleBuffer* VOK_ImpulseFile::getSamplePool() const
{
    const juce::ScopedLock sl (lock);
    return static_cast<const ImpulseModel&> (model).getSamplePool();
}

void VOK_ImpulseFile::setSamplePool (std::unique_ptr<VOK_VokSampleBuffer> newPool)
{
    const juce::ScopedLock sl (lock);
    model.setSamplePool (std::move (newPool));
}

const juce::String& VOK_ImpulseFile::getPictureText() const
{
    const juce::ScopedLock sl (lock);
    return model.getPictureText();
}

void VOK_ImpulseFile::setPictureText (const juce::String& newPictureText)
{
    const juce::ScopedLock sl (lock);
    model.setPictureText (newPictureText);
}

bool VOK_ImpulseFile::getBoolAttribute (const juce::String& attributeName, bool defaultValue) const
{
    const juce::ScopedLock sl (lock);
    return model.getBoolAttribute (attributeName, defaultValue);
}

//==============================================================================
bool VOK_ImpulseFile::readFile (const juce::String& path, SampleReading samples)
{
    const juce::ScopedLock sl (lock);
    return reader.readFile (model, path, samples);
}

bool VOK_ImpulseFile::readFromStream (juce::InputStream& input, SampleReading samples)
{
    const juce::ScopedLock sl (lock);
    return reader.readStream (model, input, samples);
}

bool VOK_ImpulseFile::readFromStream (std::shared_ptr<juce::InputStream> input, SampleReading samples)
{
    const juce::ScopedLock sl (lock);
    return reader.readSharedStream (model, std::move (input), samples);
}

bool VOK_ImpulseFile::saveToFile (const juce::String& path)
{
    const juce::ScopedLock sl (lock);
    juce::String failure;
    const bool saved = ImpulseWriter::saveToFile (model, juce::File::getCurrentWorkingDirectory().getChildFile (path), failure);

    // Why a save failed is the last error, for callers that tell the user.
    reader.setLastError (saved ? juce::String() : failure);
    return saved;
}

bool VOK_ImpulseFile::writeToStream (juce::OutputStream& output)
{
    const juce::ScopedLock sl (lock);
    return ImpulseWriter::write (model, output);
}

//==============================================================================
bool VOK_ImpulseFile::loadFromFile (const juce::String& path, SampleReading samples)
{
    const juce::ScopedLock sl (lock);
    reader.setLastError ({});

    bool loaded = false;

    try
    {
        loaded = juce::File (path).hasFileExtension ("vok") ? readFile (path, samples)
                                                            : createFromAudioFile (path);
    }
    catch (const VokMemoryException&)
    {
        // The object must not look loaded after the pool was lost on the way out.
        model.formatState = loadFailed;
        throw;
    }

    return finishLoading (loaded, path);
}

bool VOK_ImpulseFile::loadFromStream (juce::InputStream& input, const juce::String& path, SampleReading samples)
{
    const juce::ScopedLock sl (lock);
    reader.setLastError ({});

    return finishLoading (readFromStream (input, samples), path);
}

bool VOK_ImpulseFile::loadFromStream (std::shared_ptr<juce::InputStream> input, const juce::String& path, SampleReading samples)
{
    const juce::ScopedLock sl (lock);
    reader.setLastError ({});

    return finishLoading (readFromStream (std::move (input), samples), path);
}

bool VOK_ImpulseFile::finishLoading (bool loaded, const juce::String& path)
{
    if (loaded)
        HeaderAttributes::setString (model.getHeader(), "filename", path);
    else
        model.formatState = loadFailed;

    return loaded;
}

//==============================================================================
juce::StringArray VOK_ImpulseFile::getPresetNames() const
{
    const juce::ScopedLock sl (lock);
    return model.getPresetNames();
}

juce::String VOK_ImpulseFile::getPresetData (const juce::String& presetName) const
{
    const juce::ScopedLock sl (lock);
    return model.getPresetData (presetName);
}

void VOK_ImpulseFile::addPreset (const juce::String& presetName, const juce::String& presetData)
{
    const juce::ScopedLock sl (lock);
    model.addPreset (presetName, presetData);
}

juce::OwnedArray<juce::XmlElement> VOK_ImpulseFile::getPresetElements() const
{
    const juce::ScopedLock sl (lock);
    return model.getPresetElements();
}

void VOK_ImpulseFile::addPresetElements (const juce::OwnedArray<juce::XmlElement>& presets)
{
    const juce::ScopedLock sl (lock);
    model.addPresetElements (presets);
}

juce::String VOK_ImpulseFile::getPresetName (const juce::XmlElement& preset)
{
    return ImpulseModel::getPresetName (preset);
}

int VOK_ImpulseFile::comparePresetElements (const juce::XmlElement* first, const juce::XmlElement* second)
{
    return ImpulseModel::comparePresetElements (first, second);
}

juce::XmlElement* VOK_ImpulseFile::getOrCreateChildElement (juce::XmlElement& parent, const juce::String& tagName)
{
    return ImpulseModel::getOrCreateChildElement (parent, tagName);
}
