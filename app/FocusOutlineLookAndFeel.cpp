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

void FocusOutlineLookAndFeel::drawTextEditorOutline (juce::Graphics& g, int width, int height, juce::TextEditor& editor)
{
    juce::LookAndFeel_V4::drawTextEditorOutline (g, width, height, editor);

    if (editor.isReadOnly() && editor.isEnabled() && editor.hasKeyboardFocus (true))
    {
        g.setColour (editor.findColour (juce::TextEditor::focusedOutlineColourId));
        g.drawRect (0, 0, width, height, 2);
    }
}
