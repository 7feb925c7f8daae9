#include "InstallTestFiles.h"
#include "TemporaryFolder.h"

#include <safeio/FolderLock.h>
#include <impulse/VOK_ImpulseFile.h>
#include <impulse/NewImpulseHeader.h>

#include <gtest/gtest.h>

#if JUCE_LINUX
 #include <fcntl.h>
 #include <linux/fs.h>
 #include <sys/ioctl.h>
 #include <unistd.h>
#endif

#include <cmath>

namespace InstallTestFiles
{

juce::MemoryBlock makeImpulseFileBytes (int numChannels, int numSamples, const PresetList& presets,
                                        const juce::String& pictureText)
{
    VOK_ImpulseFile impulse;
    impulse.setHeader (NewImpulseHeader::create (numChannels, numSamples, 44100.0, "room.wav"));

    auto pool = std::make_unique<VOK_VokSampleBuffer> (numChannels, numSamples, 44100.0);

    for (int channel = 0; channel < numChannels; ++channel)
        for (int i = 0; i < numSamples; ++i)
            pool->setSample (channel, i, std::exp (-0.001f * (float) i) * std::sin (0.05f * (float) (i + 7 * channel)));

    impulse.setSamplePool (std::move (pool));
    impulse.setPictureText (pictureText);
    impulse.setFormatState (VOK_ImpulseFile::builtFromAudio);

    // Each one kept as it is, so that a fixture may hold names that differ only in case, or equal ones.
    juce::OwnedArray<juce::XmlElement> elements;

    for (auto& preset : presets)
    {
        auto* element = elements.add (new juce::XmlElement ("Preset"));
        element->setAttribute ("preset_name", preset.first);
        element->setAttribute ("preset_data", preset.second);
    }

    impulse.addPresetElements (elements);

    const auto folder = createTemporaryFolder ("install-fixture");
    const auto file = folder.getChildFile ("fixture.vok");
    EXPECT_TRUE (impulse.saveToFile (file.getFullPathName())) << "the writer could not make a fixture";

    auto bytes = readBytes (file);
    folder.deleteRecursively();
    return bytes;
}

juce::String makeIncompressibleText (int numBytes, juce::int64 seed)
{
    juce::Random random (seed);
    juce::MemoryBlock noise ((size_t) (numBytes * 3 / 4 + 1));

    for (size_t i = 0; i < noise.getSize(); ++i)
        noise[i] = (char) random.nextInt (256);

    return noise.toBase64Encoding();
}

PresetList readPresets (const juce::File& file)
{
    VOK_ImpulseFile impulse;
    PresetList presets;

    if (! impulse.loadFromFile (file.getFullPathName()))
    {
        ADD_FAILURE() << "can't read " << file.getFullPathName();
        return presets;
    }

    // Element by element: a lookup by name would give two presets of one name the same data.
    for (auto* preset : impulse.getPresetElements())
        presets.emplace_back (VOK_ImpulseFile::getPresetName (*preset), preset->getStringAttribute ("preset_data"));

    return presets;
}

juce::MemoryBlock readBytes (const juce::File& file)
{
    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    return bytes;
}

void writeBytes (const juce::File& file, const juce::MemoryBlock& bytes)
{
    file.deleteFile();
    file.getParentDirectory().createDirectory();
    ASSERT_TRUE (file.replaceWithData (bytes.getData(), bytes.getSize())) << file.getFullPathName();
}

juce::StringArray namesIn (const juce::File& folder)
{
    juce::StringArray names;

    for (auto& f : folder.findChildFiles (juce::File::findFilesAndDirectories, false))
        if (f.getFileName() != FolderLock::lockFileName)
            names.add (f.getFileName());

    names.sort (false);
    return names;
}

juce::File createTemporaryFolder (const juce::String& prefix)
{
    return TemporaryFolder::createUniqueFolder (prefix);
}

bool setImmutable (const juce::File& file, bool immutable)
{
   #if ! JUCE_LINUX
    // The immutable flag is Linux's; elsewhere the callers skip the cases that need it.
    juce::ignoreUnused (file, immutable);
    return false;
   #else
    const int fd = ::open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_NONBLOCK);

    if (fd < 0)
        return false;

    int flags = 0;
    bool done = ::ioctl (fd, FS_IOC_GETFLAGS, &flags) == 0;

    if (done)
    {
        flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl (fd, FS_IOC_SETFLAGS, &flags) == 0;
    }

    ::close (fd);
    return done;
   #endif
}

} // namespace InstallTestFiles
