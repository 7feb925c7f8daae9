#include "SetupWindow.h"
#include "VOK_SetupWindow.h"

SetupWindow::SetupWindow (const juce::File& userSettingsFile, const juce::File& commonSettingsFile)
    : juce::DocumentWindow ("VOK Setup", juce::Colour (0xffd3d3d3), juce::DocumentWindow::closeButton, true)
{
    // The window hands the focus it gets on to the first control of the panel.
    setWantsKeyboardFocus (false);

    setContentOwned (new VOK_SetupWindow (userSettingsFile, commonSettingsFile), true);
    setVisible (true);
    centreWithSize (getWidth(), getHeight());

    // Showing the window rebuilds the directory field's text box, and the focus moves on from
    // it; the keyboard starts at the first control. The agreement window had the focus, and
    // without a window manager nothing would hand it to this window.
    unfocusAllComponents();
    toFront (true);
}

SetupWindow::SetupWindow (const juce::File& userSettingsFile)
    : SetupWindow (userSettingsFile, PluginSettings::getCommonSettingsFile())
{
}

SetupWindow::SetupWindow()
    : SetupWindow (PluginSettings::getUserSettingsFile())
{
}

SetupWindow::~SetupWindow() = default;

void SetupWindow::closeButtonPressed()
{
    juce::JUCEApplication::quit();
}
