#pragma once

#include "TemporaryFolder.h"

#include <string>

/**
    Puts the process under a C locale that writes numbers with a decimal comma (German) for
    as long as the object lives, then restores the one before. The system's own German locale
    is taken when it is installed; otherwise one is compiled with localedef into a temporary
    folder. isActive() tells whether either worked.
*/
class DecimalCommaLocale
{
public:
    DecimalCommaLocale();
    ~DecimalCommaLocale();

    bool isActive() const noexcept    { return active; }

private:
    std::string previousLocale;
    TemporaryFolder compiledLocales { "vok-locale" };
    bool setLocalePath = false;
    bool active = false;

    bool switchTo (const char* name);
    bool compileGermanLocale();

    JUCE_DECLARE_NON_COPYABLE (DecimalCommaLocale)
};
