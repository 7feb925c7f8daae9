#pragma once

#include <juce_core/juce_core.h>

/** Runs the built vok executable with arguments and collects what it printed. */
struct ToolRunner
{
    struct Result
    {
        int exitStatus = -1;
        juce::String out, err;
    };

    /** Runs vok in workingDirectory; stdout and stderr are kept apart. */
    static Result run (const juce::StringArray& arguments, const juce::File& workingDirectory);
};
