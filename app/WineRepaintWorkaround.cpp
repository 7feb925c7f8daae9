#include "WineRepaintWorkaround.h"

#if JUCE_WINDOWS
namespace juce
{
    // Defined by the framework's Windows code, which asks it for Wine's font quirks too.
    bool juce_isRunningInWine();
}
#endif

namespace
{
    constexpr int repaintsPerSecond = 60;
}

WineRepaintWorkaround::WineRepaintWorkaround()
{
    if (isRunningUnderWine())
        startTimerHz (repaintsPerSecond);
}

WineRepaintWorkaround::~WineRepaintWorkaround()
{
    stopTimer();
}

bool WineRepaintWorkaround::isRunningUnderWine()
{
   #if JUCE_WINDOWS
    return juce::juce_isRunningInWine();
   #else
    return false;
   #endif
}

void WineRepaintWorkaround::timerCallback()
{
    for (int i = juce::ComponentPeer::getNumPeers(); --i >= 0;)
        if (auto* peer = juce::ComponentPeer::getPeer (i))
            peer->performAnyPendingRepaintsNow();
}
