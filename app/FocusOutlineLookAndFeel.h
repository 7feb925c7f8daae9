#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/**
    The framework's standard look, with a mark on the control that has the keyboard focus. A
    button gets a thin outline just inside its edge, in its own text colour, so that it shows
    on any button colour; a read-only text gets the focus frame the standard look gives only
    to texts that can be edited. Everything else is drawn exactly as the standard look draws it.
*/
class FocusOutlineLookAndFeel  : public juce::LookAndFeel_V4
{
public:
    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                               bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    void drawTextEditorOutline (juce::Graphics&, int width, int height, juce::TextEditor&) override;

    /** How far inside the button's edge the outline runs, in pixels. */
    static constexpr float outlineInset = 2.5f;
};
