#include "FocusOutlineLookAndFeel.h"

void FocusOutlineLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button,
                                                    const juce::Colour& backgroundColour,
                                                    bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown)
{
    juce::LookAndFeel_V4::drawButtonBackground (g, button, backgroundColour,
                                                shouldDrawButtonAsHighlighted, shouldDrawButtonAsDown);

    if (! button.hasKeyboardFocus (false))
        return;

    const auto textColourId = button.getToggleState() ? juce::TextButton::textColourOnId
                                                      : juce::TextButton::textColourOffId;
    g.setColour (button.findColour (textColourId));
    g.drawRoundedRectangle (button.getLocalBounds().toFloat().reduced (outlineInset), 4.0f, 1.0f);
}
