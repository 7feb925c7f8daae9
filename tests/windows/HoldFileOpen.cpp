// vok_hold_file FILE-OR-FOLDER STOP-FILE SECONDS
//
// Keeps FILE open for writing, as an audio application that has the file loaded would,
// until STOP-FILE exists or SECONDS have passed. Windows lets no other process delete a
// file while it is open this way, which is the failure the Windows tests provoke with it.
// The file's bytes stay as they are: the stream appends, and nothing is written.
// A FOLDER is locked instead, as the installer and the vok tool lock the folder whose
// files they change, so that the tests can show a second writer waiting for the first.
// Prints "holding" once the file is open or the folder locked.

#include <safeio/FolderLock.h>
#include <juce_core/juce_core.h>

#include <cstdio>

static int holdUntil (const juce::File& stopFile, int seconds)
{
    std::printf ("holding\n");
    std::fflush (stdout);

    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, seconds) * 1000;

    while (! stopFile.exists() && juce::Time::getMillisecondCounter() < deadline)
        juce::Thread::sleep (50);

    return 0;
}

int main (int argc, char* argv[])
{
    if (argc != 4)
    {
        std::fprintf (stderr, "usage: vok_hold_file FILE-OR-FOLDER STOP-FILE SECONDS\n");
        return 2;
    }

    const juce::File file (juce::String::fromUTF8 (argv[1]));
    const juce::File stopFile (juce::String::fromUTF8 (argv[2]));
    const auto seconds = juce::String (argv[3]).getIntValue();

    if (file.isDirectory())
    {
        const FolderLock lock (file, "a test", 0);

        if (! lock.isLocked())
        {
            std::fprintf (stderr, "can't lock %s\n", argv[1]);
            return 1;
        }

        return holdUntil (stopFile, seconds);
    }

    if (! file.existsAsFile())
    {
        std::fprintf (stderr, "no such file: %s\n", argv[1]);
        return 1;
    }

    juce::FileOutputStream stream (file);

    if (stream.failedToOpen())
    {
        std::fprintf (stderr, "can't open %s: %s\n", argv[1], stream.getStatus().getErrorMessage().toRawUTF8());
        return 1;
    }

    return holdUntil (stopFile, seconds);
}
