#pragma once

/**
    One impulse file of the pack, stored inside the program byte for byte as it is to
    appear on disk.

    The bytes live in the program's read-only data for as long as the program runs;
    nobody writes, copies or frees them.
*/
struct EmbeddedImpulseFile
{
    const char* fileName;   // the on-disk name, extension included
    const char* data;       // the file's first byte
    int size;               // the file's length in bytes
};

/** How many files the pack holds (each room as a stereo and a true-stereo file), counted
    from the list the build writes: EmbeddedImpulseList.inc, one
    VOK_EMBEDDED_IMPULSE_FILE (index, fileName, path, size) line per file, in install order.
*/
constexpr int numEmbeddedImpulseFiles = 0
#define VOK_EMBEDDED_IMPULSE_FILE(index, fileName, path, size) + 1
#include "EmbeddedImpulseList.inc"
#undef VOK_EMBEDDED_IMPULSE_FILE
    ;

/** The pack's files in install order: each room's stereo file, then its true-stereo file. */
extern const EmbeddedImpulseFile embeddedImpulseFiles[numEmbeddedImpulseFiles];
