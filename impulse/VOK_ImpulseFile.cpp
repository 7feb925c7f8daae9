#include "VOK_ImpulseFile.h"

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

    const auto value = header->getStringAttribute (attributeName);

    if (value == "true")   return true;
    if (value == "false")  return false;

    return defaultValue;
}

//==============================================================================
bool VOK_ImpulseFile::readFile (const juce::String&)
{
    const juce::ScopedLock sl (lock);
    return false;
}

bool VOK_ImpulseFile::saveToFile (const juce::String&)
{
    const juce::ScopedLock sl (lock);
    return false;
}

std::unique_ptr<juce::MemoryBlock> VOK_ImpulseFile::readBlock (juce::InputStream&)
{
    return nullptr;
}

juce::String VOK_ImpulseFile::getBlockTag (const juce::MemoryBlock&)
{
    return {};
}

bool VOK_ImpulseFile::readAudioBlock (VOK_VokSampleBuffer&, const juce::MemoryBlock&, bool)
{
    return false;
}

juce::String VOK_ImpulseFile::readPictureBlock (const juce::MemoryBlock&)
{
    return {};
}

bool VOK_ImpulseFile::writeBlock (juce::OutputStream&, const juce::MemoryBlock&)
{
    return false;
}

std::unique_ptr<juce::MemoryBlock> VOK_ImpulseFile::createPictureBlock (const juce::String&)
{
    return nullptr;
}

std::unique_ptr<juce::MemoryBlock> VOK_ImpulseFile::createAudioBlock (const float*, int, int, bool)
{
    return nullptr;
}
