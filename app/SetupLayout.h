#pragma once

#include <juce_graphics/juce_graphics.h>

/**
    Where the installer's controls sit, in pixels of the window's content: the windows lay
    themselves out from these boxes, and the tests find the controls by them. The boxes are
    declared in SetupLayout.boxes, which the scripts that click in the real windows read too
    (tests/window-clicks.sh); the build makes SetupLayoutBoxes.h of it.
*/
namespace SetupLayout
{
    struct Box
    {
        int x, y, width, height;

        juce::Rectangle<int> toRectangle() const    { return { x, y, width, height }; }
    };

    struct NamedBox
    {
        const char* name;
        Box box;
    };
}

#include "SetupLayoutBoxes.h"
