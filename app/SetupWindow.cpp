#include "SetupWindow.h"
#include "VOK_SetupWindow.h"

SetupWindow::SetupWindow (const juce::File& userSettingsFile, const juce::File& commonSettingsFile)
    : juce::DocumentWindow ("VOK Setup", juce::Colour (0xffd3d3d3), juce::DocumentWindow::closeButton, true)
{
    // The window hands the focus it gets on to the first control of the panel.
    setWantsKeyboardFocus (false);

    auto* panel = new VOK_SetupWindow (userSettingsFile, commonSettingsFile);
    setContentOwned (panel, true);
    setVisible (true);
    centreWithSize (getWidth(), getHeight());

    // The agreement window had the focus, and without a window manager nothing would hand it
    // to this one. Showing the window rebuilds the directory field's text box, which moves the
    // focus on from it, so the keyboard is put back at the start afterwards.
    toFront (true);
    panel->focusFirstControl();
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
