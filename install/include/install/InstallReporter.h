#pragma once

#include <juce_core/juce_core.h>

/**
    Where the installation engine reports its progress: the setup panel shows each line in
    its log and each failure in a warning box, the command-line tool prints them.

    The engine calls logMessage for every step, and once more with showBox set for the
    failure that ends the step; it goes on only after the call has returned, so an
    implementation that shows a box waits until the user has dismissed it.
*/
class InstallReporter
{
public:
    virtual ~InstallReporter() = default;

    virtual void logMessage (const juce::String& message, bool showBox) = 0;

    /** Called again and again while the engine waits for another program (a writer holding
        the folder's lock): it waits a moment, during which a window goes on answering, and
        returns false when the user gave the installation up. By default it just waits.
    */
    virtual bool waitAMoment()
    {
        juce::Thread::sleep (20);
        return true;
    }
};
