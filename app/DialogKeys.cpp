#include "DialogKeys.h"

DialogKeys::DialogKeys (juce::Component& dialogToUse, std::vector<juce::Component*> focusOrderToUse,
                        juce::Button& defaultButtonToUse, std::vector<juce::Button*> cancelButtonsToUse)
    : dialog (dialogToUse),
      focusOrder (std::move (focusOrderToUse)),
      defaultButton (defaultButtonToUse),
      cancelButtons (std::move (cancelButtonsToUse))
{
    // The same order decides which control the framework focuses when the window opens.
    for (size_t i = 0; i < focusOrder.size(); ++i)
        focusOrder[i]->setExplicitFocusOrder ((int) i + 1);

    dialog.addKeyListener (this);
    juce::Desktop::getInstance().addFocusChangeListener (this);
}

DialogKeys::~DialogKeys()
{
    juce::Desktop::getInstance().removeFocusChangeListener (this);

    if (listenedField != nullptr)
        listenedField->removeKeyListener (this);

    dialog.removeKeyListener (this);
}

//==============================================================================
bool DialogKeys::keyPressed (const juce::KeyPress& key, juce::Component* originatingComponent)
{
    if (originatingComponent != &dialog)
        return handleFieldKey (key);

    if (key.getKeyCode() == juce::KeyPress::tabKey)
    {
        const auto modifiers = key.getModifiers();
        return modifiers.withoutFlags (juce::ModifierKeys::shiftModifier).isAnyModifierKeyDown() ? false
                                                                                                : moveFocus (! modifiers.isShiftDown());
    }

    if (key == juce::KeyPress::returnKey)
        return clickDefaultButton();

    if (key == juce::KeyPress::escapeKey)
        return clickCancelButton();

    if (key == juce::KeyPress::spaceKey)
        return clickFocusedButton();

    return moveFocusedTextCaret (key);
}

bool DialogKeys::handleFieldKey (const juce::KeyPress& key)
{
    if (key == juce::KeyPress::escapeKey)
        return clickCancelButton();

    if (key != juce::KeyPress::returnKey || ! defaultButton.isVisible() || ! defaultButton.isEnabled())
        return false;

    // The click is handled later, by which time the field must hold what was typed.
    takeOverFieldText (juce::Component::getCurrentlyFocusedComponent());
    return clickDefaultButton();
}

void DialogKeys::globalFocusChanged (juce::Component* focusedComponent)
{
    auto* field = dynamic_cast<juce::TextEditor*> (focusedComponent);

    if (field == nullptr || field->isMultiLine() || field == listenedField.getComponent()
         || ! dialog.isParentOf (field))
        return;

    if (listenedField != nullptr)
        listenedField->removeKeyListener (this);

    // A listener on the field hears its keys before the field itself does.
    listenedField = field;
    field->addKeyListener (this);
}

void DialogKeys::focusFirstControl()
{
    const auto stops = getFocusStops();

    if (! stops.empty())
        focusOn (*stops.front());
}

//==============================================================================
bool DialogKeys::moveFocus (bool forwards)
{
    const auto stops = getFocusStops();

    if (stops.empty())
        return false;

    auto* focused = juce::Component::getCurrentlyFocusedComponent();
    const auto current = std::find_if (stops.begin(), stops.end(), [focused] (juce::Component* stop)
    {
        return stop == focused || stop->isParentOf (focused);
    });

    const auto count = (int) stops.size();
    const auto index = current == stops.end() ? (forwards ? -1 : count)
                                              : (int) std::distance (stops.begin(), current);
    auto* next = stops[(size_t) ((index + (forwards ? 1 : count - 1)) % count)];

    takeOverFieldText (focused);
    focusOn (*next);
    return true;
}

std::vector<juce::Component*> DialogKeys::getFocusStops() const
{
    std::vector<juce::Component*> stops;

    for (auto* control : focusOrder)
    {
        if (! control->isShowing() || ! control->isEnabled())
            continue;

        if (control->getWantsKeyboardFocus())
        {
            stops.push_back (control);
            continue;
        }

        // A field's editor, while open, lies inside the field and is the same stop.
        for (auto* inner : juce::KeyboardFocusTraverser().getAllComponents (control))
            if (stops.empty() || ! stops.back()->isParentOf (inner))
                stops.push_back (inner);
    }

    return stops;
}

void DialogKeys::focusOn (juce::Component& stop)
{
    if (auto* label = dynamic_cast<juce::Label*> (&stop); label != nullptr && label->isEditableOnSingleClick())
    {
        label->showEditor();

        if (auto* editor = label->getCurrentTextEditor())
        {
            editor->grabKeyboardFocus();
            return;
        }
    }

    stop.grabKeyboardFocus();
}

void DialogKeys::takeOverFieldText (juce::Component* focused)
{
    // A label keeps the typed text only once its editor closes; until then it also holds every
    // other control of the window back.
    if (auto* field = dynamic_cast<juce::TextEditor*> (focused))
        if (auto* label = dynamic_cast<juce::Label*> (field->getParentComponent()))
            label->hideEditor (false);
}

//==============================================================================
bool DialogKeys::clickIfAvailable (juce::Button& button)
{
    if (! button.isVisible() || ! button.isEnabled())
        return false;

    button.triggerClick();
    return true;
}

bool DialogKeys::clickDefaultButton()
{
    return clickIfAvailable (defaultButton);
}

bool DialogKeys::clickCancelButton()
{
    for (auto* button : cancelButtons)
        if (clickIfAvailable (*button))
            return true;

    return false;
}

bool DialogKeys::clickFocusedButton()
{
    auto* button = dynamic_cast<juce::Button*> (getFocusedComponentInDialog());
    return button != nullptr && clickIfAvailable (*button);
}

bool DialogKeys::moveFocusedTextCaret (const juce::KeyPress& key)
{
    auto* text = dynamic_cast<juce::TextEditor*> (getFocusedComponentInDialog());

    if (text == nullptr || ! text->isReadOnly() || ! isNavigationKey (key))
        return false;

    return juce::TextEditorKeyMapper<juce::TextEditor>::invokeKeyFunction (*text, key);
}

juce::Component* DialogKeys::getFocusedComponentInDialog() const
{
    auto* focused = juce::Component::getCurrentlyFocusedComponent();
    return focused != nullptr && dialog.isParentOf (focused) ? focused : nullptr;
}

bool DialogKeys::isNavigationKey (const juce::KeyPress& key)
{
    const int navigationKeys[] = { juce::KeyPress::upKey, juce::KeyPress::downKey,
                                   juce::KeyPress::leftKey, juce::KeyPress::rightKey,
                                   juce::KeyPress::pageUpKey, juce::KeyPress::pageDownKey,
                                   juce::KeyPress::homeKey, juce::KeyPress::endKey };

    return std::find (std::begin (navigationKeys), std::end (navigationKeys), key.getKeyCode())
               != std::end (navigationKeys);
}
