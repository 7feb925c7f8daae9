#include "VokSetupApplication.h"
#include <install/ProcessMemory.h>
#include "SetupWindow.h"
#include "WineRepaintWorkaround.h"

VokSetupApplication::VokSetupApplication() = default;

VokSetupApplication::~VokSetupApplication() = default;

void VokSetupApplication::initialise (const juce::String&)
{
    // The command line has no meaning for the installer.
    ProcessMemory::keepFreedBuffersForReuse();

    // The agreement runs modally inside the main window's constructor, so repaints must
    // already work under Wine before that window is built.
    wineRepaints = std::make_unique<WineRepaintWorkaround>();
    mainWindow = std::make_unique<SetupWindow>();
}

void VokSetupApplication::shutdown()
{
    mainWindow.reset();
    wineRepaints.reset();
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
