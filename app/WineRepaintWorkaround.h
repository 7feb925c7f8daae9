#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/**
    Makes partial repaints reach the screen when the program runs under Wine.

    The framework's Windows windows hold each repaint() back until the display's next
    vertical blank, which Wine does not signal: only whole-window redraws would then
    appear, never typed text, log lines or pressed buttons. While an object of this class
    exists, and only under Wine, the held-back repaints of every window are carried out
    sixty times a second. On Windows itself and on other systems it does nothing.

    The application keeps one for as long as it has windows.
*/
class WineRepaintWorkaround  : private juce::Timer
{
public:
    WineRepaintWorkaround();
    ~WineRepaintWorkaround() override;

    /** True when the program runs under Wine, where the workaround is active. */
    static bool isRunningUnderWine();

private:
    void timerCallback() override;

    JUCE_DECLARE_NON_COPYABLE (WineRepaintWorkaround)
};
