#include "VOK_AgreementDialogBox.h"
#include "AgreementText.h"
#include "SetupArtwork.h"
#include "SetupButton.h"
#include "SetupLayout.h"

namespace
{
    const juce::Colour navyBackground { 0xff303c6e };
    const juce::Colour agreeButtonColour { 0xff8282ff };
    constexpr float headingFontHeight = 14.3f;
}

VOK_AgreementDialogBox::VOK_AgreementDialogBox()
{
    setLookAndFeel (&lookAndFeel);

    agreementEditor = std::make_unique<juce::TextEditor> ("new text editor");
    addAndMakeVisible (agreementEditor.get());
    agreementEditor->setMultiLine (true, true);
    agreementEditor->setReturnKeyStartsNewLine (true);
    agreementEditor->setReadOnly (true);
    agreementEditor->setScrollbarsShown (true);
    agreementEditor->setCaretVisible (true);
    agreementEditor->setPopupMenuEnabled (true);
    agreementEditor->setText ({}, true);

    agreeButton = SetupButton::create (*this, "buttonAgree", "I Agree", *this);
    agreeButton->setColour (juce::TextButton::buttonColourId, agreeButtonColour);

    cancelButton = SetupButton::create (*this, "buttoncancel", "Cancel", *this);

    bannerImage = SetupArtwork::getBanner();
    logoImage = SetupArtwork::getLogo();

    setSize (SetupLayout::agreementContent.width, SetupLayout::agreementContent.height);

    agreementEditor->setText (AgreementText::get(), false);

    // The text comes first, so that the window opens with the text ready to scroll.
    keys = std::make_unique<DialogKeys> (*this,
                                         std::vector<juce::Component*> { agreementEditor.get(), agreeButton.get(), cancelButton.get() },
                                         *agreeButton, std::vector<juce::Button*> { cancelButton.get() });
}

VOK_AgreementDialogBox::~VOK_AgreementDialogBox()
{
    keys.reset();
    agreementEditor.reset();
    agreeButton.reset();
    cancelButton.reset();
    setLookAndFeel (nullptr);
}

void VOK_AgreementDialogBox::paint (juce::Graphics& g)
{
    g.fillAll (navyBackground);

    g.setColour (juce::Colours::black);
    g.drawImageWithin (bannerImage, -4, -4, 1500, 150,
                       juce::RectanglePlacement::centred | juce::RectanglePlacement::onlyReduceInSize,
                       false);

    g.setColour (juce::Colours::white);
    g.setFont (juce::Font (headingFontHeight, juce::Font::plain));
    g.drawText ("Please read the following license ", 310, 9, 298, 30, juce::Justification::centred, true);

    g.setColour (juce::Colours::black);
    g.drawImage (logoImage, 158, 1, 150, 80, 0, 0, logoImage.getWidth(), logoImage.getHeight(), false);

    g.setColour (juce::Colours::white);
    g.setFont (juce::Font (headingFontHeight, juce::Font::plain));
    g.drawText ("agreement carefully!", 318, 41, 306, 30, juce::Justification::centred, true);
}

void VOK_AgreementDialogBox::resized()
{
    agreementEditor->setBounds (SetupLayout::agreementEditor.toRectangle());
    agreeButton->setBounds (SetupLayout::agreeButton.toRectangle());
    cancelButton->setBounds (SetupLayout::agreementCancelButton.toRectangle());
}

void VOK_AgreementDialogBox::buttonClicked (juce::Button* button)
{
    if (button == agreeButton.get())
        endParentModalState (0);
    else if (button == cancelButton.get())
        endParentModalState (-1);
}

void VOK_AgreementDialogBox::endParentModalState (int result)
{
    // The window's content sits inside the window itself, so the direct parent is the
    // window whose modal loop is waiting for the answer.
    if (auto* window = getParentComponent())
        window->exitModalState (result);
}
