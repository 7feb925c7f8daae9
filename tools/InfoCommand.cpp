// vok info FILE: what the reader makes of an impulse file, as one JSON object.

#include "Command.h"
#include <impulse/HeaderAttributes.h>

#include <juce_cryptography/juce_cryptography.h>

namespace
{
    // The samples as plain little-endian 32-bit floats, whatever the machine's byte order.
    juce::String getChannelSha256 (const VOK_VokSampleBuffer& pool, int channel)
    {
        const auto* samples = pool.getReadPointer (channel);
        const auto numBytes = (size_t) pool.getNumSamples() * sizeof (float);

        if (juce::ByteOrder::isBigEndian())
        {
            juce::MemoryOutputStream littleEndian (numBytes);

            for (int i = 0; i < pool.getNumSamples(); ++i)
                littleEndian.writeFloat (samples[i]);

            return juce::SHA256 (littleEndian.getData(), littleEndian.getDataSize()).toHexString();
        }

        return juce::SHA256 (samples, numBytes).toHexString();
    }

    juce::var toVar (const juce::StringArray& strings)
    {
        juce::Array<juce::var> array;

        for (auto& s : strings)
            array.add (s);

        return array;
    }

    juce::var describe (const VOK_ImpulseFile& impulse, const juce::File& file, bool readOk)
    {
        const juce::ScopedLock sl (impulse.getLock());

        const auto& header = impulse.getHeader();
        const auto* pool = impulse.getSamplePool();

        juce::StringArray channelHashes;

        if (pool != nullptr)
            for (int channel = 0; channel < pool->getNumChannels(); ++channel)
                channelHashes.add (getChannelSha256 (*pool, channel));

        auto info = std::make_unique<juce::DynamicObject>();
        info->setProperty ("path",           file.getFullPathName());
        info->setProperty ("read_ok",        readOk);
        info->setProperty ("format_state",   (int) impulse.getFormatState());
        info->setProperty ("version",        HeaderAttributes::getString (header, "version"));
        info->setProperty ("samplerate",     pool != nullptr ? pool->sampleRate
                                                             : HeaderAttributes::getDouble (header, "samplerate", 0.0));
        info->setProperty ("channels",       pool != nullptr ? pool->getNumChannels() : 0);
        info->setProperty ("samples",        pool != nullptr ? pool->getNumSamples() : 0);
        info->setProperty ("crypted",        impulse.getBoolAttribute ("crypted", false));
        info->setProperty ("picture_chars",  impulse.getPictureText().length());
        info->setProperty ("presets",        toVar (impulse.getPresetNames()));
        info->setProperty ("channel_sha256", toVar (channelHashes));
        info->setProperty ("read_log",       impulse.getReadLog());
        info->setProperty ("last_error",     impulse.getLastError());

        return info.release();
    }
}

int Command::runInfo (const juce::StringArray& arguments) const
{
    const auto file = getFileArgument (arguments[0]);

    VOK_ImpulseFile impulse;
    const auto readOk = impulse.readFile (file.getFullPathName());

    print (juce::JSON::toString (describe (impulse, file, readOk)) + "\n");
    return readOk ? success : failure;
}
