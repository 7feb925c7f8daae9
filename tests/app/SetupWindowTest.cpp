#include "GuiTestSupport.h"
#include <app/SetupLayout.h>
#include <app/SetupWindow.h>
#include "TemporaryFolder.h"
#include <app/VOK_SetupWindow.h>

namespace
{
    juce::Component* findTopLevelWindow (const juce::String& title)
    {
        auto& desktop = juce::Desktop::getInstance();

        for (int i = 0; i < desktop.getNumComponents(); ++i)
            if (auto* window = desktop.getComponent (i); window->getName() == title)
                return window;

        return nullptr;
    }
}

TEST (SetupWindow, AppearsCentredAfterTheAgreementAndHoldsThePanel)
{
    TemporaryFolder temporary ("vok-window-test");
    const auto settingsFolder = temporary.getFile ("settings");
    bool mainWindowVisibleDuringAgreement = true;
    bool agreementWasTheModalWindow = false;

    ModalAnswerer answerer ([] (juce::Component& modal) { return modal.getName() == agreementTitle; },
                            [&] (juce::Component& modal)
    {
        agreementWasTheModalWindow = true;
        auto* main = findTopLevelWindow ("VOK Setup");
        mainWindowVisibleDuringAgreement = main != nullptr && main->isVisible();
        clickButtonIn (modal, "buttonAgree");
    });

    SetupWindow window (settingsFolder.getChildFile ("VOK.settings"));

    EXPECT_TRUE (agreementWasTheModalWindow);
    EXPECT_FALSE (mainWindowVisibleDuringAgreement);
    EXPECT_EQ (findTopLevelWindow (agreementTitle), nullptr) << "the agreement window is deleted";

    EXPECT_EQ (window.getName(), "VOK Setup");
    EXPECT_TRUE (window.isVisible());
    EXPECT_EQ (window.getBackgroundColour(), juce::Colour (0xffd3d3d3));
    EXPECT_NE (window.getCloseButton(), nullptr);
    EXPECT_EQ (window.getMinimiseButton(), nullptr);
    EXPECT_EQ (window.getMaximiseButton(), nullptr);

    auto* panel = dynamic_cast<VOK_SetupWindow*> (window.getContentComponent());
    ASSERT_NE (panel, nullptr);
    EXPECT_EQ (panel->getLocalBounds(), SetupLayout::setupPanel.toRectangle());

    auto screenCentre = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea.getCentre();
    EXPECT_LE (window.getScreenBounds().getCentre().getDistanceFrom (screenCentre), 1);

    EXPECT_FALSE (settingsFolder.exists()) << "building the window writes no settings";
}
