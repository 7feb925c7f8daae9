#include "RenderProgress.h"

#include <cstdio>
#include <unistd.h>

RenderProgress::RenderProgress (juce::int64 totalFramesToDo)
    : totalFrames (std::max ((juce::int64) 1, totalFramesToDo)),
      shown (isatty (fileno (stderr)) != 0)
{
}

void RenderProgress::update (juce::int64 framesDone)
{
    const auto percent = (int) juce::jlimit ((juce::int64) 0, (juce::int64) 100, framesDone * 100 / totalFrames);

    if (! shown || percent == lastPercent)
        return;

    lastPercent = percent;
    constexpr int width = 40;
    const auto filled = percent * width / 100;

    std::fprintf (stderr, "\rRendering [%s%s] %3d%%", juce::String::repeatedString ("#", filled).toRawUTF8(),
                  juce::String::repeatedString (" ", width - filled).toRawUTF8(), percent);
    std::fflush (stderr);
}

void RenderProgress::finish()
{
    if (shown && lastPercent >= 0)
        std::fprintf (stderr, "\n");
}
