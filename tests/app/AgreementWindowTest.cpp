#include "GuiTestSupport.h"
#include <app/AgreementText.h>
#include <app/SetupLayout.h>
#include <app/VOK_AgreementDialogBox.h>
#include <app/VOK_SetupWindow.h>

namespace
{
    bool isAgreementWindow (juce::Component& modal)    { return modal.getName() == agreementTitle; }

    juce::Point<int> getMainDisplayCentre()
    {
        return juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea.getCentre();
    }
}

TEST (AgreementWindow, IsBuiltWithItsTitleSizeAndControls)
{
    VOK_SetupWindow::EULA window;

    EXPECT_EQ (window.getName(), agreementTitle);
    EXPECT_EQ (window.getBackgroundColour(), juce::Colour (0xffd3d3d3));
    EXPECT_NE (window.getCloseButton(), nullptr);
    EXPECT_EQ (window.getMinimiseButton(), nullptr);
    EXPECT_EQ (window.getMaximiseButton(), nullptr);
    EXPECT_TRUE (window.isOnDesktop());
    EXPECT_FALSE (window.isVisible()) << "the caller's modal loop shows it";
    EXPECT_LE (window.getScreenBounds().getCentre().getDistanceFrom (getMainDisplayCentre()), 1);

    auto* content = dynamic_cast<VOK_AgreementDialogBox*> (window.getContentComponent());
    ASSERT_NE (content, nullptr);
    EXPECT_EQ (content->getLocalBounds(), SetupLayout::agreementContent.toRectangle());
    EXPECT_EQ (content->getParentComponent(), &window);

    struct ExpectedButton { const char* name; const char* text; SetupLayout::Box box; };
    const ExpectedButton buttons[] = {
        { "buttonAgree",  "I Agree", SetupLayout::agreeButton },
        { "buttoncancel", "Cancel",  SetupLayout::agreementCancelButton },
    };

    for (auto& expected : buttons)
    {
        auto* button = dynamic_cast<juce::TextButton*> (findDescendant (*content, expected.name));
        ASSERT_NE (button, nullptr) << expected.name;
        EXPECT_EQ (button->getButtonText(), expected.text);
        EXPECT_EQ (button->getBounds(), expected.box.toRectangle()) << expected.name;
        EXPECT_TRUE (button->isVisible());
    }

    auto* agree = dynamic_cast<juce::TextButton*> (findDescendant (*content, "buttonAgree"));
    EXPECT_EQ (agree->findColour (juce::TextButton::buttonColourId), juce::Colour (0xff8282ff));

    auto* editor = dynamic_cast<juce::TextEditor*> (findDescendant (*content, "new text editor"));
    ASSERT_NE (editor, nullptr);
    EXPECT_EQ (editor->getBounds(), SetupLayout::agreementEditor.toRectangle());
    EXPECT_TRUE (editor->isReadOnly());
    EXPECT_TRUE (editor->isMultiLine());
    EXPECT_TRUE (editor->getReturnKeyStartsNewLine());
    EXPECT_TRUE (editor->areScrollbarsShown());
    EXPECT_TRUE (editor->isPopupMenuEnabled());
    EXPECT_EQ (editor->getText(), AgreementText::get());
    EXPECT_GT (editor->getTextHeight(), editor->getHeight()) << "the text is long enough to scroll";
}

TEST (AgreementWindow, TypingDoesNotChangeTheText)
{
    VOK_SetupWindow::EULA window;
    auto* editor = dynamic_cast<juce::TextEditor*> (findDescendant (window, "new text editor"));
    ASSERT_NE (editor, nullptr);

    editor->setCaretPosition (10);
    editor->keyPressed (juce::KeyPress ('x', {}, 'x'));
    editor->keyPressed (juce::KeyPress (juce::KeyPress::backspaceKey));
    editor->keyPressed (juce::KeyPress (juce::KeyPress::returnKey));

    EXPECT_EQ (editor->getText(), AgreementText::get());
}

//==============================================================================
struct AgreementAnswer
{
    const char* description;
    std::function<void (juce::Component&)> answer;
    int expectedResult;
};

void PrintTo (const AgreementAnswer& answer, std::ostream* out)    { *out << answer.description; }

class AgreementWindowAnswer : public ::testing::TestWithParam<AgreementAnswer> {};

TEST_P (AgreementWindowAnswer, EndsTheModalLoopWithItsResult)
{
    VOK_SetupWindow::EULA window;
    bool wasShowingWhenAnswered = false;

    ModalAnswerer answerer (isAgreementWindow, [&] (juce::Component& modal)
    {
        wasShowingWhenAnswered = modal.isShowing();
        GetParam().answer (modal);
    });

    auto result = window.runModalLoop();

    EXPECT_TRUE (answerer.hasAnswered());
    EXPECT_TRUE (wasShowingWhenAnswered);
    EXPECT_EQ (result, GetParam().expectedResult);
    EXPECT_FALSE (window.isCurrentlyModal());
}

INSTANTIATE_TEST_SUITE_P (Answers, AgreementWindowAnswer, ::testing::Values (
    AgreementAnswer { "IAgree", [] (juce::Component& w) { clickButtonIn (w, "buttonAgree"); }, 0 },
    AgreementAnswer { "Cancel", [] (juce::Component& w) { clickButtonIn (w, "buttoncancel"); }, -1 },
    AgreementAnswer { "TitleBarClose", [] (juce::Component& w)
                      {
                          dynamic_cast<juce::DocumentWindow&> (w).getCloseButton()->triggerClick();
                      }, -1 }),
    [] (const auto& info) { return std::string (info.param.description); });
