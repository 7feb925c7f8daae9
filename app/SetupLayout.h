#pragma once

#include <juce_graphics/juce_graphics.h>

/**
    Where the installer's controls sit, in pixels of the window's content: the windows lay
    themselves out from these boxes, and the tests and the scripts that click in the real
    windows (tests/window-clicks.sh reads this file) find the controls by them.

    The scripts read each box from its own line, written as
        constexpr Box name { x, y, width, height };
*/
namespace SetupLayout
{
    struct Box
    {
        int x, y, width, height;

        juce::Rectangle<int> toRectangle() const    { return { x, y, width, height }; }
    };

    // The agreement window's content.
    constexpr Box agreementContent      {   0,   0, 650, 500 };
    constexpr Box agreementEditor       {  16,  88, 616, 344 };
    constexpr Box agreeButton           { 320, 456, 150,  24 };
    constexpr Box agreementCancelButton { 480, 456, 150,  24 };

    // The setup panel, the main window's content.
    constexpr Box setupPanel            {   0,   0, 680, 620 };
    constexpr Box closeButton           { 456, 576, 216,  24 };
    constexpr Box directoryGroup        {   8, 392, 664,  72 };
    constexpr Box versionLabel          { 168,  47, 160,  32 };
    constexpr Box installButton         { 456, 576, 216,  24 };
    constexpr Box cancelButton          {  16, 576,  78,  24 };
    constexpr Box directoryChooser      {  24, 416, 632,  32 };
    constexpr Box logEditor             {   8,  88, 664, 472 };
}
