#include "ImpulseFileBytes.h"
#include "TemporaryFolder.h"

#include <impulse/PackedHeader.h>
#include <impulse/VOK_ImpulseFile.h>

#include <gtest/gtest.h>

#if ! JUCE_WINDOWS
 #include <csignal>
 #include <sys/resource.h>
#endif

using namespace ImpulseFileBytes;

namespace
{
    const std::vector<float> left { 0.5f, -0.25f, 1.0f };
    const std::vector<float> right { 0.0f, 2.0f, -3.0f };

    class ImpulseWrite : public ::testing::Test
    {
    protected:
        TemporaryFolder folder;

        /** A 2-channel file with a picture, presets and things this program does not know. */
        juce::File writeSource (const juce::String& version, const juce::String& crypted, bool packed)
        {
            auto header = headerElement (version, 2, 3, crypted);
            header->setAttribute ("FutureSetting", "kept");
            header->createNewChildElement ("FutureChild")->setAttribute ("x", "1");
            auto* preset = header->getChildByName ("presets")->createNewChildElement ("Preset");
            preset->setAttribute ("preset_name", "Hall");
            preset->setAttribute ("preset_data", "<state a=\"1\"/>");

            const bool scrambled = crypted == "true";
            Builder bytes;
            bytes.header (packed ? packedDocument (*header) : documentText (*header));

            if (version == "2.1")
                bytes.block (audioPayload (1, right, scrambled)).block (Builder().string ("OTHER").string ("x").bytes())
                     .block (picturePayload ("3.gI1X")).block (audioPayload (0, left, scrambled));
            else
                bytes.raw (audioRecord (1, right, scrambled)).raw (audioRecord (0, left, scrambled));

            return folder.write ("source.vok", bytes.bytes());
        }

        static juce::MemoryBlock load (const juce::File& file)
        {
            juce::MemoryBlock data;
            file.loadFileAsData (data);
            return data;
        }

        static juce::String expectedHeaderText (const juce::MemoryBlock& file, size_t& headerSize)
        {
            auto* zero = static_cast<const char*> (std::memchr (file.getData(), 0, file.getSize()));
            headerSize = zero == nullptr ? file.getSize() : (size_t) (zero - static_cast<const char*> (file.getData())) + 1;
            return juce::String::fromUTF8 (static_cast<const char*> (file.getData()), (int) headerSize - 1);
        }
    };
}

TEST_F (ImpulseWrite, ReadSaveReadKeepsHeaderSamplesAndPicture)
{
    const auto source = writeSource ("2.1", {}, true);
    VOK_ImpulseFile original;
    ASSERT_TRUE (original.readFile (source.getFullPathName())) << original.getReadLog();

    const auto copyFile = folder.getFile ("copy.vok");
    ASSERT_TRUE (original.saveToFile (copyFile.getFullPathName()));

    VOK_ImpulseFile copy;
    ASSERT_TRUE (copy.readFile (copyFile.getFullPathName())) << copy.getReadLog();
    EXPECT_TRUE (copy.getHeader().isEquivalentTo (&original.getHeader(), false));
    EXPECT_EQ (copy.getHeader().getStringAttribute ("FutureSetting"), "kept");
    EXPECT_EQ (copy.getPictureText(), "3.gI1X");

    for (int c = 0; c < 2; ++c)
        EXPECT_EQ (std::memcmp (copy.getSamplePool()->getReadPointer (c), original.getSamplePool()->getReadPointer (c), 12), 0);
}

TEST_F (ImpulseWrite, SavedBytesAreHeaderThenPictureThenChannelsAscending)
{
    for (const juce::String crypted : { "", "true" })
    {
        SCOPED_TRACE (crypted);
        const bool scrambled = crypted == "true";
        VOK_ImpulseFile impulse;
        impulse.readFile (writeSource ("2.1", crypted, false).getFullPathName());

        const auto target = folder.getFile ("saved.vok");
        ASSERT_TRUE (impulse.saveToFile (target.getFullPathName()));

        const auto bytes = load (target);
        size_t headerSize = 0;
        const auto headerText = expectedHeaderText (bytes, headerSize);

        const juce::String declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<VokImpulseFile version=\"2.1\" cfh_data=\"abe6f4214";
        EXPECT_TRUE (headerText.startsWith (declaration)) << headerText.substring (0, 120);
        EXPECT_TRUE (headerText.endsWith ("\"/>\r\n"));
        EXPECT_EQ (headerText.fromFirstOccurrenceOf ("cfh_data=\"", false, false).upToFirstOccurrenceOf ("\"", false, false),
                   impulse.getPackedHeaderRoot().getStringAttribute ("cfh_data"));

        const auto expectedRecords = Builder().block (picturePayload ("3.gI1X"))
                                              .block (audioPayload (0, left, scrambled))
                                              .block (audioPayload (1, right, scrambled)).bytes();
        ASSERT_EQ (bytes.getSize(), headerSize + expectedRecords.getSize());
        EXPECT_EQ (std::memcmp (static_cast<const char*> (bytes.getData()) + headerSize, expectedRecords.getData(),
                                expectedRecords.getSize()), 0);

        // The inner document is the header element, version 2.1, declaration LF LF, element, CR LF.
        const auto inner = PackedHeader::unpackHeader (impulse.getPackedHeaderRoot().getStringAttribute ("cfh_data"));
        EXPECT_TRUE (inner.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<VokImpulseFile "));
        EXPECT_TRUE (inner.endsWith (">\r\n"));
        EXPECT_EQ (inner, PackedHeader::createDocumentText (impulse.getHeader()));
        EXPECT_EQ (impulse.getHeader().getStringAttribute ("version"), "2.1");
    }
}

TEST_F (ImpulseWrite, Version20FileIsSavedAs21WithAPackedHeader)
{
    VOK_ImpulseFile impulse;
    ASSERT_TRUE (impulse.readFile (writeSource ("2.0", "true", false).getFullPathName())) << impulse.getReadLog();

    const auto target = folder.getFile ("upgraded.vok");
    ASSERT_TRUE (impulse.saveToFile (target.getFullPathName()));

    VOK_ImpulseFile upgraded;
    ASSERT_TRUE (upgraded.readFile (target.getFullPathName())) << upgraded.getReadLog();
    EXPECT_TRUE (upgraded.getReadLog().startsWith ("Read HeaderVersion > 2.0\n"));
    EXPECT_EQ (upgraded.getHeader().getStringAttribute ("version"), "2.1");
    EXPECT_EQ (upgraded.getBoolAttribute ("crypted", false), true);
    EXPECT_EQ (std::vector<float> (upgraded.getSamplePool()->getReadPointer (1), upgraded.getSamplePool()->getReadPointer (1) + 3), right);

    size_t headerSize = 0;
    EXPECT_TRUE (expectedHeaderText (load (target), headerSize).contains ("cfh_data=\"abe6f4214"));
}

TEST_F (ImpulseWrite, FreshObjectWritesTheDefaultHeaderOnly)
{
    VOK_ImpulseFile impulse;
    const auto target = folder.getFile ("fresh.vok");
    ASSERT_TRUE (impulse.saveToFile (target.getFullPathName()));

    const auto bytes = load (target);
    size_t headerSize = 0;
    const auto headerText = expectedHeaderText (bytes, headerSize);
    EXPECT_EQ (headerSize, bytes.getSize());
    EXPECT_EQ (PackedHeader::unpackHeader (impulse.getPackedHeaderRoot().getStringAttribute ("cfh_data")),
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<VokImpulseFile version=\"2.1\"/>\r\n");
}

TEST_F (ImpulseWrite, SavingOverAFileLeavesNoSiblingAndSavingOverReadOnlyFailsUntouched)
{
    VOK_ImpulseFile impulse;
    ASSERT_TRUE (impulse.readFile (writeSource ("2.1", {}, true).getFullPathName()));

    const auto target = folder.write ("target.vok", juce::MemoryBlock ("old", 3));
    ASSERT_TRUE (impulse.saveToFile (target.getFullPathName()));
    EXPECT_GT (target.getSize(), 100);
    EXPECT_EQ (folder.getFolder().getNumberOfChildFiles (juce::File::findFiles), 2);

    // A sibling left by another writer (killed, or still at work) is never taken over.
    const auto otherWriters = folder.write ("target.vok.saving", juce::MemoryBlock ("half", 4));
    ASSERT_TRUE (impulse.saveToFile (target.getFullPathName()));
    EXPECT_EQ (load (otherWriters), juce::MemoryBlock ("half", 4));
    EXPECT_EQ (folder.getFolder().getNumberOfChildFiles (juce::File::findFiles), 3);
    otherWriters.deleteFile();

    const auto readOnly = folder.write ("locked.vok", juce::MemoryBlock ("old", 3));
    ASSERT_TRUE (readOnly.setReadOnly (true));
    EXPECT_FALSE (impulse.saveToFile (readOnly.getFullPathName()));
    EXPECT_EQ (load (readOnly), juce::MemoryBlock ("old", 3));
    EXPECT_EQ (folder.getFolder().getNumberOfChildFiles (juce::File::findFiles), 3);

    EXPECT_FALSE (impulse.saveToFile (folder.getFile ("no such folder").getChildFile ("x.vok").getFullPathName()));
    EXPECT_FALSE (impulse.saveToFile (folder.getFolder().getFullPathName()));
    EXPECT_EQ (folder.getFolder().getNumberOfChildFiles (juce::File::findFiles), 3);
}

// A full disk is simulated with a POSIX file size limit, which Windows lacks.
#if ! JUCE_WINDOWS
TEST_F (ImpulseWrite, WriteErrorsAfterOpeningFailTheSaveAndKeepTheOldFile)
{
    VOK_ImpulseFile impulse;
    ASSERT_TRUE (impulse.readFile (writeSource ("2.1", {}, true).getFullPathName()));
    impulse.getSamplePool()->growTo (2, 100000);

    const auto target = folder.write ("target.vok", juce::MemoryBlock ("old", 3));

    // Let the file system refuse to grow any file past 4 KB, as a full disk would.
    rlimit previous {};
    ASSERT_EQ (getrlimit (RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal (SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 4096;
    ASSERT_EQ (setrlimit (RLIMIT_FSIZE, &small), 0);

    const bool saved = impulse.saveToFile (target.getFullPathName());

    setrlimit (RLIMIT_FSIZE, &previous);
    std::signal (SIGXFSZ, previousHandler);

    EXPECT_FALSE (saved);
    EXPECT_EQ (load (target), juce::MemoryBlock ("old", 3));
    EXPECT_EQ (folder.getFolder().getNumberOfChildFiles (juce::File::findFiles), 2);
}
#endif

TEST_F (ImpulseWrite, SavingChangesOnlyTheVersionAndThePackedRoot)
{
    VOK_ImpulseFile impulse;
    ASSERT_TRUE (impulse.readFile (writeSource ("2.0", {}, false).getFullPathName()));
    const auto pictureBefore = impulse.getPictureText();
    auto* poolBefore = impulse.getSamplePool();

    ASSERT_TRUE (impulse.saveToFile (folder.getFile ("a.vok").getFullPathName()));
    EXPECT_EQ (impulse.getFormatState(), VOK_ImpulseFile::readFromFile);
    EXPECT_EQ (impulse.getSamplePool(), poolBefore);
    EXPECT_EQ (impulse.getPictureText(), pictureBefore);
    EXPECT_EQ (impulse.getPackedHeaderRoot().getStringAttribute ("version"), "2.1");
    EXPECT_TRUE (impulse.getPackedHeaderRoot().getStringAttribute ("cfh_data").startsWith ("abe6f4214"));
}

// A new object given a header and a pool is saved with its samples, whether or not it was ever read.
TEST_F (ImpulseWrite, NewObjectWithHeaderAndPoolIsSavedWithItsSamples)
{
    VOK_ImpulseFile impulse;
    impulse.setHeader (headerElement ("2.1", 2, 3, "true"));
    auto pool = std::make_unique<VOK_VokSampleBuffer> (2, 3, 44100.0);
    pool->copyFrom (0, 0, left.data(), 3);
    pool->copyFrom (1, 0, right.data(), 3);
    impulse.setSamplePool (std::move (pool));
    impulse.setPictureText ("1.A");
    ASSERT_EQ (impulse.getFormatState(), VOK_ImpulseFile::notLoaded);

    const auto target = folder.getFile ("new.vok");
    ASSERT_TRUE (impulse.saveToFile (target.getFullPathName()));

    VOK_ImpulseFile readBack;
    ASSERT_TRUE (readBack.readFile (target.getFullPathName())) << readBack.getReadLog();
    EXPECT_EQ (readBack.getPictureText(), "1.A");
    ASSERT_EQ (readBack.getSamplePool()->getNumChannels(), 2);
    EXPECT_EQ (std::vector<float> (readBack.getSamplePool()->getReadPointer (0), readBack.getSamplePool()->getReadPointer (0) + 3), left);
    EXPECT_EQ (std::vector<float> (readBack.getSamplePool()->getReadPointer (1), readBack.getSamplePool()->getReadPointer (1) + 3), right);
}
