#pragma once

#include <juce_core/juce_core.h>

/**
    A progress bar for a long command, drawn on stderr in place, and only when stderr is a
    terminal: a log file or a pipe gets nothing of it.
*/
class RenderProgress
{
public:
    explicit RenderProgress (juce::int64 totalFramesToDo);

    /** Redraws the bar when the whole percentage has changed. */
    void update (juce::int64 framesDone);

    /** Ends the bar's line. */
    void finish();

private:
    const juce::int64 totalFrames;
    const bool shown;
    int lastPercent = -1;
};
