#include "ToolRunner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace
{
    juce::String readAndDelete (const juce::File& file)
    {
        auto text = file.loadFileAsString();
        file.deleteFile();
        return text;
    }
}

// juce::ChildProcess merges stdout and stderr; the tests need them apart.
ToolRunner::Result ToolRunner::run (const juce::StringArray& arguments, const juce::File& workingDirectory)
{
    const auto outFile = workingDirectory.getNonexistentChildFile ("vok-stdout", ".txt", false);
    const auto errFile = workingDirectory.getNonexistentChildFile ("vok-stderr", ".txt", false);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_addopen (&actions, 1, outFile.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen (&actions, 2, errFile.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    juce::StringArray commandLine (VOK_EXECUTABLE);
    commandLine.addArray (arguments);

    std::vector<char*> argv;

    for (auto& word : commandLine)
        argv.push_back (const_cast<char*> (word.toRawUTF8()));

    argv.push_back (nullptr);

    Result result;
    const auto previousDirectory = juce::File::getCurrentWorkingDirectory();
    workingDirectory.setAsCurrentWorkingDirectory();

    pid_t pid = 0;
    const auto spawned = posix_spawn (&pid, VOK_EXECUTABLE, &actions, nullptr, argv.data(), environ) == 0;

    previousDirectory.setAsCurrentWorkingDirectory();
    posix_spawn_file_actions_destroy (&actions);

    if (spawned)
    {
        int status = 0;

        if (waitpid (pid, &status, 0) == pid && WIFEXITED (status))
            result.exitStatus = WEXITSTATUS (status);
    }

    result.out = readAndDelete (outFile);
    result.err = readAndDelete (errFile);
    return result;
}
