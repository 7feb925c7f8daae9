/** @file
    NewImpulseHeader: the header element of an impulse built from an audio file.
*/
#pragma once

#include <impulse/VOK_VokSampleBuffer.h>

#include <juce_core/juce_core.h>

#include <memory>

/**
    The header element of an impulse freshly built from an audio file: version,
    sample rate, channel configuration and one AudioSampleData entry per channel.
*/
struct NewImpulseHeader
{
    /** A new VokImpulseFile element describing the pool, its channels all taken from originalFile. */
    static std::unique_ptr<juce::XmlElement> create (const VOK_VokSampleBuffer& pool,
                                                     const juce::String& originalFile);

    /** The same element for a pool of that shape, for callers that have no pool at hand. */
    static std::unique_ptr<juce::XmlElement> create (int numChannels, int numSamples, double sampleRate,
                                                     const juce::String& originalFile);

    /** The sample rate as C's "%.9g" writes it in the "C" locale: 44100 -> "44100", 44100.5 -> "44100.5". */
    static juce::String formatSampleRate (double sampleRate);
};
