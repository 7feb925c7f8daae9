/** @file
    ReadFailure: why a read of an impulse file failed.
*/
#pragma once

#include <juce_core/juce_core.h>

/**
    Why a read of an impulse file failed: the cause, on which a caller's advice to the user
    depends, and the reason in words, for its message.

    The read log tells the same story for whoever reads it, but it is the reader's running
    account, cut off when it grows too long; callers never take it apart to learn this.
*/
struct ReadFailure
{
    /** What went wrong, as far as a caller's advice depends on it. */
    enum class Cause
    {
        none,
        notFound,
        unreadable,           // the file exists but can't be opened (permissions, a folder)
        headerNotParsed,      // not an impulse file, or its header is damaged
        recordRefused,        // a record asks for more than the file or the pool holds
        disagreesWithHeader   // the samples read differ from what the header declares
    };

    /** none after a successful read. */
    Cause cause = Cause::none;

    /** One line saying what was found, e.g. "Header: syntax error at line 1"; empty for none
        and notFound (whose message names the file alone).
    */
    juce::String reason;
};
