#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <vector>

/**
    Lets a dialog answer the keyboard the way desktop dialogs do, whichever of its controls has
    the focus:
    - Tab and Shift+Tab move the focus forwards and backwards through the controls in the
      given order, skipping hidden and disabled ones and wrapping round at the ends; a control
      that takes no focus itself stands for the controls inside it (a file chooser's field
      and its browse button);
    - Return clicks the default button while it is visible; a focused button takes Return
      itself and clicks, as the framework's buttons do;
    - Escape clicks the first visible one of the cancel buttons;
    - Space clicks the focused button;
    - a focused read-only text moves its caret, and so scrolls, with the arrow, page, Home and
      End keys (the framework's read-only editors ignore them);
    - a one-line text field opens for typing when the keyboard moves to it, and gives up Return
      and Escape instead of keeping them; Return and Tab take over the typed text first.

    Destroy this object before the dialog and its controls.
*/
class DialogKeys  : private juce::KeyListener,
                    private juce::FocusChangeListener
{
public:
    DialogKeys (juce::Component& dialog, std::vector<juce::Component*> focusOrder,
                juce::Button& defaultButton, std::vector<juce::Button*> cancelButtons);
    ~DialogKeys() override;

    /** Puts the focus on the first control that can have it, a text field open for typing. */
    void focusFirstControl();

private:
    bool keyPressed (const juce::KeyPress&, juce::Component* originatingComponent) override;
    void globalFocusChanged (juce::Component* focusedComponent) override;

    bool handleFieldKey (const juce::KeyPress&);
    bool moveFocus (bool forwards);
    std::vector<juce::Component*> getFocusStops() const;
    bool clickDefaultButton();
    bool clickCancelButton();
    bool clickFocusedButton();
    bool moveFocusedTextCaret (const juce::KeyPress&);
    juce::Component* getFocusedComponentInDialog() const;

    static void focusOn (juce::Component&);
    static void takeOverFieldText (juce::Component* focused);
    static bool clickIfAvailable (juce::Button&);
    static bool isNavigationKey (const juce::KeyPress&);

    juce::Component& dialog;
    const std::vector<juce::Component*> focusOrder;
    juce::Button& defaultButton;
    const std::vector<juce::Button*> cancelButtons;
    juce::Component::SafePointer<juce::TextEditor> listenedField;

    JUCE_DECLARE_NON_COPYABLE (DialogKeys)
};
