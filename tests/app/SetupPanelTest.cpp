#include "GuiTestSupport.h"
#include <install/PluginSettings.h>
#include "PluginWrittenSettings.h"
#include <app/SetupLayout.h>
#include "TemporaryFolder.h"
#include <app/VOK_SetupWindow.h>

#include <optional>

namespace
{
    bool isAgreementWindow (juce::Component& modal)    { return modal.getName() == agreementTitle; }

    /** A private folder for one test's settings file, removed afterwards. */
    class SettingsFolder
    {
    public:
        juce::File getSettingsFile() const    { return folder.getFile ("VOK").getChildFile ("VOK.settings"); }

        juce::MemoryBlock loadSettingsBytes() const
        {
            juce::MemoryBlock bytes;
            getSettingsFile().loadFileAsData (bytes);
            return bytes;
        }

        void store (const juce::String& key, const juce::String& value) const
        {
            PluginWrittenSettings::open (getSettingsFile(), false)->setValue (key, value);
            ASSERT_TRUE (getSettingsFile().existsAsFile());
        }

    private:
        TemporaryFolder folder { "vok-app-test" };
    };

    juce::String getDocumentsFallback()
    {
        return juce::File ("~/Documents/VOK Impulses").getFullPathName();
    }

    juce::FilenameComponent& getDirectoryField (VOK_SetupWindow& panel)
    {
        auto* field = dynamic_cast<juce::FilenameComponent*> (findDescendant (panel, "new component"));
        jassert (field != nullptr);
        return *field;
    }

    juce::Button& getButton (VOK_SetupWindow& panel, const juce::String& text)
    {
        auto* button = dynamic_cast<juce::Button*> (findDescendant (panel, "new button", text));
        jassert (button != nullptr);
        return *button;
    }
}

class SetupPanel : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QuitRecordingApplication::get().quitRequests = 0;
    }

    int getQuitRequests() const    { return QuitRecordingApplication::get().quitRequests; }

    /** Builds the panel, answering its agreement window with the named button. */
    std::unique_ptr<VOK_SetupWindow> buildPanel (const juce::File& settingsFile,
                                                 const juce::String& agreementButton = "buttonAgree")
    {
        ModalAnswerer answerer (isAgreementWindow, [&] (juce::Component& modal)
        {
            clickButtonIn (modal, agreementButton);
        });

        auto panel = std::make_unique<VOK_SetupWindow> (settingsFile);
        EXPECT_TRUE (answerer.hasAnswered()) << "the agreement window did not run";
        return panel;
    }

    SettingsFolder settings;
};

TEST_F (SetupPanel, ReadyStateShowsTheLayoutWithoutLogAndClose)
{
    auto panel = buildPanel (settings.getSettingsFile());
    EXPECT_EQ (panel->getLocalBounds(), SetupLayout::setupPanel.toRectangle());

    struct ExpectedChild { const char* name; const char* buttonText; SetupLayout::Box box; bool visible; };
    const ExpectedChild children[] = {
        { "new button",      "Close",   SetupLayout::closeButton,      false },
        { "new group",       "",        SetupLayout::directoryGroup,   true },
        { "new label",       "",        SetupLayout::versionLabel,     true },
        { "new button",      "Install", SetupLayout::installButton,    true },
        { "new button",      "Cancel",  SetupLayout::cancelButton,     true },
        { "new component",   "",        SetupLayout::directoryChooser, true },
        { "new text editor", "",        SetupLayout::logEditor,        false },
    };

    ASSERT_EQ (panel->getNumChildComponents(), (int) std::size (children));

    for (size_t i = 0; i < std::size (children); ++i)
    {
        auto& expected = children[i];
        auto* child = panel->getChildComponent ((int) i);
        SCOPED_TRACE (juce::String (expected.name) + " " + expected.buttonText);

        EXPECT_EQ (child->getName(), expected.name) << "children are created in this order; the log is on top";
        EXPECT_EQ (child->getBounds(), expected.box.toRectangle());
        EXPECT_EQ (child->isVisible(), expected.visible);

        if (auto* button = dynamic_cast<juce::Button*> (child))
        {
            EXPECT_EQ (button->getButtonText(), expected.buttonText);
        }
    }

    auto* group = dynamic_cast<juce::GroupComponent*> (findDescendant (*panel, "new group"));
    ASSERT_NE (group, nullptr);
    EXPECT_EQ (group->getText(), "2. Default Impulse-File Directory");
    EXPECT_EQ (group->findColour (juce::GroupComponent::outlineColourId), juce::Colour (0x66ffffff));
    EXPECT_EQ (group->findColour (juce::GroupComponent::textColourId), juce::Colours::white);

    auto* label = dynamic_cast<juce::Label*> (findDescendant (*panel, "new label"));
    ASSERT_NE (label, nullptr);
    EXPECT_EQ (label->getText(), "Install Version 2.1.004");
    EXPECT_EQ (label->findColour (juce::Label::textColourId), juce::Colours::white);
    EXPECT_FALSE (label->isEditable());

    EXPECT_EQ (getButton (*panel, "Install").findColour (juce::TextButton::buttonColourId), juce::Colour (0xff6969ff));

    auto* log = dynamic_cast<juce::TextEditor*> (findDescendant (*panel, "new text editor"));
    ASSERT_NE (log, nullptr);
    EXPECT_TRUE (log->isReadOnly());
    EXPECT_TRUE (log->isMultiLine());
    EXPECT_TRUE (log->getText().isEmpty());
    EXPECT_EQ (log->findColour (juce::TextEditor::backgroundColourId), juce::Colours::white);

    EXPECT_EQ (getQuitRequests(), 0);
}

TEST_F (SetupPanel, RefusingTheAgreementAsksToQuitButStillBuildsThePanel)
{
    auto panel = buildPanel (settings.getSettingsFile(), "buttoncancel");

    EXPECT_EQ (getQuitRequests(), 1);
    EXPECT_EQ (getDirectoryField (*panel).getCurrentFileText(), getDocumentsFallback());
}

TEST_F (SetupPanel, ClosingTheAgreementFromItsTitleBarAsksToQuit)
{
    ModalAnswerer answerer (isAgreementWindow, [] (juce::Component& modal)
    {
        dynamic_cast<juce::DocumentWindow&> (modal).getCloseButton()->triggerClick();
    });

    VOK_SetupWindow panel (settings.getSettingsFile());

    EXPECT_TRUE (answerer.hasAnswered());
    EXPECT_EQ (getQuitRequests(), 1);
}

TEST_F (SetupPanel, CancelAndCloseAskToQuit)
{
    auto panel = buildPanel (settings.getSettingsFile());

    getButton (*panel, "Cancel").triggerClick();
    pumpMessages();
    EXPECT_EQ (getQuitRequests(), 1);

    // "Close" is what an installation leaves on screen.
    getButton (*panel, "Close").setVisible (true);
    getButton (*panel, "Close").triggerClick();
    pumpMessages();
    EXPECT_EQ (getQuitRequests(), 2);
}

TEST_F (SetupPanel, TheBrowseButtonOpensAFolderChooserTitledChooseANewFile)
{
    auto panel = buildPanel (settings.getSettingsFile());
    auto* browseButton = dynamic_cast<juce::Button*> (findDescendant (getDirectoryField (*panel), "..."));
    ASSERT_NE (browseButton, nullptr);

    juce::String chooserTitle;
    ModalAnswerer answerer ([] (juce::Component& modal) { return dynamic_cast<juce::FileChooserDialogBox*> (&modal) != nullptr; },
                            [&] (juce::Component& modal)
    {
        chooserTitle = modal.getName();
        modal.exitModalState (0);
    });

    browseButton->triggerClick();

    for (int waited = 0; waited < 50 && ! answerer.hasAnswered(); ++waited)
        pumpMessages();

    ASSERT_TRUE (answerer.hasAnswered()) << "no folder chooser was shown";
    EXPECT_EQ (chooserTitle, "Choose a new file");
    EXPECT_EQ (getDirectoryField (*panel).getCurrentFileText(), getDocumentsFallback()) << "a cancelled choice changes nothing";
}

TEST_F (SetupPanel, MissingSettingsLocationShowsTheErrorAndAsksToQuit)
{
    juce::String boxTitle, boxDescription;
    auto boxIcon = juce::MessageBoxIconType::NoIcon;
    int boxButtons = 0;

    ModalAnswerer answerer ([] (juce::Component& modal) { return dynamic_cast<juce::AlertWindow*> (&modal) != nullptr; },
                            [&] (juce::Component& modal)
    {
        auto& box = dynamic_cast<juce::AlertWindow&> (modal);
        boxTitle = box.getName();
        boxDescription = box.getDescription();
        boxIcon = box.getAlertType();
        boxButtons = box.getNumButtons();
        box.exitModalState (0);
    });

    VOK_SetupWindow panel { juce::File() };

    ASSERT_TRUE (answerer.hasAnswered()) << "no message box was shown";
    EXPECT_TRUE (boxTitle.isEmpty());
    // The box describes itself to accessibility clients as "<title>. <message>".
    EXPECT_EQ (boxDescription, ". Setup Error - Can't find properties file (1)");
    EXPECT_EQ (boxIcon, juce::MessageBoxIconType::InfoIcon);
    EXPECT_EQ (boxButtons, 1);
    EXPECT_EQ (getQuitRequests(), 1);
    EXPECT_TRUE (getDirectoryField (panel).getCurrentFileText().isEmpty());
}

//==============================================================================
struct StoredDirectory
{
    const char* description;
    std::optional<std::pair<juce::String, juce::String>> storedProperty;   // key, value
    std::function<juce::String()> expectedField;
};

void PrintTo (const StoredDirectory& stored, std::ostream* out)    { *out << stored.description; }

class SetupPanelDirectory : public SetupPanel,
                            public ::testing::WithParamInterface<StoredDirectory> {};

TEST_P (SetupPanelDirectory, ShowsTheStoredPathOrTheDocumentsFallback)
{
    auto& property = GetParam().storedProperty;

    if (property.has_value())
        settings.store (property->first, property->second);

    auto fileBefore = settings.loadSettingsBytes();
    auto panel = buildPanel (settings.getSettingsFile());

    EXPECT_EQ (getDirectoryField (*panel).getCurrentFileText(), GetParam().expectedField());

    // Reading the settings must leave them exactly as they were, and create nothing.
    EXPECT_EQ (settings.getSettingsFile().existsAsFile(), property.has_value());
    EXPECT_EQ (settings.loadSettingsBytes(), fileBefore);
}

INSTANTIATE_TEST_SUITE_P (Cases, SetupPanelDirectory, ::testing::Values (
    StoredDirectory { "NoSettingsFile", std::nullopt, getDocumentsFallback },
    StoredDirectory { "OtherKeysOnly", std::pair<juce::String, juce::String> { "LAST_PRESET", "Hall" }, getDocumentsFallback },
    StoredDirectory { "StoredPath", std::pair<juce::String, juce::String> { "DEFAULT_IMPULSE_PATH", "/data/My Impulses" },
                      [] { return juce::String ("/data/My Impulses"); } },
    StoredDirectory { "KeyInOtherCase", std::pair<juce::String, juce::String> { "default_impulse_path", "/data/lower" },
                      [] { return juce::String ("/data/lower"); } },
    StoredDirectory { "TrailingSeparator", std::pair<juce::String, juce::String> { "DEFAULT_IMPULSE_PATH", "/data/IRs/" },
                      [] { return juce::String ("/data/IRs"); } },
    StoredDirectory { "StoredEmpty", std::pair<juce::String, juce::String> { "DEFAULT_IMPULSE_PATH", "" },
                      [] { return juce::String(); } }),
    [] (const auto& info) { return std::string (info.param.description); });

TEST (SetupPanelFallback, IsTheVokImpulsesFolderInTheDocumentsFolder)
{
    auto expected = juce::File::getSpecialLocation (juce::File::userHomeDirectory)
                        .getChildFile ("Documents").getChildFile ("VOK Impulses").getFullPathName();
    EXPECT_EQ (getDocumentsFallback(), expected);
    EXPECT_EQ (juce::File::getSpecialLocation (juce::File::userDocumentsDirectory).getChildFile ("VOK Impulses")
                   .getFullPathName(), expected);
}
