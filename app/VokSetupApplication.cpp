#include "VokSetupApplication.h"
#include "SetupWindow.h"

VokSetupApplication::VokSetupApplication() = default;

VokSetupApplication::~VokSetupApplication() = default;

void VokSetupApplication::initialise (const juce::String&)
{
    // The command line has no meaning for the installer.
    mainWindow = std::make_unique<SetupWindow>();
}

void VokSetupApplication::shutdown()
{
    mainWindow.reset();
    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
}

const juce::String VokSetupApplication::getApplicationName()
{
    return "VOK Setup";
}

const juce::String VokSetupApplication::getApplicationVersion()
{
    return "1.0";
}

bool VokSetupApplication::moreThanOneInstanceAllowed()
{
    return true;
}

void VokSetupApplication::anotherInstanceStarted (const juce::String&)
{
    // Each copy is a complete installer of its own; nothing is handed over.
}
