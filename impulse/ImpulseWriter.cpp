#include "ImpulseWriter.h"
#include <safeio/FileReplacement.h>
#include <impulse/HeaderAttributes.h>
#include "ImpulseFileFields.h"
#include "PackedHeader.h"
#include <safeio/ReplaceableTarget.h>

#include <limits>

namespace
{
    constexpr juce::int64 maxFieldValue = std::numeric_limits<int>::max();

    // Samples are encoded through a buffer of this many, so that writing a channel never
    // needs a second copy of it.
    constexpr int samplesPerChunk = 262144;

    juce::int64 getAudioPayloadSize (int channel, int numSamples)
    {
        return (juce::int64) (ImpulseFileFields::getStringFieldSize ("AUDIODATA")
                                + ImpulseFileFields::getStringFieldSize (juce::String (channel))
                                + ImpulseFileFields::getStringFieldSize (juce::String (numSamples)))
                 + (juce::int64) numSamples * 4;
    }
}

//==============================================================================
bool ImpulseWriter::saveToFile (ImpulseModel& model, const juce::File& target, juce::String& failure)
{
    const auto folder = OpenFolder::openParentOf (target, OpenFolder::Missing::fail, failure);
    const auto name = target.getFileName();

    if (folder == nullptr)
        return false;

    // Written beside the target and renamed over it, so that the target is at every moment
    // either the old file or the complete new one; a new file is never put over one that
    // appeared meanwhile.
    const ReplaceableTarget existing (*folder, name);
    const bool replacing = existing.exists();

    if (! existing.mayBeReplaced())
    {
        failure = existing.getReason();
        return false;
    }

    FileReplacement replacement (*folder, name);

    const bool saved = replacement.openedOk() && write (model, replacement.getStream())
                        && (replacing ? replacement.replaceTarget() : replacement.createTarget());

    if (! saved)
        failure = replacement.getFailureReason();

    return saved;
}

bool ImpulseWriter::write (ImpulseModel& model, juce::OutputStream& output)
{
    if (model.wereSamplesSkipped())
        return false;

    bool ok = output.writeString (createHeaderText (model));

    const auto& pictureText = model.getPictureText();

    if (ok && pictureText.isNotEmpty())
        ok = writePictureBlock (output, pictureText);

    // A channel that can't be written would be lost without a trace, so it fails the save.
    if (auto* stored = model.getUnchangedStoredSamples())
        return ok && writeStoredSamples (output, *stored);

    if (auto* pool = static_cast<const ImpulseModel&> (model).getSamplePool())
        return ok && writePool (output, *pool, model.getBoolAttribute ("crypted", false));

    return ok;
}

juce::String ImpulseWriter::createHeaderText (ImpulseModel& model)
{
    auto& header = model.getHeader();
    auto& packedHeaderRoot = model.getPackedHeaderRoot();

    HeaderAttributes::setString (header, "version", "2.1");
    HeaderAttributes::setString (packedHeaderRoot, "version", "2.1");

    const auto packedHeader = PackedHeader::packHeader (PackedHeader::createDocumentText (header));
    HeaderAttributes::setString (packedHeaderRoot, "cfh_data", packedHeader);

    return PackedHeader::createDocumentText (packedHeaderRoot);
}

bool ImpulseWriter::writeBlockFrame (juce::OutputStream& output, juce::int64 payloadSize)
{
    if (payloadSize > maxFieldValue)
        return false;

    return output.writeString ("BLOCK") && output.writeString (juce::String (payloadSize));
}

bool ImpulseWriter::writePictureBlock (juce::OutputStream& output, const juce::String& pictureText)
{
    const auto payloadSize = ImpulseFileFields::getStringFieldSize ("PICTURE")
                           + ImpulseFileFields::getStringFieldSize (pictureText);

    return writeBlockFrame (output, (juce::int64) payloadSize)
        && output.writeString ("PICTURE")
        && output.writeString (pictureText);
}

bool ImpulseWriter::writeAudioBlockHead (juce::OutputStream& output, int channel, int numSamples)
{
    return writeBlockFrame (output, getAudioPayloadSize (channel, numSamples))
        && output.writeString ("AUDIODATA")
        && output.writeString (juce::String (channel))
        && output.writeString (juce::String (numSamples));
}

bool ImpulseWriter::writeStoredSamples (juce::OutputStream& output, const ImpulseModel::StoredSamples& stored)
{
    for (size_t channel = 0; channel < stored.channelOffsets.size(); ++channel)
        if (! writeAudioBlockHead (output, (int) channel, stored.numSamples) || ! stored.copyTo (channel, output))
            return false;

    return true;
}

bool ImpulseWriter::writePool (juce::OutputStream& output, const VOK_VokSampleBuffer& pool, bool scrambled)
{
    // Sized for the pool, not the chunk: saving a short impulse shouldn't take a megabyte.
    juce::HeapBlock<char> encoded ((size_t) juce::jmin (samplesPerChunk, pool.getNumSamples()) * 4);

    for (int channel = 0; channel < pool.getNumChannels(); ++channel)
    {
        if (! writeAudioBlockHead (output, channel, pool.getNumSamples()))
            return false;

        const auto* samples = pool.getReadPointer (channel);

       #if JUCE_LITTLE_ENDIAN
        // Plain samples are stored as the floats' own bytes.
        if (! scrambled)
        {
            if (! output.write (samples, (size_t) pool.getNumSamples() * 4))
                return false;

            continue;
        }
       #endif

        for (int start = 0; start < pool.getNumSamples(); start += samplesPerChunk)
        {
            const auto count = juce::jmin (samplesPerChunk, pool.getNumSamples() - start);
            ImpulseFileFields::encodeSamples (samples + start, encoded, count, scrambled);

            if (! output.write (encoded, (size_t) count * 4))
                return false;
        }
    }

    return true;
}
