#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/**
    The banner and the pack logo embedded in the program. Both windows draw the same
    pictures, fetched through the image cache so that they are decoded only once.
*/
class SetupArtwork
{
public:
    /** The 1500 x 150 banner (a progressive JPEG). */
    static juce::Image getBanner();

    /** The 150 x 80 pack logo (an RGBA PNG with a transparent background). */
    static juce::Image getLogo();
};
