#pragma once

#include <install/InstallReporter.h>

#include <functional>

/** Keeps every log line and every box text, and lets a test act on a line as it is reported
    (the engine goes on only after logMessage returns, so this is the moment between two steps).
*/
class RecordingReporter : public InstallReporter
{
public:
    void logMessage (const juce::String& message, bool showBox) override
    {
        lines.add (message);

        if (showBox)
            boxes.add (message);

        if (onLine != nullptr)
            onLine (message);
    }

    juce::StringArray lines;
    juce::StringArray boxes;
    std::function<void (const juce::String&)> onLine;
};
