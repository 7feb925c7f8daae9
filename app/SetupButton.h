#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

/** The buttons of the setup windows, made the one way both windows make them. */
struct SetupButton
{
    /** A TextButton with its component name and text, already a visible child of parent
        (after its earlier children, so the keyboard reaches it in that order) and heard
        by listener.
    */
    static std::unique_ptr<juce::TextButton> create (juce::Component& parent, const juce::String& componentName,
                                                     const juce::String& text, juce::Button::Listener& listener);
};
