#pragma once

#include <juce_core/juce_core.h>

/** Passes writes on to a stream owned elsewhere (the framework's audio writers delete the stream
    they are given); positioning too, as a WAV writer fills in its header at the end.
*/
class ForwardingStream  : public juce::OutputStream
{
public:
    explicit ForwardingStream (juce::OutputStream& destinationStream) : destination (destinationStream) {}

    void flush() override                                   { destination.flush(); }
    bool setPosition (juce::int64 newPosition) override     { return destination.setPosition (newPosition); }
    juce::int64 getPosition() override                      { return destination.getPosition(); }
    bool write (const void* data, size_t numBytes) override { return destination.write (data, numBytes); }

private:
    juce::OutputStream& destination;
};
