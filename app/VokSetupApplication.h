#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class SetupWindow;
class WineRepaintWorkaround;

/** The installer application: one main window, built (after the agreement) at start-up. */
class VokSetupApplication : public juce::JUCEApplication
{
public:
    VokSetupApplication();
    ~VokSetupApplication() override;

    void initialise (const juce::String& commandLine) override;
    void shutdown() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void anotherInstanceStarted (const juce::String& commandLine) override;

private:
    std::unique_ptr<WineRepaintWorkaround> wineRepaints;
    std::unique_ptr<SetupWindow> mainWindow;
};
