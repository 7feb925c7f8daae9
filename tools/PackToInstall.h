#pragma once

#include <install/ImpulseFileEntry.h>

#include <memory>

/**
    Where "vok install" takes the pack from. A vok built here carries the pack in its own file,
    as the installer does; the Debian package's vok carries none and takes it from the
    installer program beside it (vok-setup), so that the package holds the pack once. Which
    of the two a program does is chosen by the file it is linked with.
*/
class PackToInstall
{
public:
    /** Finds the pack. @throws Command::Failure saying why it can't be had */
    PackToInstall();
    ~PackToInstall();

    /** The pack's files in install order, valid while this object lives. */
    juce::Array<ImpulseFileEntry> getEntries() const;

private:
    struct Source;
    std::unique_ptr<Source> source;

    JUCE_DECLARE_NON_COPYABLE (PackToInstall)
};
