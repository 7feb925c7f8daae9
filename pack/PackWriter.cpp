#include "PackWriter.h"
#include "DecayAnalysis.h"
#include "RoomPicture.h"

#include <impulse/VOK_ImpulseFile.h>
#include <impulse/NewImpulseHeader.h>

juce::StringPairArray PackWriter::getFactoryPresets()
{
    juce::StringPairArray presets;
    presets.set ("Bright",  "dry=-inf;wet=0.0;predelay=0;length=100;lowcut=20;highcut=20000;treble=3.0;bass=0.0;width=100");
    presets.set ("Dark",    "dry=-inf;wet=0.0;predelay=0;length=100;lowcut=20;highcut=5000;treble=-4.0;bass=1.5;width=100");
    presets.set ("Default", "dry=-inf;wet=0.0;predelay=0;length=100;lowcut=20;highcut=20000;treble=0.0;bass=0.0;width=100");
    presets.set ("Far",     "dry=-inf;wet=-3.0;predelay=25;length=100;lowcut=80;highcut=9000;treble=-2.0;bass=0.0;width=80");
    return presets;
}

std::unique_ptr<juce::XmlElement> PackWriter::createHeader (const RoomDesign& room,
                                                                RoomSynthesiser::Layout layout)
{
    const auto numChannels = RoomSynthesiser::getNumChannels (layout);
    const auto descriptions = RoomSynthesiser::getChannelDescriptions (layout);

    // The header of any new impulse, with what a pack's room says beyond it.
    auto header = NewImpulseHeader::create (numChannels, room.samplesPerChannel, room.sampleRate,
                                            "pack/rooms.json: " + room.name);
    header->setAttribute ("ChannelConf", numChannels);
    header->setAttribute ("crypted", "true");   // as a commercial pack ships

    int channel = 0;

    for (auto* data : header->getChildByName ("IRSamplePool")->getChildIterator())
        data->setAttribute ("Description", descriptions[channel++]);

    auto* presetList = header->createNewChildElement ("presets");
    const auto presets = getFactoryPresets();

    for (const auto& name : presets.getAllKeys())
    {
        auto* preset = presetList->createNewChildElement ("Preset");
        preset->setAttribute ("preset_name", name);
        preset->setAttribute ("preset_data", presets[name]);
    }

    return header;
}

juce::Result PackWriter::writeImpulseFile (const juce::File& target, const RoomDesign& room,
                                               RoomSynthesiser::Layout layout,
                                               const juce::AudioBuffer<float>& response,
                                               const juce::String& pictureText)
{
    auto pool = std::make_unique<VOK_VokSampleBuffer> (response.getNumChannels(), response.getNumSamples(), room.sampleRate);

    for (int channel = 0; channel < response.getNumChannels(); ++channel)
        pool->copyFrom (channel, 0, response, channel, 0, response.getNumSamples());

    VOK_ImpulseFile impulse;
    impulse.setHeader (createHeader (room, layout));
    impulse.setSamplePool (std::move (pool));
    impulse.setPictureText (pictureText);

    if (! impulse.saveToFile (target.getFullPathName()))
        return juce::Result::fail ("Can't save " + target.getFullPathName());

    VOK_ImpulseFile check;

    if (! check.readFile (target.getFullPathName()))
        return juce::Result::fail ("The written file doesn't read back: " + target.getFullPathName()
                                     + "\n" + check.getReadLog());

    return juce::Result::ok();
}

RoomDesign::BandValues PackWriter::measureMeanT30 (const RoomDesign& room, const juce::AudioBuffer<float>& response)
{
    RoomDesign::BandValues mean {};

    for (int channel = 0; channel < response.getNumChannels(); ++channel)
    {
        const auto t30 = DecayAnalysis::measureT30 (response.getReadPointer (channel), response.getNumSamples(), room.sampleRate);

        for (size_t band = 0; band < mean.size(); ++band)
            mean[band] += t30[band] / response.getNumChannels();
    }

    return mean;
}

juce::Result PackWriter::writeRoom (const RoomDesign& room, const juce::File& folder, RoomReport& report)
{
    const RoomSynthesiser synthesiser (room);
    const auto stereo = synthesiser.render (RoomSynthesiser::Layout::stereo);
    const auto trueStereo = synthesiser.render (RoomSynthesiser::Layout::trueStereo);

    // For the generator's log only: the files are written as the synthesiser made them.
    report.stereoT30 = measureMeanT30 (room, stereo);
    report.trueStereoT30 = measureMeanT30 (room, trueStereo);

    // Both files of a room show the same picture, drawn from the stereo response.
    const auto pictureText = RoomPicture::createPictureText (room, stereo);

    if (pictureText.isEmpty())
        return juce::Result::fail ("Can't encode the picture of " + room.name);

    auto result = writeImpulseFile (folder.getChildFile (room.getStereoFileName()), room,
                                    RoomSynthesiser::Layout::stereo, stereo, pictureText);

    if (result.wasOk())
        result = writeImpulseFile (folder.getChildFile (room.getTrueStereoFileName()), room,
                                   RoomSynthesiser::Layout::trueStereo, trueStereo, pictureText);

    return result;
}
