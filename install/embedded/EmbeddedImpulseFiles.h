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

/** The pack holds 12 rooms, each as a stereo and a true-stereo file. */
constexpr int numEmbeddedImpulseFiles = 24;

/** The pack's files in install order: each room's stereo file, then its true-stereo file. */
extern const EmbeddedImpulseFile embeddedImpulseFiles[numEmbeddedImpulseFiles];
