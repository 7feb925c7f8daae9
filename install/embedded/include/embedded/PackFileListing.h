#pragma once

#include <embedded/EmbeddedImpulseFiles.h>

/**
    The names and sizes of the pack's files, in install order, without their bytes: what a
    program that takes the pack from the installer's file checks that file against.
*/
struct PackFileListing
{
    const char* fileName;
    int size;
};

extern const PackFileListing packFileListing[numEmbeddedImpulseFiles];
