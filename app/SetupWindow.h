#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/**
    The installer's main window. Its content is the setup panel, whose construction runs the
    agreement window first, so this window appears only after the user has answered it.
*/
class SetupWindow : public juce::DocumentWindow
{
public:
    /** The settings files are handed to the setup panel: the plug-in's per-user one and the
        one for all users.
    */
    SetupWindow (const juce::File& userSettingsFile, const juce::File& commonSettingsFile);
    explicit SetupWindow (const juce::File& userSettingsFile);
    SetupWindow();
    ~SetupWindow() override;

    void closeButtonPressed() override;

private:
    JUCE_DECLARE_NON_COPYABLE (SetupWindow)
};
