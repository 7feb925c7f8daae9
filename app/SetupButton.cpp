#include "SetupButton.h"

std::unique_ptr<juce::TextButton> SetupButton::create (juce::Component& parent, const juce::String& componentName,
                                                       const juce::String& text, juce::Button::Listener& listener)
{
    auto button = std::make_unique<juce::TextButton> (componentName);
    parent.addAndMakeVisible (button.get());
    button->setButtonText (text);
    button->addListener (&listener);
    return button;
}
