#include "GuiTestSupport.h"
#include <app/AgreementText.h>
#include <install/EmbeddedPack.h>
#include <install/PluginSettings.h>
#include "PluginWrittenSettings.h"
#include <app/SetupWindow.h>
#include "TemporaryFolder.h"
#include <app/VOK_SetupWindow.h>

namespace
{
    bool isAgreementWindow (juce::Component& modal)    { return modal.getName() == agreementTitle; }

    const juce::KeyPress tab (juce::KeyPress::tabKey);
    const juce::KeyPress shiftTab (juce::KeyPress::tabKey, juce::ModifierKeys::shiftModifier, 0);
    const juce::KeyPress returnKey (juce::KeyPress::returnKey);
    const juce::KeyPress escape (juce::KeyPress::escapeKey);
    const juce::KeyPress space (juce::KeyPress::spaceKey, {}, ' ');

    /** Delivers a key to the window the way the system's key events arrive, to whatever has the focus. */
    void press (juce::Component& window, const juce::KeyPress& key)
    {
        auto* peer = window.getPeer();
        ASSERT_NE (peer, nullptr) << "the window is not on the desktop";
        peer->handleKeyPress (key);
    }

    /** Names the focused control the way the user sees it: its button text, "field" for the
        directory field (its label or the label's open editor), "text" for a multi-line text.
    */
    juce::String describeFocus()
    {
        auto* focused = juce::Component::getCurrentlyFocusedComponent();

        if (focused == nullptr)
            return "nothing";

        if (auto* button = dynamic_cast<juce::Button*> (focused))
            return button->getButtonText();

        if (auto* text = dynamic_cast<juce::TextEditor*> (focused); text != nullptr && text->isMultiLine())
            return "text";

        if (focused->findParentComponentOfClass<juce::FilenameComponent>() != nullptr)
            return "field";

        return "other: " + focused->getName();
    }

    /** Presses the key several times and lists where the focus went after each press. */
    juce::StringArray followFocus (juce::Component& window, const juce::KeyPress& key, int presses)
    {
        juce::StringArray visited;

        for (int i = 0; i < presses; ++i)
        {
            press (window, key);
            pumpMessages (30);
            visited.add (describeFocus());
        }

        return visited;
    }
}

//==============================================================================
TEST (AgreementKeys, TabAndShiftTabGoRoundTheTextAndBothButtons)
{
    VOK_SetupWindow::EULA window;
    juce::String firstFocus;
    juce::StringArray forwards, backwards;

    ModalAnswerer answerer (isAgreementWindow, [&] (juce::Component& modal)
    {
        firstFocus = describeFocus();
        forwards = followFocus (modal, tab, 3);
        backwards = followFocus (modal, shiftTab, 3);
        modal.exitModalState (-5);
    });

    window.runModalLoop();

    EXPECT_EQ (firstFocus, "text");
    EXPECT_EQ (forwards.joinIntoString (","), "I Agree,Cancel,text");
    EXPECT_EQ (backwards.joinIntoString (","), "Cancel,I Agree,text");
}

TEST (AgreementKeys, NavigationKeysScrollTheTextAndNothingEditsIt)
{
    VOK_SetupWindow::EULA window;
    int caretAfterPageDown = -1;
    juce::String textAfterTyping;

    ModalAnswerer answerer (isAgreementWindow, [&] (juce::Component& modal)
    {
        auto* text = dynamic_cast<juce::TextEditor*> (juce::Component::getCurrentlyFocusedComponent());

        if (text != nullptr)
        {
            press (modal, juce::KeyPress (juce::KeyPress::pageDownKey));
            press (modal, juce::KeyPress (juce::KeyPress::downKey));
            caretAfterPageDown = text->getCaretPosition();

            press (modal, juce::KeyPress ('x', {}, 'x'));
            press (modal, juce::KeyPress (juce::KeyPress::backspaceKey));
            press (modal, juce::KeyPress (juce::KeyPress::deleteKey));
            press (modal, juce::KeyPress ('v', juce::ModifierKeys::commandModifier, 0));
            textAfterTyping = text->getText();
        }

        modal.exitModalState (-5);
    });

    window.runModalLoop();

    EXPECT_GT (caretAfterPageDown, 0) << "the caret, and with it the view, did not move";
    EXPECT_EQ (textAfterTyping, AgreementText::get());
}

//==============================================================================
/** Where a control's focus mark shows: a pixel halfway down its left edge, in one of its colours. */
struct FocusMark
{
    const char* description;
    const char* controlName;
    int colourId;
    int x;
    bool focusedWhenTheWindowOpens;   // otherwise the first Tab brings the focus to it
};

void PrintTo (const FocusMark& mark, std::ostream* out)    { *out << mark.description; }

class AgreementFocusMark : public ::testing::TestWithParam<FocusMark> {};

TEST_P (AgreementFocusMark, ShowsOnlyWhileTheControlHasTheFocus)
{
    VOK_SetupWindow::EULA window;
    juce::Image atOpening, afterTab;
    juce::Colour markColour;

    ModalAnswerer answerer (isAgreementWindow, [&] (juce::Component& modal)
    {
        if (auto* control = findDescendant (modal, GetParam().controlName))
        {
            atOpening = control->createComponentSnapshot (control->getLocalBounds(), true, 1.0f);
            press (modal, tab);
            afterTab = control->createComponentSnapshot (control->getLocalBounds(), true, 1.0f);
            markColour = control->findColour (GetParam().colourId);
        }

        modal.exitModalState (-5);
    });

    window.runModalLoop();

    ASSERT_TRUE (atOpening.isValid());
    const auto& focused = GetParam().focusedWhenTheWindowOpens ? atOpening : afterTab;
    const auto& unfocused = GetParam().focusedWhenTheWindowOpens ? afterTab : atOpening;
    const int x = GetParam().x, y = focused.getHeight() / 2;
    EXPECT_EQ (focused.getPixelAt (x, y), markColour);
    EXPECT_NE (unfocused.getPixelAt (x, y), markColour);
}

INSTANTIATE_TEST_SUITE_P (Controls, AgreementFocusMark, ::testing::Values (
    // A thin outline just inside the button's edge, in its text colour.
    FocusMark { "AgreeButton", "buttonAgree", juce::TextButton::textColourOffId, 2, false },
    // The frame the framework draws round a focused editor.
    FocusMark { "Text", "new text editor", juce::TextEditor::focusedOutlineColourId, 1, true }),
    [] (const auto& info) { return std::string (info.param.description); });

//==============================================================================
struct KeyAnswer
{
    const char* description;
    std::vector<juce::KeyPress> keys;
    int expectedResult;
};

void PrintTo (const KeyAnswer& answer, std::ostream* out)    { *out << answer.description; }

class AgreementKeyAnswer : public ::testing::TestWithParam<KeyAnswer> {};

TEST_P (AgreementKeyAnswer, EndsTheModalLoopWithTheAnswerOfTheKeys)
{
    VOK_SetupWindow::EULA window;

    ModalAnswerer answerer (isAgreementWindow, [&] (juce::Component& modal)
    {
        for (auto& key : GetParam().keys)
            press (modal, key);
    });

    auto result = window.runModalLoop();

    EXPECT_TRUE (answerer.hasAnswered());
    EXPECT_EQ (result, GetParam().expectedResult);
}

INSTANTIATE_TEST_SUITE_P (Keys, AgreementKeyAnswer, ::testing::Values (
    KeyAnswer { "ReturnInTheText",       { returnKey },                 0 },
    KeyAnswer { "Escape",                { escape },                   -1 },
    KeyAnswer { "TabReturn",             { tab, returnKey },            0 },
    KeyAnswer { "TabTabReturn",          { tab, tab, returnKey },      -1 },
    KeyAnswer { "TabSpace",              { tab, space },                0 },
    KeyAnswer { "TabTabSpace",           { tab, tab, space },          -1 },
    KeyAnswer { "TabTabTabReturn",       { tab, tab, tab, returnKey },  0 },
    KeyAnswer { "ShiftTabReturn",        { shiftTab, returnKey },      -1 },
    KeyAnswer { "EscapeOnTheAgreeButton", { tab, escape },             -1 }),
    [] (const auto& info) { return std::string (info.param.description); });

//==============================================================================
/** The main window after the agreement was answered from the keyboard, with its settings
    and target directory in a private folder.
*/
class SetupWindowKeys : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QuitRecordingApplication::get().quitRequests = 0;
        folder = TemporaryFolder::createUniqueFolder ("vok-keys-test");
        ASSERT_NE (folder, juce::File());
        PluginWrittenSettings::open (getUserSettings(), false)->setValue ("DEFAULT_IMPULSE_PATH",
                                                                    getTarget().getFullPathName());

        ModalAnswerer agree (isAgreementWindow, [] (juce::Component& modal) { press (modal, returnKey); });
        window = std::make_unique<SetupWindow> (getUserSettings(), folder.getChildFile ("common").getChildFile ("VOK.settings"));
        ASSERT_TRUE (agree.hasAnswered());
        pumpMessages (200);
    }

    void TearDown() override
    {
        window.reset();
        pumpMessages (50);
        folder.deleteRecursively();
    }

    juce::File getUserSettings() const    { return folder.getChildFile ("user").getChildFile ("VOK.settings"); }
    juce::File getTarget() const          { return folder.getChildFile ("Impulses"); }
    int getQuitRequests() const           { return QuitRecordingApplication::get().quitRequests; }

    juce::Button& getButton (const juce::String& text)
    {
        auto* button = dynamic_cast<juce::Button*> (findDescendant (*window, "new button", text));
        jassert (button != nullptr);
        return *button;
    }

    /** Presses Return (or the given key) in the main window and answers the box that follows
        with Return, as the keyboard user would; returns the box's message.
    */
    juce::String installAndAnswerTheBox (const juce::KeyPress& key)
    {
        juce::String message;
        ModalAnswerer answerer ([] (juce::Component& modal) { return dynamic_cast<juce::AlertWindow*> (&modal) != nullptr; },
                                [&] (juce::Component& modal)
        {
            message = dynamic_cast<juce::AlertWindow&> (modal).getDescription();
            press (modal, key);
        }, 60000);

        press (*window, returnKey);
        for (int i = 0; i < 600 && ! answerer.hasAnswered(); ++i)
            pumpMessages (50);

        pumpMessages (200);
        return message;
    }

    juce::File folder;
    std::unique_ptr<SetupWindow> window;
};

TEST_F (SetupWindowKeys, OpensWithTheFieldReadyAndTabGoesFieldBrowseInstallCancel)
{
    EXPECT_EQ (describeFocus(), "field");
    EXPECT_NE (dynamic_cast<juce::TextEditor*> (juce::Component::getCurrentlyFocusedComponent()), nullptr)
        << "the field is open for typing";

    EXPECT_EQ (followFocus (*window, tab, 4).joinIntoString (","), "...,Install,Cancel,field");
    EXPECT_EQ (followFocus (*window, shiftTab, 4).joinIntoString (","), "Cancel,Install,...,field");
    EXPECT_EQ (getQuitRequests(), 0);
}

TEST_F (SetupWindowKeys, EscapeCancelsBeforeAnInstallationFromTheFieldAndFromAButton)
{
    press (*window, escape);
    pumpMessages();
    EXPECT_EQ (getQuitRequests(), 1);

    followFocus (*window, tab, 2);
    ASSERT_EQ (describeFocus(), "Install");
    press (*window, escape);
    pumpMessages();
    EXPECT_EQ (getQuitRequests(), 2);
    EXPECT_FALSE (getTarget().exists()) << "Escape installed nothing";
}

TEST_F (SetupWindowKeys, SpaceOnCancelCancels)
{
    followFocus (*window, shiftTab, 1);
    ASSERT_EQ (describeFocus(), "Cancel");
    press (*window, space);
    pumpMessages();
    EXPECT_EQ (getQuitRequests(), 1);
}

TEST_F (SetupWindowKeys, ReturnInTheFieldInstallsWhatWasTypedThenEscapeCloses)
{
    auto* field = dynamic_cast<juce::TextEditor*> (juce::Component::getCurrentlyFocusedComponent());
    ASSERT_NE (field, nullptr);
    const auto typedTarget = folder.getChildFile ("Typed Impulses");
    field->setText (typedTarget.getFullPathName(), true);

    auto message = installAndAnswerTheBox (returnKey);

    EXPECT_TRUE (message.contains ("Installation successfully!")) << message;
    EXPECT_EQ (typedTarget.findChildFiles (juce::File::findFiles, false, "*.vok").size(), EmbeddedPack::getEntries().size());
    EXPECT_FALSE (getTarget().exists()) << "the stored directory was used instead of the typed one";

    EXPECT_EQ (describeFocus(), "Close") << "the focus comes back to the window after the box";
    EXPECT_EQ (followFocus (*window, tab, 2).joinIntoString (","), "text,Close")
        << "the field behind the log is out of reach";
    EXPECT_EQ (getQuitRequests(), 0);

    press (*window, escape);
    pumpMessages();
    EXPECT_EQ (getQuitRequests(), 1);
}

TEST_F (SetupWindowKeys, ReturnOnInstallInstallsAndTheBoxGoesWithEscape)
{
    followFocus (*window, tab, 2);
    ASSERT_EQ (describeFocus(), "Install");

    auto message = installAndAnswerTheBox (escape);

    EXPECT_TRUE (message.contains ("Installation successfully!")) << message;
    EXPECT_EQ (getTarget().findChildFiles (juce::File::findFiles, false, "*.vok").size(), EmbeddedPack::getEntries().size());
    EXPECT_FALSE (getButton ("Install").isVisible());
    EXPECT_EQ (describeFocus(), "Close");

    press (*window, returnKey);
    pumpMessages();
    EXPECT_EQ (getQuitRequests(), 1);
}
