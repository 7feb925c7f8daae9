#pragma once

#include <juce_graphics/juce_graphics.h>

/**
    Writes a Windows icon file (.ico) holding one picture per size, as Windows stores its own:
    the small ones as 32-bit bitmaps with an alpha channel, 256 pixels as PNG.
*/
class WindowsIconWriter
{
public:
    /** Writes the square images, each from 1 to 256 pixels wide, in the order given.
        Returns false, writing nothing, when an image does not fit the format.
    */
    static bool write (const juce::Array<juce::Image>& images, juce::OutputStream& out);

private:
    static juce::MemoryBlock encodeBitmap (const juce::Image&);
    static juce::MemoryBlock encodePng (const juce::Image&);
};
