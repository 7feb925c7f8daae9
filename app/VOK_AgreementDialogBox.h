#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "DialogKeys.h"
#include "FocusOutlineLookAndFeel.h"

#include <memory>

/**
    The content of the agreement window: banner, pack logo, a two-line heading, the licence
    text in a read-only editor, and "I Agree" / "Cancel".

    The buttons end the modal state of the window that holds this component: 0 for
    "I Agree", -1 for "Cancel". From the keyboard, Tab moves between the text and the two
    buttons, Return agrees (or presses the focused button) and Escape cancels.
*/
class VOK_AgreementDialogBox : public juce::Component,
                               public juce::Button::Listener
{
public:
    VOK_AgreementDialogBox();
    ~VOK_AgreementDialogBox() override;

    void paint (juce::Graphics&) override;
    void resized() override;
    void buttonClicked (juce::Button*) override;

private:
    FocusOutlineLookAndFeel lookAndFeel;
    std::unique_ptr<juce::TextEditor> agreementEditor;
    std::unique_ptr<juce::TextButton> agreeButton;
    std::unique_ptr<juce::TextButton> cancelButton;
    juce::Image bannerImage;
    juce::Image logoImage;
    std::unique_ptr<DialogKeys> keys;

    void endParentModalState (int result);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VOK_AgreementDialogBox)
};
