#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

/**
    The content of the agreement window: banner, pack logo, a two-line heading, the licence
    text in a read-only editor, and "I Agree" / "Cancel".

    The buttons end the modal state of the window that holds this component: 0 for
    "I Agree", -1 for "Cancel".
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
    std::unique_ptr<juce::TextEditor> agreementEditor;
    std::unique_ptr<juce::TextButton> agreeButton;
    std::unique_ptr<juce::TextButton> cancelButton;
    juce::Image bannerImage;
    juce::Image logoImage;

    void endParentModalState (int result);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VOK_AgreementDialogBox)
};
