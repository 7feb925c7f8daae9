#pragma once

#include <impulse/ImpulseModel.h>

#include <juce_core/juce_core.h>

/**
    Writes an ImpulseModel in the 2.1 layout: the packed header, the picture block when there
    is a picture, then one audio block per channel in ascending order.

    Samples the model still holds as a file stored them, in the encoding the header asks for,
    are copied byte for byte; a pool is encoded. A model whose samples were passed over when it
    was read is never written, as that would lose them.
*/
class ImpulseWriter
{
public:
    /** Writes the whole model to a stream; false when a write fails or the model has no samples
        to stand for the ones its file held. Packing the header updates the model's outer element.
    */
    static bool write (ImpulseModel& model, juce::OutputStream& output);

    /** Writes the model beside the target and renames it over it; false (the target unchanged)
        when the target is not a regular file the user may change, or when any step fails.
    */
    static bool saveToFile (ImpulseModel& model, const juce::File& target, juce::String& failure);

private:
    static juce::String createHeaderText (ImpulseModel& model);
    static bool writeBlockFrame (juce::OutputStream& output, juce::int64 payloadSize);
    static bool writePictureBlock (juce::OutputStream& output, const juce::String& pictureText);
    static bool writeAudioBlockHead (juce::OutputStream& output, int channel, int numSamples);
    static bool writeStoredSamples (juce::OutputStream& output, const ImpulseModel::StoredSamples& stored);
    static bool writePool (juce::OutputStream& output, const VOK_VokSampleBuffer& pool, bool scrambled);
};
