#include <impulse/NewImpulseHeader.h>
#include <impulse/ImpulseModel.h>

#include <charconv>

std::unique_ptr<juce::XmlElement> NewImpulseHeader::create (const VOK_VokSampleBuffer& pool,
                                                                const juce::String& originalFile)
{
    return create (pool.getNumChannels(), pool.getNumSamples(), pool.sampleRate, originalFile);
}

std::unique_ptr<juce::XmlElement> NewImpulseHeader::create (int numChannels, int numSamples, double sampleRate,
                                                                const juce::String& originalFile)
{
    auto header = std::make_unique<juce::XmlElement> ("VokImpulseFile");
    header->setAttribute ("version", "2.1");
    header->setAttribute ("samplerate", formatSampleRate (sampleRate));
    header->setAttribute ("ChannelConf", 2);

    auto* poolElement = ImpulseModel::getOrCreateChildElement (*header, "IRSamplePool");
    poolElement->setAttribute ("number", numChannels);

    for (int channel = 0; channel < numChannels; ++channel)
    {
        auto* channelElement = poolElement->createNewChildElement ("AudioSampleData");
        channelElement->setAttribute ("channel", channel);
        channelElement->setAttribute ("NumSamples", numSamples);
        channelElement->setAttribute ("Description", "-");
        channelElement->setAttribute ("OriginalFile", originalFile);
    }

    return header;
}

juce::String NewImpulseHeader::formatSampleRate (double sampleRate)
{
    // std::to_chars gives "%.9g" without depending on the process's locale, so a
    // decimal comma can never reach a file.
    char text[32] = {};
    const auto result = std::to_chars (text, text + sizeof (text) - 1, sampleRate,
                                       std::chars_format::general, 9);

    return juce::String (text, (size_t) (result.ptr - text));
}
