#include "VokSetupApplication.h"

#if JUCE_LINUX
 #include <cstdio>
 #include <cstring>

JUCE_CREATE_APPLICATION_DEFINE (VokSetupApplication)

// "vok-setup --version" answers from the shell, as the other commands of the package do, and
// opens no window; every other command line starts the installer, which ignores it.
int main (int argc, char* argv[])
{
    if (argc == 2 && std::strcmp (argv[1], "--version") == 0)
    {
        std::printf ("vok-setup %s\n", VOK_INSTALL_VERSION);
        return 0;
    }

    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main (argc, const_cast<const char**> (argv));
}
#else
START_JUCE_APPLICATION (VokSetupApplication)
#endif
