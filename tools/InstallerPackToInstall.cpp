// The pack as the installer program beside this one carries it (the Debian package's vok).

#include "PackToInstall.h"
#include "Command.h"

#include <install/InstallerProgramPack.h>
#include <embedded/PackFileListing.h>

namespace
{
    std::vector<InstallerProgramPack::ListedFile> getListing()
    {
        std::vector<InstallerProgramPack::ListedFile> listing;

        for (auto& file : packFileListing)
            listing.push_back ({ juce::String::fromUTF8 (file.fileName), file.size });

        return listing;
    }

    // The package puts both programs in one folder; the installer's name has no space there.
    // The system names the file this program was started from (the framework's guess from
    // the loader's records misses it in a wholly static program).
    juce::File getInstallerProgram()
    {
        return juce::File ("/proc/self/exe").getLinkedTarget().getSiblingFile ("vok-setup");
    }
}

struct PackToInstall::Source
{
    InstallerProgramPack pack { getInstallerProgram(), getListing() };
};

PackToInstall::PackToInstall()
    : source (std::make_unique<Source>())
{
    if (source->pack.getError().isNotEmpty())
        throw Command::Failure { "Can't find the pack: " + source->pack.getError() };
}

PackToInstall::~PackToInstall() = default;

juce::Array<ImpulseFileEntry> PackToInstall::getEntries() const
{
    return source->pack.getEntries();
}
