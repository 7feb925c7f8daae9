#include "AudioTestFiles.h"
#include "DecimalCommaLocale.h"
#include "TemporaryFolder.h"
#include <impulse/VOK_ImpulseFile.h>
#include <impulse/NewImpulseHeader.h>

#include <gtest/gtest.h>

namespace
{
    juce::StringArray getAttributeNames (const juce::XmlElement& element)
    {
        juce::StringArray names;

        for (int i = 0; i < element.getNumAttributes(); ++i)
            names.add (element.getAttributeName (i));

        return names;
    }

    juce::File writeWav (const TemporaryFolder& folder, const juce::String& name,
                         const juce::AudioBuffer<float>& signal, double sampleRate, int bitsPerSample)
    {
        const auto file = folder.getFile (name);
        juce::WavAudioFormat wav;
        EXPECT_TRUE (AudioTestFiles::writeAudioFile (file, wav, signal, sampleRate, bitsPerSample));
        return file;
    }

    // A marker in the header shows whether a failed build left the old header alone.
    void giveMarkedHeader (VOK_ImpulseFile& impulse)
    {
        auto header = std::make_unique<juce::XmlElement> ("VokImpulseFile");
        header->setAttribute ("version", "2.1");
        header->setAttribute ("marker", "old header");
        impulse.setHeader (std::move (header));
    }

    // An RF64 WAV header that claims 2^40 bytes of 32-channel float audio, followed by almost nothing.
    juce::MemoryBlock createHugeClaimRf64Wav()
    {
        juce::MemoryOutputStream out;
        const juce::int64 claimedDataBytes = (juce::int64) 1 << 40;

        out.write ("RF64", 4);  out.writeInt (-1);  out.write ("WAVE", 4);
        out.write ("ds64", 4);  out.writeInt (28);
        out.writeInt64 (claimedDataBytes + 100);  out.writeInt64 (claimedDataBytes);  out.writeInt64 (0);  out.writeInt (0);
        out.write ("fmt ", 4);  out.writeInt (16);
        out.writeShort (3);                 // IEEE float
        out.writeShort (32);                // channels
        out.writeInt (48000);
        out.writeInt (48000 * 32 * 4);
        out.writeShort (32 * 4);
        out.writeShort (32);
        out.write ("data", 4);  out.writeInt (-1);
        out.writeRepeatedByte (0, 256);
        return out.getMemoryBlock();
    }
}

//==============================================================================
TEST (ImpulseFromAudio, StereoWavGivesPoolAndHeader)
{
    TemporaryFolder folder;
    const auto signal = AudioTestFiles::createSignal (2, 1000, 48000.0);
    const auto file = writeWav (folder, "stereo.wav", signal, 48000.0, 32);

    VOK_ImpulseFile impulse;
    ASSERT_TRUE (impulse.createFromAudioFile (file.getFullPathName()));

    EXPECT_EQ (impulse.getFormatState(), VOK_ImpulseFile::builtFromAudio);
    EXPECT_EQ (impulse.getLastError(), "");

    const auto* pool = impulse.getSamplePool();
    ASSERT_NE (pool, nullptr);
    EXPECT_EQ (pool->sampleRate, 48000.0);
    EXPECT_TRUE (AudioTestFiles::haveSameSamples (*pool, signal));

    const auto& header = impulse.getHeader();
    EXPECT_EQ (header.getTagName(), "VokImpulseFile");
    EXPECT_EQ (getAttributeNames (header), juce::StringArray ("version", "samplerate", "ChannelConf"));
    EXPECT_EQ (header.getStringAttribute ("version"), "2.1");
    EXPECT_EQ (header.getStringAttribute ("samplerate"), "48000");
    EXPECT_EQ (header.getStringAttribute ("ChannelConf"), "2");
    ASSERT_EQ (header.getNumChildElements(), 1);

    const auto* poolElement = header.getChildByName ("IRSamplePool");
    ASSERT_NE (poolElement, nullptr);
    EXPECT_EQ (getAttributeNames (*poolElement), juce::StringArray ("number"));
    EXPECT_EQ (poolElement->getStringAttribute ("number"), "2");
    ASSERT_EQ (poolElement->getNumChildElements(), 2);

    for (int channel = 0; channel < 2; ++channel)
    {
        const auto* channelElement = poolElement->getChildElement (channel);
        EXPECT_EQ (channelElement->getTagName(), "AudioSampleData");
        EXPECT_EQ (getAttributeNames (*channelElement),
                   juce::StringArray ("channel", "NumSamples", "Description", "OriginalFile"));
        EXPECT_EQ (channelElement->getStringAttribute ("channel"), juce::String (channel));
        EXPECT_EQ (channelElement->getStringAttribute ("NumSamples"), "1000");
        EXPECT_EQ (channelElement->getStringAttribute ("Description"), "-");
        EXPECT_EQ (channelElement->getStringAttribute ("OriginalFile"), file.getFullPathName());
    }
}

// Each of a file's channels becomes a pool channel of its own, whatever their number; the
// header says how many, and ChannelConf is 2 as for every new impulse.
TEST (ImpulseFromAudio, EachChannelComesFromItsOwnChannel)
{
    struct Case { const char* fileName; int numChannels, numFrames; double sampleRate; int bits; const char* sampleRateText; };
    const Case cases[] = {
        { "mono.wav", 1, 500, 44100.0, 16, "44100" },
        { "quad.wav", 4, 800, 48000.0, 32, "48000" },
    };

    for (auto& c : cases)
    {
        TemporaryFolder folder;
        const auto signal = AudioTestFiles::createSignal (c.numChannels, c.numFrames, c.sampleRate);
        const auto file = writeWav (folder, c.fileName, signal, c.sampleRate, c.bits);

        VOK_ImpulseFile impulse;
        ASSERT_TRUE (impulse.createFromAudioFile (file.getFullPathName())) << c.fileName;

        const auto* pool = impulse.getSamplePool();
        ASSERT_NE (pool, nullptr);
        EXPECT_EQ (pool->getNumChannels(), c.numChannels) << c.fileName;
        EXPECT_EQ (pool->getNumSamples(), c.numFrames) << c.fileName;

        // The signal's channels differ, so a copy of one channel into another would show here.
        EXPECT_TRUE (AudioTestFiles::haveSameSamples (*pool, *AudioTestFiles::readWithJuce (file))) << c.fileName;

        const auto& header = impulse.getHeader();
        const auto* poolElement = header.getChildByName ("IRSamplePool");
        EXPECT_EQ (header.getStringAttribute ("samplerate"), c.sampleRateText) << c.fileName;
        EXPECT_EQ (header.getStringAttribute ("ChannelConf"), "2") << c.fileName;
        EXPECT_EQ (poolElement->getStringAttribute ("number"), juce::String (c.numChannels)) << c.fileName;
        ASSERT_EQ (poolElement->getNumChildElements(), c.numChannels) << c.fileName;
        EXPECT_EQ (poolElement->getChildElement (c.numChannels - 1)->getStringAttribute ("channel"),
                   juce::String (c.numChannels - 1)) << c.fileName;
    }
}

TEST (ImpulseFromAudio, MoreChannelsThanThePoolHoldsAreRefused)
{
    TemporaryFolder folder;
    const auto signal = AudioTestFiles::createSignal (VOK_VokSampleBuffer::maxChannels + 1, 100, 48000.0);
    const auto file = writeWav (folder, "many.wav", signal, 48000.0, 16);

    VOK_ImpulseFile impulse;
    EXPECT_FALSE (impulse.createFromAudioFile (file.getFullPathName()));
    EXPECT_EQ (impulse.getSamplePool(), nullptr);
    EXPECT_EQ (impulse.getLastError(), "Audio file with 33 channels: an impulse has 1 to 32");
}

//==============================================================================
namespace
{
    struct LosslessCase
    {
        const char* fileName;
        int bitsPerSample;
        float tolerance;       // against the signal before quantisation
    };

    std::unique_ptr<juce::AudioFormat> createFormatFor (const juce::String& fileName)
    {
        if (fileName.endsWith (".aiff"))  return std::make_unique<juce::AiffAudioFormat>();
        if (fileName.endsWith (".flac"))  return std::make_unique<juce::FlacAudioFormat>();
        return std::make_unique<juce::WavAudioFormat>();
    }

    void PrintTo (const LosslessCase& c, std::ostream* os)   { *os << c.fileName; }

    class LosslessFormatTest  : public ::testing::TestWithParam<LosslessCase> {};
}

TEST_P (LosslessFormatTest, PoolHoldsTheFilesSamplesAndSurvivesSaving)
{
    const auto& c = GetParam();
    TemporaryFolder folder;
    const auto signal = AudioTestFiles::createSignal (2, 1000, 48000.0);
    const auto file = folder.getFile (c.fileName);

    auto format = createFormatFor (c.fileName);
    ASSERT_TRUE (AudioTestFiles::writeAudioFile (file, *format, signal, 48000.0, c.bitsPerSample));

    VOK_ImpulseFile impulse;
    ASSERT_TRUE (impulse.createFromAudioFile (file.getFullPathName()));

    const auto reference = AudioTestFiles::readWithJuce (file);
    ASSERT_NE (reference, nullptr);
    EXPECT_TRUE (AudioTestFiles::haveSameSamples (*impulse.getSamplePool(), *reference));

    for (int channel = 0; channel < 2; ++channel)
        for (int i = 0; i < 1000; ++i)
            ASSERT_NEAR (impulse.getSamplePool()->getSample (channel, i), signal.getSample (channel, i), c.tolerance);

    // Saved as an impulse and read back, every sample keeps its bits.
    const auto vokFile = folder.getFile ("impulse.vok");
    ASSERT_TRUE (impulse.saveToFile (vokFile.getFullPathName()));

    VOK_ImpulseFile readBack;
    ASSERT_TRUE (readBack.readFile (vokFile.getFullPathName())) << readBack.getReadLog();
    EXPECT_TRUE (AudioTestFiles::haveSameSamples (*readBack.getSamplePool(), *reference));
    EXPECT_EQ (readBack.getHeader().getStringAttribute ("samplerate"), "48000");
}

INSTANTIATE_TEST_SUITE_P (Formats, LosslessFormatTest,
                          ::testing::Values (LosslessCase { "float.wav",  32, 0.0f },
                                             LosslessCase { "pcm16.wav",  16, 1.0f / 32000.0f },
                                             LosslessCase { "pcm24.aiff", 24, 1.0f / 8000000.0f },
                                             LosslessCase { "pcm24.flac", 24, 1.0f / 8000000.0f },
                                             LosslessCase { "pcm16.flac", 16, 1.0f / 32000.0f }),
                          [] (const auto& info) { return juce::String (info.param.fileName).replaceCharacter ('.', '_').toStdString(); });

TEST (ImpulseFromAudio, OggVorbisKeepsShapeAndEnergy)
{
    TemporaryFolder folder;
    const auto numFrames = 48000;
    const auto signal = AudioTestFiles::createSignal (2, numFrames, 48000.0);
    const auto file = folder.getFile ("lossy.ogg");

    juce::OggVorbisAudioFormat ogg;
    ASSERT_TRUE (AudioTestFiles::writeAudioFile (file, ogg, signal, 48000.0, 16));

    VOK_ImpulseFile impulse;
    ASSERT_TRUE (impulse.createFromAudioFile (file.getFullPathName()));

    const auto* pool = impulse.getSamplePool();
    ASSERT_NE (pool, nullptr);
    ASSERT_EQ (pool->getNumChannels(), 2);
    ASSERT_NEAR (pool->getNumSamples(), numFrames, 2048);
    EXPECT_EQ (impulse.getHeader().getStringAttribute ("samplerate"), "48000");

    const auto length = juce::jmin (pool->getNumSamples(), numFrames);

    for (int channel = 0; channel < 2; ++channel)
    {
        double energyIn = 0, energyOut = 0, product = 0;

        for (int i = 0; i < length; ++i)
        {
            const double in = signal.getSample (channel, i), out = pool->getSample (channel, i);
            energyIn += in * in;
            energyOut += out * out;
            product += in * out;
        }

        EXPECT_NEAR (energyOut / energyIn, 1.0, 0.2) << "channel " << channel;
        EXPECT_GT (product / std::sqrt (energyIn * energyOut), 0.95) << "channel " << channel;
    }
}

//==============================================================================
TEST (ImpulseFromAudio, UnknownFormatFailsWithEmptyLastError)
{
    TemporaryFolder folder;
    const auto file = folder.getFile ("notes.xyz");
    ASSERT_TRUE (file.replaceWithText ("this is no audio file at all, just some words\n"));

    VOK_ImpulseFile impulse;
    impulse.setSamplePool (std::make_unique<VOK_VokSampleBuffer> (1, 10, 44100.0));
    giveMarkedHeader (impulse);

    EXPECT_FALSE (impulse.createFromAudioFile (file.getFullPathName()));
    EXPECT_EQ (impulse.getLastError(), "");
    EXPECT_EQ (impulse.getSamplePool(), nullptr);
    EXPECT_EQ (impulse.getHeader().getStringAttribute ("marker"), "old header");
    EXPECT_EQ (impulse.getFormatState(), VOK_ImpulseFile::notLoaded);
}

TEST (ImpulseFromAudio, MissingFileNamesItsFullPathAndChangesNothing)
{
    TemporaryFolder folder;
    const auto file = folder.getFile ("missing.wav");

    VOK_ImpulseFile impulse;
    impulse.setSamplePool (std::make_unique<VOK_VokSampleBuffer> (1, 10, 44100.0));
    giveMarkedHeader (impulse);

    EXPECT_FALSE (impulse.createFromAudioFile (file.getFullPathName()));
    EXPECT_EQ (impulse.getLastError(), "File not found: " + file.getFullPathName());
    EXPECT_NE (impulse.getSamplePool(), nullptr);
    EXPECT_EQ (impulse.getHeader().getStringAttribute ("marker"), "old header");
}

TEST (ImpulseFromAudio, AnotherBuildClearsTheLastError)
{
    TemporaryFolder folder;
    const auto file = writeWav (folder, "ok.wav", AudioTestFiles::createSignal (1, 10, 44100.0), 44100.0, 16);

    VOK_ImpulseFile impulse;
    EXPECT_FALSE (impulse.createFromAudioFile (folder.getFile ("missing.wav").getFullPathName()));
    EXPECT_TRUE (impulse.createFromAudioFile (file.getFullPathName()));
    EXPECT_EQ (impulse.getLastError(), "");
}

TEST (ImpulseFromAudio, SuccessReplacesTheWholeHeaderButNotThePicture)
{
    TemporaryFolder folder;
    const auto file = writeWav (folder, "ok.wav", AudioTestFiles::createSignal (2, 10, 44100.0), 44100.0, 16);

    VOK_ImpulseFile impulse;
    giveMarkedHeader (impulse);
    impulse.getHeader().setAttribute ("crypted", "true");
    impulse.addPreset ("Hall", "h");
    impulse.setPictureText ("3.gI1X");

    ASSERT_TRUE (impulse.createFromAudioFile (file.getFullPathName()));
    EXPECT_FALSE (impulse.getHeader().hasAttribute ("marker"));
    EXPECT_FALSE (impulse.getHeader().hasAttribute ("crypted"));
    EXPECT_TRUE (impulse.getPresetNames().isEmpty());
    EXPECT_EQ (impulse.getPictureText(), "3.gI1X");
}

TEST (ImpulseFromAudio, LengthClaimedBeyondMemoryGivesTheFramesTheFileHolds)
{
    TemporaryFolder folder;
    const auto file = folder.getFile ("huge.flac");
    ASSERT_TRUE (AudioTestFiles::writeFlacClaimingHugeLength (file));

    VOK_ImpulseFile impulse;
    impulse.setSamplePool (std::make_unique<VOK_VokSampleBuffer> (1, 10, 44100.0));

    ASSERT_TRUE (impulse.createFromAudioFile (file.getFullPathName())) << impulse.getLastError();
    EXPECT_EQ (impulse.getSamplePool()->getNumChannels(), 8);
    EXPECT_EQ (impulse.getSamplePool()->getNumSamples(), 64);
    EXPECT_EQ (impulse.getHeader().getChildByName ("IRSamplePool")->getChildElement (0)->getStringAttribute ("NumSamples"), "64");
}

TEST (ImpulseFromAudio, SamplesThatAreNotFiniteAreRefusedWithAMessage)
{
    TemporaryFolder folder;
    const float values[] = { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity() };

    for (auto value : values)
    {
        auto signal = AudioTestFiles::createSignal (2, 100, 48000.0);
        signal.setSample (1, 50, value);
        const auto file = writeWav (folder, "odd.wav", signal, 48000.0, 32);

        VOK_ImpulseFile impulse;
        EXPECT_FALSE (impulse.createFromAudioFile (file.getFullPathName())) << value;
        EXPECT_EQ (impulse.getLastError(), "Audio file holds samples that are not finite numbers (NaN or infinity)") << value;
        EXPECT_EQ (impulse.getSamplePool(), nullptr);
    }
}

TEST (ImpulseFromAudio, UncompressedLengthIsLimitedToWhatTheFileHolds)
{
    TemporaryFolder folder;
    const auto signal = AudioTestFiles::createSignal (1, 1000, 44100.0);
    const auto file = writeWav (folder, "cut.wav", signal, 44100.0, 16);

    // Claim 1 GB of data in the plain RIFF header, as a damaged or hostile file would.
    {
        juce::MemoryBlock bytes;
        ASSERT_TRUE (file.loadFileAsData (bytes));
        const auto dataChunk = AudioTestFiles::findBytes (bytes, "data", 4);
        ASSERT_GT (dataChunk, 0);
        const juce::uint32 claimed = juce::ByteOrder::swapIfBigEndian ((juce::uint32) 1 << 30);
        bytes.copyFrom (&claimed, dataChunk + 4, 4);
        ASSERT_TRUE (file.replaceWithData (bytes.getData(), bytes.getSize()));
    }

    VOK_ImpulseFile impulse;
    ASSERT_TRUE (impulse.createFromAudioFile (file.getFullPathName()));

    const auto* pool = impulse.getSamplePool();
    ASSERT_NE (pool, nullptr);
    EXPECT_EQ (pool->getNumSamples(), 1000);

    for (int i = 0; i < 1000; ++i)
        ASSERT_NEAR (pool->getSample (0, i), signal.getSample (0, i), 1.0f / 32000.0f);
}

TEST (ImpulseFromAudio, Rf64ClaimingATerabyteIsLimitedToWhatTheFileHolds)
{
    TemporaryFolder folder;
    const auto file = folder.getFile ("claims.wav");
    const auto bytes = createHugeClaimRf64Wav();
    ASSERT_TRUE (file.replaceWithData (bytes.getData(), bytes.getSize()));

    VOK_ImpulseFile impulse;
    ASSERT_TRUE (impulse.createFromAudioFile (file.getFullPathName()));
    EXPECT_EQ (impulse.getSamplePool()->getNumChannels(), 32);
    EXPECT_LE (impulse.getSamplePool()->getNumSamples(), (int) file.getSize() / (32 * 4));
}

namespace
{
    juce::uint32 oggPageChecksum (const juce::uint8* page, size_t size)
    {
        juce::uint32 crc = 0;

        for (size_t i = 0; i < size; ++i)
        {
            crc ^= (juce::uint32) page[i] << 24;

            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04c11db7u : crc << 1;
        }

        return crc;
    }

    // The last page's granule position is the stream's length in frames: claim more, and
    // give the page a checksum that matches, so that only the claim is wrong.
    void forgeOggLength (juce::MemoryBlock& bytes, juce::int64 claimedFrames)
    {
        auto* data = static_cast<juce::uint8*> (bytes.getData());
        size_t lastPage = 0;

        for (size_t i = 0; i + 4 <= bytes.getSize(); ++i)
            if (std::memcmp (data + i, "OggS", 4) == 0)
                lastPage = i;

        auto* page = data + lastPage;
        size_t pageSize = 27 + page[26];

        for (int segment = 0; segment < page[26]; ++segment)
            pageSize += page[27 + segment];

        const auto granule = juce::ByteOrder::swapIfBigEndian ((juce::uint64) claimedFrames);
        std::memcpy (page + 6, &granule, 8);
        std::memset (page + 22, 0, 4);
        const auto crc = juce::ByteOrder::swapIfBigEndian (oggPageChecksum (page, pageSize));
        std::memcpy (page + 22, &crc, 4);
    }

    // An RF64 file of float samples whose data size claims claimedFrames, holding realFrames.
    juce::MemoryBlock createRf64Wav (const juce::AudioBuffer<float>& signal, juce::int64 claimedFrames)
    {
        const auto channels = signal.getNumChannels();
        const auto claimedBytes = claimedFrames * channels * 4;
        juce::MemoryOutputStream out;

        out.write ("RF64", 4);  out.writeInt (-1);  out.write ("WAVE", 4);
        out.write ("ds64", 4);  out.writeInt (28);
        out.writeInt64 (claimedBytes + 72);  out.writeInt64 (claimedBytes);  out.writeInt64 (claimedFrames);  out.writeInt (0);
        out.write ("fmt ", 4);  out.writeInt (16);
        out.writeShort (3);  out.writeShort ((short) channels);  out.writeInt (48000);
        out.writeInt (48000 * channels * 4);  out.writeShort ((short) (channels * 4));  out.writeShort (32);
        out.write ("data", 4);  out.writeInt (-1);

        for (int i = 0; i < signal.getNumSamples(); ++i)
            for (int c = 0; c < channels; ++c)
                out.writeFloat (signal.getSample (c, i));

        return out.getMemoryBlock();
    }
}

// A header may claim more frames than the file holds; the framework's readers would give
// silence for the rest. Each format's own way of claiming gives the frames really there. An
// Ogg stream's true end is known only from its last page's claim: a forged one gives what the
// data decodes to, which is the true length plus at most one codec block, never the claim.
TEST (ImpulseFromAudio, OverstatedLengthsGiveTheFramesTheFileHolds)
{
    TemporaryFolder folder;
    const auto signal = AudioTestFiles::createSignal (2, 1000, 48000.0);

    struct Case { const char* fileName; juce::MemoryBlock bytes; int minFrames, maxFrames; };
    std::vector<Case> cases;

    {
        juce::AiffAudioFormat aiff;
        const auto file = folder.getFile ("written.aiff");
        ASSERT_TRUE (AudioTestFiles::writeAudioFile (file, aiff, signal, 48000.0, 16));
        juce::MemoryBlock bytes;
        ASSERT_TRUE (file.loadFileAsData (bytes));
        const auto frameCount = AudioTestFiles::findBytes (bytes, "COMM", 4) + 10;
        const auto sound = AudioTestFiles::findBytes (bytes, "SSND", 4) + 4;
        const auto claimedFrames = juce::ByteOrder::swapIfLittleEndian ((juce::uint32) 1110);
        const auto claimedSize = juce::ByteOrder::swapIfLittleEndian ((juce::uint32) (1110 * 4 + 8));
        bytes.copyFrom (&claimedFrames, frameCount, 4);
        bytes.copyFrom (&claimedSize, sound, 4);
        cases.push_back ({ "overstated.aiff", bytes, 1000, 1000 });
    }
    {
        juce::OggVorbisAudioFormat ogg;
        const auto file = folder.getFile ("written.ogg");
        ASSERT_TRUE (AudioTestFiles::writeAudioFile (file, ogg, signal, 48000.0, 16));
        juce::MemoryBlock bytes;
        ASSERT_TRUE (file.loadFileAsData (bytes));
        forgeOggLength (bytes, 5000);
        cases.push_back ({ "forged-last-page.ogg", bytes, 1000, 1000 + 2048 });
        forgeOggLength (bytes, (juce::int64) 1 << 40);
        cases.push_back ({ "last-page-claims-a-terabyte.ogg", bytes, 1000, 1000 + 2048 });
    }
    cases.push_back ({ "overstated-rf64.wav", createRf64Wav (signal, 1100), 1000, 1000 });

    for (const auto& c : cases)
    {
        const auto file = folder.getFile (c.fileName);
        ASSERT_TRUE (file.replaceWithData (c.bytes.getData(), c.bytes.getSize()));

        VOK_ImpulseFile impulse;
        ASSERT_TRUE (impulse.createFromAudioFile (file.getFullPathName())) << c.fileName << ": " << impulse.getLastError();
        EXPECT_GE (impulse.getSamplePool()->getNumSamples(), c.minFrames) << c.fileName;
        EXPECT_LE (impulse.getSamplePool()->getNumSamples(), c.maxFrames) << c.fileName;
    }
}

namespace
{
    // A WAV chunk: its id, the length it claims (little-endian) and its bytes.
    juce::MemoryBlock wavChunk (const char* id, juce::uint32 claimedLength, const juce::MemoryBlock& body = {})
    {
        juce::MemoryOutputStream out;
        out.write (id, 4);  out.writeInt ((int) claimedLength);  out << body;
        return out.getMemoryBlock();
    }

    juce::MemoryBlock joined (std::initializer_list<juce::MemoryBlock> chunks)
    {
        juce::MemoryBlock all;

        for (auto& chunk : chunks)
            all.append (chunk.getData(), chunk.getSize());

        return all;
    }

    // A chunk of either format that holds nothing: its id and a zero length.
    juce::MemoryBlock emptyChunk (const char* id)   { return wavChunk (id, 0); }

    // A WAV file of 200 bytes of 16-bit samples (100 frames of one channel), with the chunks
    // given before and after them.
    juce::MemoryBlock wavWithChunks (const juce::MemoryBlock& before, const juce::MemoryBlock& after = {},
                                     juce::uint16 numChannels = 1)
    {
        juce::MemoryOutputStream out;
        out.write ("RIFF", 4);  out.writeInt (0);  out.write ("WAVE", 4);
        out.write ("fmt ", 4);  out.writeInt (16);
        out.writeShort (1);  out.writeShort ((short) numChannels);  out.writeInt (48000);
        out.writeInt ((int) (96000u * numChannels));  out.writeShort ((short) (2 * numChannels));  out.writeShort (16);
        out << before;
        out.write ("data", 4);  out.writeInt (200);  out.writeRepeatedByte (1, 200);
        out << after;

        auto bytes = out.getMemoryBlock();
        const auto riffLength = juce::ByteOrder::swapIfBigEndian ((juce::uint32) bytes.getSize() - 8);
        bytes.copyFrom (&riffLength, 4, 4);
        return bytes;
    }

    // A WAV file of 100 frames with one more chunk before its samples.
    juce::MemoryBlock wavWithChunk (const char* id, juce::uint32 claimedLength, const juce::MemoryBlock& body)
    {
        return wavWithChunks (wavChunk (id, claimedLength, body));
    }

    // An AIFF file of 100 silent frames followed by the chunk given.
    juce::MemoryBlock aiffWithChunk (const juce::MemoryBlock& trailingChunk, juce::uint16 numChannels = 1)
    {
        juce::MemoryOutputStream out;
        out.write ("FORM", 4);  out.writeIntBigEndian (0);  out.write ("AIFF", 4);
        out.write ("COMM", 4);  out.writeIntBigEndian (18);
        out.writeShortBigEndian ((short) numChannels);  out.writeIntBigEndian (100);  out.writeShortBigEndian (16);
        const juce::uint8 rate48000[] = { 0x40, 0x0e, 0xbb, 0x80, 0, 0, 0, 0, 0, 0 };
        out.write (rate48000, sizeof (rate48000));
        out.write ("SSND", 4);  out.writeIntBigEndian (208);  out.writeIntBigEndian (0);  out.writeIntBigEndian (0);
        out.writeRepeatedByte (0, 200);
        out << trailingChunk;

        auto bytes = out.getMemoryBlock();
        const auto formLength = juce::ByteOrder::swapIfLittleEndian ((juce::uint32) bytes.getSize() - 8);
        bytes.copyFrom (&formLength, 4, 4);
        return bytes;
    }

    // An AIFF file of 100 silent frames followed by a list chunk (markers, or comments) naming
    // numMarkers entries and holding markersHeld of eight bytes.
    juce::MemoryBlock aiffWithMarkers (int numMarkers, int markersHeld, const char* chunkId = "MARK")
    {
        juce::MemoryOutputStream out;
        out.write (chunkId, 4);  out.writeIntBigEndian (2 + 8 * markersHeld);  out.writeShortBigEndian ((short) numMarkers);

        for (int i = 0; i < markersHeld; ++i)
        {
            out.writeShortBigEndian ((short) (i + 1));  out.writeIntBigEndian (i);
            out.writeByte (1);  out.writeByte ('m');
        }

        return aiffWithChunk (out.getMemoryBlock());
    }

    juce::MemoryBlock cuePoints (int count)
    {
        juce::MemoryOutputStream out;
        out.writeInt (count);

        for (int i = 0; i < count; ++i)
        {
            out.writeInt (i);  out.writeInt (i);  out.write ("data", 4);
            out.writeInt (0);  out.writeInt (0);  out.writeInt (i);
        }

        return out.getMemoryBlock();
    }
}

// The framework's readers allocate a metadata chunk at its claimed length and make text
// entries of all it holds: a 150-byte WAV claiming a 1.4 GB cue chunk took over 2 GB, a
// 175-byte AIFF naming 57,856 markers a second and 76 MB.
TEST (ImpulseFromAudio, MetadataIsReadOnlyWithinItsChunkAndTheFile)
{
    TemporaryFolder folder;
    const auto fewCues = cuePoints (3);
    const auto manyCues = cuePoints (50000);

    juce::MemoryBlock manyEmptyChunks;
    for (int i = 0; i < 300; ++i)
        manyEmptyChunks.append ("PAD \0\0\0\0", 8);

    struct Case { const char* name; juce::MemoryBlock bytes; juce::String failure; };
    const Case cases[] = {
        { "three cue points", wavWithChunk ("cue ", (juce::uint32) fewCues.getSize(), fewCues), {} },
        { "cue chunk claiming 1.4 GB", wavWithChunk ("cue ", 0x56457a84u, fewCues),
          "Audio file's \"cue \" chunk claims 1447393924 bytes, more than the file holds" },
        { "unknown chunk claiming 4 GB", wavWithChunk ("junk", 0xfffffff0u, {}),
          "Audio file's \"junk\" chunk claims 4294967280 bytes, more than the file holds" },
        { "50,000 cue points", wavWithChunk ("cue ", (juce::uint32) manyCues.getSize(), manyCues),
          "Audio file's \"cue \" chunk of 1200004 bytes: cue points and markers are read up to 65536 bytes" },
        { "two markers", aiffWithMarkers (2, 2), {} },
        { "57,856 markers named, none held", aiffWithMarkers (57856, 0),
          "Audio file's \"MARK\" chunk of 2 bytes can't hold the 57856 markers it names" },
        { "65,535 comments named, one held", aiffWithMarkers (65535, 1, "COMT"),
          "Audio file's \"COMT\" chunk of 10 bytes can't hold the 65535 comments it names" },
        { "300 empty chunks before the samples", wavWithChunks (manyEmptyChunks),
          "Audio file with more than 256 empty chunks before its samples" },
    };

    for (const auto& c : cases)
    {
        const auto isAiff = std::memcmp (c.bytes.getData(), "FORM", 4) == 0;
        const auto file = folder.getFile (isAiff ? "metadata.aiff" : "metadata.wav");
        ASSERT_TRUE (file.replaceWithData (c.bytes.getData(), c.bytes.getSize()));

        VOK_ImpulseFile impulse;
        const auto built = impulse.createFromAudioFile (file.getFullPathName());
        EXPECT_EQ (built, c.failure.isEmpty()) << c.name;
        EXPECT_EQ (impulse.getLastError(), c.failure) << c.name;

        if (built)
        {
            EXPECT_EQ (impulse.getSamplePool()->getNumSamples(), 100) << c.name;
        }
    }
}

//==============================================================================
// A chunk that holds nothing is as valid as any other, wherever it stands.
TEST (ImpulseFromAudio, EmptyChunksAreReadPast)
{
    TemporaryFolder folder;

    struct Case { const char* name; juce::MemoryBlock bytes; };
    const Case cases[] = {
        { "empty unknown chunk before the samples", wavWithChunks (emptyChunk ("junk")) },
        { "empty LIST before the samples", wavWithChunks (emptyChunk ("LIST")) },
        { "empty unknown chunk after the samples", wavWithChunks ({}, emptyChunk ("junk")) },
        { "empty LIST after the samples", wavWithChunks ({}, emptyChunk ("LIST")) },
        { "empty chunks on both sides", wavWithChunks (emptyChunk ("PAD "), emptyChunk ("PAD ")) },
        { "empty chunks in a row and between others",
          wavWithChunks (joined ({ emptyChunk ("junk"), emptyChunk ("LIST"), wavChunk ("fact", 4, juce::MemoryBlock (4, true)),
                                   emptyChunk ("PAD ") })) },
        { "empty chunk after the samples of an AIFF file", aiffWithChunk (emptyChunk ("junk")) },
    };

    for (const auto& c : cases)
    {
        const auto isAiff = std::memcmp (c.bytes.getData(), "FORM", 4) == 0;
        const auto file = folder.getFile (isAiff ? "empty-chunk.aiff" : "empty-chunk.wav");
        ASSERT_TRUE (file.replaceWithData (c.bytes.getData(), c.bytes.getSize()));

        VOK_ImpulseFile impulse;
        ASSERT_TRUE (impulse.createFromAudioFile (file.getFullPathName())) << c.name << ": " << impulse.getLastError();
        EXPECT_EQ (impulse.getSamplePool()->getNumChannels(), 1) << c.name;
        EXPECT_EQ (impulse.getSamplePool()->getNumSamples(), 100) << c.name;
        EXPECT_EQ (impulse.getSamplePool()->getSample (0, 0), isAiff ? 0.0f : 257.0f / 32768.0f) << c.name;
        EXPECT_EQ (impulse.getSamplePool()->getSample (0, 99), isAiff ? 0.0f : 257.0f / 32768.0f) << c.name;
    }
}

// Both formats store the channel count in 16 bits, which the framework's readers widen as a
// signed number: 65535 channels came out as -1.
TEST (ImpulseFromAudio, ChannelCountsBeyondThePoolAreNamedAsStored)
{
    TemporaryFolder folder;

    struct Case { const char* fileName; juce::MemoryBlock bytes; juce::String failure; };
    const Case cases[] = {
        { "33.wav", wavWithChunks ({}, {}, 33), "Audio file with 33 channels: an impulse has 1 to 32" },
        { "32768.wav", wavWithChunks ({}, {}, 32768), "Audio file with 32768 channels: an impulse has 1 to 32" },
        { "65535.wav", wavWithChunks ({}, {}, 65535), "Audio file with 65535 channels: an impulse has 1 to 32" },
        { "65535.aiff", aiffWithChunk ({}, 65535), "Audio file with 65535 channels: an impulse has 1 to 32" },
    };

    for (const auto& c : cases)
    {
        const auto file = folder.getFile (c.fileName);
        ASSERT_TRUE (file.replaceWithData (c.bytes.getData(), c.bytes.getSize()));

        VOK_ImpulseFile impulse;
        EXPECT_FALSE (impulse.createFromAudioFile (file.getFullPathName())) << c.fileName;
        EXPECT_EQ (impulse.getLastError(), c.failure) << c.fileName;
        EXPECT_EQ (impulse.getSamplePool(), nullptr) << c.fileName;
    }
}

TEST (NewImpulseHeader, FractionalSampleRateKeepsItsFraction)
{
    VOK_VokSampleBuffer pool (2, 16, 44100.5);
    const auto header = NewImpulseHeader::create (pool, "/some/where/in.aiff");

    EXPECT_EQ (header->getStringAttribute ("samplerate"), "44100.5");
    EXPECT_EQ (header->getChildByName ("IRSamplePool")->getChildElement (1)->getStringAttribute ("NumSamples"), "16");
    EXPECT_EQ (header->getChildByName ("IRSamplePool")->getChildElement (1)->getStringAttribute ("OriginalFile"), "/some/where/in.aiff");
}

TEST (NewImpulseHeader, SampleRateIsWrittenAsPercentPointNineG)
{
    const std::pair<double, const char*> cases[] =
    {
        { 44100.0, "44100" }, { 44100.5, "44100.5" }, { 48000.0, "48000" }, { 96000.0, "96000" },
        { 22050.25, "22050.25" }, { 0.0, "0" }, { 1234567891.0, "1.23456789e+09" }, { 8000.123456789, "8000.12346" },
    };

    for (auto& [rate, expected] : cases)
    {
        char viaPrintf[64];
        std::snprintf (viaPrintf, sizeof (viaPrintf), "%.9g", rate);

        EXPECT_EQ (NewImpulseHeader::formatSampleRate (rate), expected);
        EXPECT_EQ (NewImpulseHeader::formatSampleRate (rate), viaPrintf);
    }
}

// Under a decimal comma, a C formatting call would write "44100,5", which no reader takes for
// a number: the header must not depend on the process's locale.
TEST (NewImpulseHeader, SampleRateKeepsItsPointUnderADecimalCommaLocale)
{
    DecimalCommaLocale decimalComma;

    if (! decimalComma.isActive())
        GTEST_SKIP() << "no locale with a decimal comma can be had here";

    const auto header = NewImpulseHeader::create (2, 16, 44100.5, "in.wav");
    EXPECT_EQ (header->getStringAttribute ("samplerate"), "44100.5");
    EXPECT_EQ (NewImpulseHeader::formatSampleRate (8000.123456789), "8000.12346");
    EXPECT_EQ (NewImpulseHeader::formatSampleRate (1234567891.0), "1.23456789e+09");
}

//==============================================================================
TEST (LoadFromFile, AudioFileIsBuiltAndRemembersItsPath)
{
    TemporaryFolder folder;
    const auto file = writeWav (folder, "room.WAV", AudioTestFiles::createSignal (2, 64, 48000.0), 48000.0, 24);

    VOK_ImpulseFile impulse;
    ASSERT_TRUE (impulse.loadFromFile (file.getFullPathName()));
    EXPECT_EQ (impulse.getFormatState(), VOK_ImpulseFile::builtFromAudio);
    EXPECT_EQ (impulse.getHeader().getStringAttribute ("filename"), file.getFullPathName());
}

TEST (LoadFromFile, VokExtensionIgnoringCaseIsReadAsImpulseFile)
{
    TemporaryFolder folder;
    // Audio data under an impulse name: the reader, not the audio path, must see it.
    const auto file = writeWav (folder, "room.VoK", AudioTestFiles::createSignal (2, 64, 48000.0), 48000.0, 16);

    VOK_ImpulseFile impulse;
    EXPECT_FALSE (impulse.loadFromFile (file.getFullPathName()));
    EXPECT_EQ (impulse.getFormatState(), VOK_ImpulseFile::loadFailed);
    EXPECT_TRUE (impulse.getReadLog().startsWith ("Read Header")) << impulse.getReadLog();
    EXPECT_FALSE (impulse.getHeader().hasAttribute ("filename"));
}

TEST (LoadFromFile, SavedImpulseLoadsWithItsPresetsAndPath)
{
    TemporaryFolder folder;
    const auto audio = writeWav (folder, "room.wav", AudioTestFiles::createSignal (2, 64, 48000.0), 48000.0, 16);
    const auto vokFile = folder.getFile ("room.vok");

    {
        VOK_ImpulseFile built;
        ASSERT_TRUE (built.createFromAudioFile (audio.getFullPathName()));
        built.addPreset ("Hall", "h");
        built.addPreset ("-Bright", "b");
        ASSERT_TRUE (built.saveToFile (vokFile.getFullPathName()));
    }

    VOK_ImpulseFile impulse;
    ASSERT_TRUE (impulse.loadFromFile (vokFile.getFullPathName())) << impulse.getReadLog();
    EXPECT_EQ (impulse.getFormatState(), VOK_ImpulseFile::readFromFile);
    EXPECT_EQ (impulse.getHeader().getStringAttribute ("filename"), vokFile.getFullPathName());
    EXPECT_EQ (impulse.getPresetNames(), juce::StringArray ("-Bright", "Hall"));
    EXPECT_EQ (impulse.getPresetData ("HALL"), "h");
}

TEST (LoadFromFile, FilenameInAnotherLetterCaseIsUpdatedInPlace)
{
    TemporaryFolder folder;
    const auto audio = writeWav (folder, "room.wav", AudioTestFiles::createSignal (1, 8, 48000.0), 48000.0, 16);
    const auto vokFile = folder.getFile ("room.vok");

    {
        VOK_ImpulseFile built;
        ASSERT_TRUE (built.createFromAudioFile (audio.getFullPathName()));
        built.getHeader().setAttribute ("FileName", "/where/it/was/before.vok");
        ASSERT_TRUE (built.saveToFile (vokFile.getFullPathName()));
    }

    VOK_ImpulseFile impulse;
    ASSERT_TRUE (impulse.loadFromFile (vokFile.getFullPathName()));
    EXPECT_EQ (impulse.getHeader().getStringAttribute ("FileName"), vokFile.getFullPathName());
    EXPECT_FALSE (impulse.getHeader().hasAttribute ("filename"));
}

TEST (LoadFromFile, FailuresSetLoadFailedAndClearTheLastError)
{
    TemporaryFolder folder;
    const auto unknown = folder.getFile ("notes.txt");
    ASSERT_TRUE (unknown.replaceWithText ("no audio"));

    VOK_ImpulseFile impulse;
    EXPECT_FALSE (impulse.loadFromFile (folder.getFile ("missing.vok").getFullPathName()));
    EXPECT_EQ (impulse.getLastError(), "File not found: " + folder.getFile ("missing.vok").getFullPathName());
    EXPECT_EQ (impulse.getFormatState(), VOK_ImpulseFile::loadFailed);

    EXPECT_FALSE (impulse.loadFromFile (unknown.getFullPathName()));
    EXPECT_EQ (impulse.getLastError(), "");
    EXPECT_EQ (impulse.getFormatState(), VOK_ImpulseFile::loadFailed);
}
