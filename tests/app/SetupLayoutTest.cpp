#include "SetupLayout.h"

#include <gtest/gtest.h>

// The windows, their tests and the scripts that click in them all take the boxes from
// SetupLayout; here they are pinned to the design, so that a slip there moves no control.
TEST (SetupLayout, HoldsTheDesignedBoxes)
{
    struct DesignedBox { const char* name; SetupLayout::Box box; juce::Rectangle<int> designed; };
    const DesignedBox boxes[] = {
        { "agreementContent",      SetupLayout::agreementContent,      {   0,   0, 650, 500 } },
        { "agreementEditor",       SetupLayout::agreementEditor,       {  16,  88, 616, 344 } },
        { "agreeButton",           SetupLayout::agreeButton,           { 320, 456, 150,  24 } },
        { "agreementCancelButton", SetupLayout::agreementCancelButton, { 480, 456, 150,  24 } },
        { "setupPanel",            SetupLayout::setupPanel,            {   0,   0, 680, 620 } },
        { "closeButton",           SetupLayout::closeButton,           { 456, 576, 216,  24 } },
        { "directoryGroup",        SetupLayout::directoryGroup,        {   8, 392, 664,  72 } },
        { "versionLabel",          SetupLayout::versionLabel,          { 168,  47, 160,  32 } },
        { "installButton",         SetupLayout::installButton,         { 456, 576, 216,  24 } },
        { "cancelButton",          SetupLayout::cancelButton,          {  16, 576,  78,  24 } },
        { "directoryChooser",      SetupLayout::directoryChooser,      {  24, 416, 632,  32 } },
        { "logEditor",             SetupLayout::logEditor,             {   8,  88, 664, 472 } },
    };

    for (auto& expected : boxes)
        EXPECT_EQ (expected.box.toRectangle(), expected.designed) << expected.name;
}
