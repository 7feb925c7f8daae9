#include "VOK_SetupWindow.h"
#include "FolderChooserField.h"
#include "SetupArtwork.h"
#include "SetupButton.h"
#include "SetupLayout.h"
#include "VOK_AgreementDialogBox.h"

#include <install/EmbeddedPack.h>
#include <install/InstallationRun.h>

namespace
{
    const juce::Colour windowBackground { 0xffd3d3d3 };
    const juce::Colour navyBackground   { 0xff303c6e };
    const juce::Colour installColour    { 0xff6969ff };

    const juce::String installVersionPrefix ("Install Version ");
    const juce::String installVersion (VOK_INSTALL_VERSION);

    constexpr int logDispatchMilliseconds = 5;

    // While the run waits for another writer, the window answers between short looks at the lock.
    constexpr int waitDispatchMilliseconds = 20;
    constexpr juce::uint32 logShowIntervalMilliseconds = 50;
}

//==============================================================================
VOK_SetupWindow::EULA::EULA()
    : juce::DocumentWindow ("VOK2 License and Legal Information", windowBackground,
                            juce::DocumentWindow::closeButton, true)
{
    // The window hands the focus it gets on to the first control of its content.
    setWantsKeyboardFocus (false);
    setContentOwned (new VOK_AgreementDialogBox(), true);
    centreWithSize (getWidth(), getHeight());
}

VOK_SetupWindow::EULA::~EULA() = default;

void VOK_SetupWindow::EULA::closeButtonPressed()
{
    exitModalState (-1);
}

//==============================================================================
VOK_SetupWindow::VOK_SetupWindow (const juce::File& userFile, const juce::File& commonFile)
    : userSettingsFile (userFile), commonSettingsFile (commonFile)
{
    setLookAndFeel (&lookAndFeel);
    createControls();
    setUpKeyboard();

    bannerImage = SetupArtwork::getBanner();
    logoImage = SetupArtwork::getLogo();

    setSize (SetupLayout::setupPanel.width, SetupLayout::setupPanel.height);

    logEditor->setVisible (false);
    closeButton->setVisible (false);

    versionLabel->setText (installVersionPrefix + installVersion, juce::dontSendNotification);

    if (userSettingsFile == juce::File())
    {
        // Without the settings the installer could neither propose a directory nor record
        // the chosen one for the plug-in, so it ends here; asking for the agreement first
        // would only delay that.
        showMessageBox (juce::MessageBoxIconType::InfoIcon, {}, "Setup Error - Can't find properties file (1)");
        requestQuit();
        return;
    }

    // Read without the framework's loader: the file's bytes must not be able to stop the start.
    presetDirectory (PluginSettings::readDefaultImpulsePath (userSettingsFile, getFallbackDirectory()));
    runAgreement();
}

VOK_SetupWindow::~VOK_SetupWindow()
{
    keys.reset();
    closeButton.reset();
    directoryGroup.reset();
    versionLabel.reset();
    installButton.reset();
    cancelButton.reset();
    directoryChooser.reset();
    logEditor.reset();
    setLookAndFeel (nullptr);
}

void VOK_SetupWindow::createControls()
{
    closeButton = SetupButton::create (*this, "new button", "Close", *this);

    directoryGroup = std::make_unique<juce::GroupComponent> ("new group", "2. Default Impulse-File Directory");
    addAndMakeVisible (directoryGroup.get());
    directoryGroup->setColour (juce::GroupComponent::outlineColourId, juce::Colour (0x66ffffff));
    directoryGroup->setColour (juce::GroupComponent::textColourId, juce::Colours::white);

    versionLabel = std::make_unique<juce::Label> ("new label", "Setup");
    addAndMakeVisible (versionLabel.get());
    versionLabel->setFont (juce::Font (15.0f, juce::Font::plain));
    versionLabel->setJustificationType (juce::Justification::centredLeft);
    versionLabel->setEditable (false, false, false);
    versionLabel->setColour (juce::Label::textColourId, juce::Colours::white);
    versionLabel->setColour (juce::TextEditor::textColourId, juce::Colour (0xff000000));
    versionLabel->setColour (juce::TextEditor::backgroundColourId, juce::Colour (0x00000000));

    installButton = SetupButton::create (*this, "new button", "Install", *this);
    installButton->setColour (juce::TextButton::buttonColourId, installColour);

    cancelButton = SetupButton::create (*this, "new button", "Cancel", *this);

    directoryChooser = std::make_unique<FolderChooserField> ("Search Location");
    addAndMakeVisible (directoryChooser.get());
    directoryChooser->setName ("new component");

    logEditor = std::make_unique<juce::TextEditor> ("new text editor");
    addAndMakeVisible (logEditor.get());
    logEditor->setMultiLine (true, true);
    logEditor->setReturnKeyStartsNewLine (true);
    logEditor->setReadOnly (true);
    logEditor->setScrollbarsShown (true);
    logEditor->setCaretVisible (true);
    logEditor->setPopupMenuEnabled (true);
    logEditor->setColour (juce::TextEditor::backgroundColourId, juce::Colours::white);
    // The look-and-feel's default text colour is white, which would leave the log unreadable.
    logEditor->setColour (juce::TextEditor::textColourId, juce::Colours::black);
    logEditor->setText ({}, true);
}

void VOK_SetupWindow::setUpKeyboard()
{
    // Hidden controls are skipped: before an installation the field, "...", "Install" and
    // "Cancel"; once it has started "Close" and the log.
    keys = std::make_unique<DialogKeys> (*this,
                                         std::vector<juce::Component*> { directoryChooser.get(), installButton.get(),
                                                                          cancelButton.get(), closeButton.get(),
                                                                          logEditor.get() },
                                         *installButton,
                                         std::vector<juce::Button*> { closeButton.get(), cancelButton.get() });
}

void VOK_SetupWindow::focusFirstControl()
{
    keys->focusFirstControl();
}

juce::String VOK_SetupWindow::getFallbackDirectory()
{
    return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory)
               .getChildFile ("VOK Impulses")
               .getFullPathName();
}

void VOK_SetupWindow::presetDirectory (const juce::String& storedPath)
{
    // A stored empty value means the user cleared the directory: show it empty rather than
    // resolving it against the working directory.
    auto directory = storedPath.isEmpty() ? juce::File()
                                          : juce::File::getCurrentWorkingDirectory().getChildFile (storedPath);

    directoryChooser->setCurrentFile (directory, true, juce::dontSendNotification);
}

void VOK_SetupWindow::runAgreement()
{
    auto agreement = std::make_unique<EULA>();
    auto result = agreement->runModalLoop();
    agreement.reset();

    if (result != 0)
        requestQuit();
}

void VOK_SetupWindow::requestQuit()
{
    if (auto* application = juce::JUCEApplicationBase::getInstance())
        application->systemRequestedQuit();
}

//==============================================================================
void VOK_SetupWindow::paint (juce::Graphics& g)
{
    g.fillAll (navyBackground);

    g.setColour (juce::Colours::black);
    g.drawImageWithin (bannerImage, 0, 0, 1500, 150, juce::RectanglePlacement::centred, false);

    g.setColour (juce::Colours::black);
    g.drawImage (logoImage, 517, 5, 150, 80, 0, 0, logoImage.getWidth(), logoImage.getHeight(), false);
}

void VOK_SetupWindow::resized()
{
    closeButton->setBounds (SetupLayout::closeButton.toRectangle());
    directoryGroup->setBounds (SetupLayout::directoryGroup.toRectangle());
    versionLabel->setBounds (SetupLayout::versionLabel.toRectangle());
    installButton->setBounds (SetupLayout::installButton.toRectangle());
    cancelButton->setBounds (SetupLayout::cancelButton.toRectangle());
    directoryChooser->setBounds (SetupLayout::directoryChooser.toRectangle());
    logEditor->setBounds (SetupLayout::logEditor.toRectangle());
}

void VOK_SetupWindow::buttonClicked (juce::Button* button)
{
    if (button == closeButton.get())
    {
        requestQuit();
    }
    else if (button == installButton.get())
    {
        if (runInstallation())
            showMessageBox (juce::MessageBoxIconType::InfoIcon, {}, "Installation successfully!");
    }
    else if (button == cancelButton.get())
    {
        requestQuit();
    }
}

//==============================================================================
bool VOK_SetupWindow::runInstallation()
{
    logEditor->setVisible (true);
    closeButton->setVisible (true);

    // Hidden at once, so that nothing can start a second run; their images fade away in place.
    auto& animator = juce::Desktop::getInstance().getAnimator();
    animator.fadeOut (cancelButton.get(), 1000);
    animator.fadeOut (installButton.get(), 1000);

    // The log covers the directory field: the keyboard must not reach it behind the log.
    directoryChooser->setEnabled (false);
    closeButton->grabKeyboardFocus();

    juce::MessageManager::getInstance()->runDispatchLoopUntil (logDispatchMilliseconds);

    // An empty field would otherwise mean the working directory, wherever the program was started.
    const auto directory = directoryChooser->getCurrentFileText().trim().isEmpty() ? juce::File()
                                                                                   : directoryChooser->getCurrentFile();

    InstallationRun installation (*this);
    const auto succeeded = installation.runInstallation (directory, EmbeddedPack::getEntries(), userSettingsFile, commonSettingsFile);
    showPendingLog();
    return succeeded;
}

void VOK_SetupWindow::logMessage (const juce::String& message, bool showBox)
{
    // A run over files with many presets logs thousands of lines a second: they are gathered
    // and shown at a bounded rate, so that a line costs the same however long the log is.
    pendingLog << message << "\n";

    if (showBox || juce::Time::getMillisecondCounter() - lastLogShown >= logShowIntervalMilliseconds)
        showPendingLog();

    if (showBox)
        showMessageBox (juce::MessageBoxIconType::WarningIcon, "!", message);
}

bool VOK_SetupWindow::waitAMoment()
{
    showPendingLog();
    juce::MessageManager::getInstance()->runDispatchLoopUntil (waitDispatchMilliseconds);
    // "Close" or the window's close button asked the application to quit: the wait is given up.
    return ! juce::MessageManager::getInstance()->hasStopMessageBeenSent();
}

void VOK_SetupWindow::showMessageBox (juce::MessageBoxIconType icon, const juce::String& title,
                                      const juce::String& message)
{
    // Once the box has gone, the focus goes back where it was: a window manager would see to
    // that, but without one the keyboard would reach no window at all.
    juce::Component::SafePointer<juce::Component> focused (juce::Component::getCurrentlyFocusedComponent());

    juce::AlertWindow::showMessageBox (icon, title, message);

    if (focused != nullptr && focused->isShowing())
        focused->grabKeyboardFocus();
}

void VOK_SetupWindow::showPendingLog()
{
    if (pendingLog.isNotEmpty())
    {
        // Appended at the end: setting the whole text again would copy and lay out all of it.
        logEditor->moveCaretToEnd();
        logEditor->insertTextAtCaret (pendingLog);
        pendingLog.clear();
    }

    // The run works synchronously on the message thread: this is where the window repaints
    // and where "Close" is heard.
    juce::MessageManager::getInstance()->runDispatchLoopUntil (logDispatchMilliseconds);
    lastLogShown = juce::Time::getMillisecondCounter();
}
