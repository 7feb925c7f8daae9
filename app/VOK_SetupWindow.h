#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "DialogKeys.h"
#include "FocusOutlineLookAndFeel.h"
#include <install/InstallReporter.h>
#include <install/PluginSettings.h>

#include <memory>

/**
    The installer's one screen: banner, pack logo and version, the choice of the impulse
    directory, "Install" and "Cancel"; during an installation the log and "Close".

    Building the panel looks up the directory stored in the plug-in's settings and then
    runs the agreement window modally, so the constructor returns only once the user has
    answered it. Refusing asks the application to quit.

    From the keyboard, Tab moves through the directory field, "...", "Install" and "Cancel"
    ("Close" and the log once an installation has started); Return in the field installs,
    Escape cancels before an installation and closes after one.
*/
class VOK_SetupWindow : public juce::Component,
                        public juce::Button::Listener,
                        public InstallReporter
{
public:
    /** The window that shows the agreement; its modal result is 0 when the user agreed. */
    class EULA : public juce::DocumentWindow
    {
    public:
        EULA();
        ~EULA() override;

        void closeButtonPressed() override;

    private:
        JUCE_DECLARE_NON_COPYABLE (EULA)
    };

    /** userSettingsFile is the plug-in's per-user settings file, commonSettingsFile the one
        for all users; File() when the platform has no place for it.
    */
    explicit VOK_SetupWindow (const juce::File& userSettingsFile = PluginSettings::getUserSettingsFile(),
                              const juce::File& commonSettingsFile = PluginSettings::getCommonSettingsFile());
    ~VOK_SetupWindow() override;

    void paint (juce::Graphics&) override;
    void resized() override;
    void buttonClicked (juce::Button*) override;

    /** Puts the keyboard focus on the directory field, open for typing; for when the window shows. */
    void focusFirstControl();

    /** Installs the pack into the chosen directory, reporting through logMessage();
        true only when every file was installed.
    */
    bool runInstallation();

    /** Appends a line to the log and, when showBox is set, shows it in a warning box too. */
    void logMessage (const juce::String& message, bool showBox) override;

    /** Keeps the window answering while the run waits for another program; false once the
        user has closed the window, which gives the wait up.
    */
    bool waitAMoment() override;

private:
    FocusOutlineLookAndFeel lookAndFeel;
    std::unique_ptr<juce::TextButton> closeButton;
    std::unique_ptr<juce::GroupComponent> directoryGroup;
    std::unique_ptr<juce::Label> versionLabel;
    std::unique_ptr<juce::TextButton> installButton;
    std::unique_ptr<juce::TextButton> cancelButton;
    std::unique_ptr<juce::FilenameComponent> directoryChooser;
    std::unique_ptr<juce::TextEditor> logEditor;
    juce::String pendingLog;
    juce::uint32 lastLogShown = 0;
    juce::Image bannerImage;
    juce::Image logoImage;
    const juce::File userSettingsFile, commonSettingsFile;
    std::unique_ptr<DialogKeys> keys;

    void createControls();
    void setUpKeyboard();
    void presetDirectory (const juce::String& storedPath);
    void showPendingLog();
    void runAgreement();

    static juce::String getFallbackDirectory();
    static void requestQuit();
    static void showMessageBox (juce::MessageBoxIconType, const juce::String& title, const juce::String& message);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VOK_SetupWindow)
};
