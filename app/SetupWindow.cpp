#include "SetupWindow.h"
#include "VOK_SetupWindow.h"

SetupWindow::SetupWindow (const juce::File& userSettingsFile)
    : juce::DocumentWindow ("VOK Setup", juce::Colour (0xffd3d3d3), juce::DocumentWindow::closeButton, true)
{
    setContentOwned (new VOK_SetupWindow (userSettingsFile), true);
    setVisible (true);
    centreWithSize (getWidth(), getHeight());
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
