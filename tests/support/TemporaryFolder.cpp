#include "TemporaryFolder.h"

#include <cerrno>
#include <random>

#if JUCE_WINDOWS
 #include <direct.h>
#else
 #include <sys/stat.h>
#endif

namespace
{
    juce::String randomName (const juce::String& prefix)
    {
        std::random_device source;
        juce::String name (prefix + "-");

        for (int i = 0; i < 4; ++i)
            name << juce::String::toHexString ((int) source()).paddedLeft ('0', 8);

        return name;
    }

    /** True when the folder was made now; false when something of that name existed or it failed. */
    bool makeFolderExclusively (const juce::File& folder)
    {
       #if JUCE_WINDOWS
        return _wmkdir (folder.getFullPathName().toWideCharPointer()) == 0;
       #else
        return mkdir (folder.getFullPathName().toRawUTF8(), 0700) == 0;
       #endif
    }
}

TemporaryFolder::TemporaryFolder (const juce::String& prefix)
    : folder (createUniqueFolder (prefix))
{
}

TemporaryFolder::~TemporaryFolder()
{
    if (folder == juce::File())
        return;

    // Tests make files read-only; the folder goes all the same. Links are not followed: one
    // may point out of the folder.
    for (auto& f : folder.findChildFiles (juce::File::findFiles, false, "*", juce::File::FollowSymlinks::no))
        f.setReadOnly (false);

    folder.deleteRecursively();
}

juce::File TemporaryFolder::createUniqueFolder (const juce::String& prefix)
{
    const auto temporary = juce::File::getSpecialLocation (juce::File::tempDirectory);

    for (int attempt = 0; attempt < 100; ++attempt)
    {
        const auto folder = temporary.getChildFile (randomName (prefix));

        if (makeFolderExclusively (folder))
            return folder;

        if (errno != EEXIST)
            break;
    }

    jassertfalse;
    return {};
}

juce::File TemporaryFolder::write (const juce::String& name, const juce::MemoryBlock& data) const
{
    auto file = getFile (name);
    file.replaceWithData (data.getData(), data.getSize());
    return file;
}
