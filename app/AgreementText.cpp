#include "AgreementText.h"

namespace
{
    // Latin-1: the one character outside ASCII is the copyright sign, byte 0xA9.
    const char latin1Text[] =
        "VOK ROOMS IMPULSE PACK - END USER LICENSE AGREEMENT \n"
        " \n"
        "1. GRANT OF LICENSE \n"
        " \n"
        "This agreement is made between you, the person or organisation installing the VOK Rooms impulse pack "
        "(\"you\"), and the makers of the VOK2 convolution reverb (\"we\"). By installing the pack you are granted "
        "a personal, non-exclusive and non-transferable license to use the impulse response files it contains "
        "together with the VOK2 plug-in on any computer that you own or control. You may also keep backup copies of "
        "the files for your own safekeeping, and move the pack to a new computer once you have removed it from the old one. \n"
        " \n"
        "You may use the impulse responses to process your own recordings and performances, and you may release, "
        "sell and broadcast the audio you create with them without paying any further fee and without giving us "
        "any credit, although a mention is always welcome. This license ends automatically if you break any of its "
        "terms; you must then delete every copy of the impulse response files that you hold. \n"
        " \n"
        "2. RESTRICTIONS \n"
        " \n"
        "You may not: \n"
        "-\tsell, rent, lend, give away or otherwise distribute the impulse response files, on their own or as part "
        "of another product, whether or not they have been edited, converted, renamed or combined with other material; \n"
        "-\tuse the impulse responses, or any audio made mainly from them, to build a competing library of impulse "
        "responses, sound presets or room models; \n"
        "-\tremove or change the names, notices and descriptions stored inside the files. \n"
        " \n"
        "3. OWNERSHIP AND COPYRIGHT \n"
        " \n"
        "The impulse responses, their presets and the pictures in this installer are Copyright \xa9 2026 the VOK "
        "authors. They were recorded in the rooms named in the pack with the permission of their owners. All rights "
        "that this agreement does not grant to you expressly stay with us. This installer itself is free software: "
        "you may redistribute it and/or modify it under the terms of the GNU General Public License, version 3 or "
        "later; that license covers the program, not the impulse response files it carries. The names VOK and VOK2 and "
        "the pack's logo may not be used to promote your own products without our written permission. \n"
        " \n"
        "4. NO WARRANTY AND LIMITATION OF LIABILITY \n"
        " \n"
        "The pack is provided \"as is\", without warranty of any kind, either expressed or implied. The entire risk as to "
        "the quality of the impulse responses and of this installer is with you. In particular we "
        "do not warrant: \n"
        "-\tthat the impulse responses will meet your requirements or suit any particular purpose; \n"
        "-\tthat the installation will be free of errors on every computer and with every version of the plug-in. \n"
        " \n"
        "In no event shall we be liable for any damages whatsoever, including loss of data, loss of profits or "
        "interruption of work, arising out of the use of or the inability to use the pack, even if we have been "
        "advised of the possibility of such damages. Before installing, keep a copy of any impulse files and presets "
        "that you have made yourself. If any part of this agreement is held to be unenforceable, the remaining parts "
        "stay in full force. Some jurisdictions do not allow the exclusion of implied warranties or the limitation of "
        "liability, so parts of the above may not apply to you; our liability is then limited to the least that the law allows. \n"
        " \n"
        "By pressing \"I Agree\" you confirm that you have read this agreement, understood it and accept its terms. If you "
        "do not accept them, press \"Cancel\" and nothing will be installed or changed on your computer. \n"
        " \t ";
}

juce::String AgreementText::fromLatin1 (const char* bytes, size_t numBytes)
{
    juce::Array<juce::juce_wchar> codePoints;
    codePoints.ensureStorageAllocated ((int) numBytes + 1);

    for (size_t i = 0; i < numBytes; ++i)
        codePoints.add ((juce::juce_wchar) (unsigned char) bytes[i]);

    codePoints.add (0);
    return juce::String (juce::CharPointer_UTF32 (codePoints.getRawDataPointer()));
}

juce::MemoryBlock AgreementText::getLatin1Bytes()
{
    return { latin1Text, sizeof (latin1Text) - 1 };
}

juce::String AgreementText::get()
{
    return fromLatin1 (latin1Text, sizeof (latin1Text) - 1);
}
