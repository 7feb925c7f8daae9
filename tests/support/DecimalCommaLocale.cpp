#include "DecimalCommaLocale.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
    bool writesDecimalComma()
    {
        char text[16] = {};
        std::snprintf (text, sizeof (text), "%.1f", 0.5);
        return std::strcmp (text, "0,5") == 0;
    }

    const char* const compiledName = "de_DE.UTF-8";
}

DecimalCommaLocale::DecimalCommaLocale()
    : previousLocale (std::setlocale (LC_ALL, nullptr))
{
    for (auto* name : { "de_DE.UTF-8", "de_DE.utf8", "de_DE" })
        if (switchTo (name))
            return;

    if (compileGermanLocale())
        switchTo (compiledName);
}

DecimalCommaLocale::~DecimalCommaLocale()
{
    std::setlocale (LC_ALL, previousLocale.c_str());

   #if ! JUCE_WINDOWS
    if (setLocalePath)
        unsetenv ("LOCPATH");
   #endif
}

bool DecimalCommaLocale::switchTo (const char* name)
{
    active = std::setlocale (LC_ALL, name) != nullptr && writesDecimalComma();
    return active;
}

bool DecimalCommaLocale::compileGermanLocale()
{
   #if JUCE_LINUX
    // The C library looks up LOCPATH on each switch, so a locale compiled just now is found.
    if (std::getenv ("LOCPATH") != nullptr || compiledLocales.getFolder() == juce::File())
        return false;

    const auto target = compiledLocales.getFile (compiledName);
    juce::ChildProcess localedef;

    if (! localedef.start (juce::StringArray { "localedef", "-i", "de_DE", "-f", "UTF-8", target.getFullPathName() }))
        return false;

    localedef.readAllProcessOutput();

    if (! target.isDirectory())
        return false;

    setLocalePath = setenv ("LOCPATH", compiledLocales.getFolder().getFullPathName().toRawUTF8(), 1) == 0;
    return setLocalePath;
   #else
    return false;
   #endif
}
