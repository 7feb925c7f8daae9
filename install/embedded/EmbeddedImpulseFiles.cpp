#include "EmbeddedImpulseFiles.h"

// EmbeddedImpulseList.inc is written by the build after the pack has been generated: one
// VOK_EMBEDDED_IMPULSE_FILE (index, fileName, path, size) line per file, in install order.
// The bytes themselves are assembled into the program by EmbeddedImpulseData.S.

#define VOK_EMBEDDED_IMPULSE_FILE(index, fileName, path, size) \
    extern "C" const char vokEmbeddedImpulseFile##index[];
#include "EmbeddedImpulseList.inc"
#undef VOK_EMBEDDED_IMPULSE_FILE

const EmbeddedImpulseFile embeddedImpulseFiles[numEmbeddedImpulseFiles] =
{
#define VOK_EMBEDDED_IMPULSE_FILE(index, fileName, path, size) \
    { fileName, vokEmbeddedImpulseFile##index, size },
#include "EmbeddedImpulseList.inc"
#undef VOK_EMBEDDED_IMPULSE_FILE
};

// Counting the list's lines: the table must not end with unfilled entries.
#define VOK_EMBEDDED_IMPULSE_FILE(index, fileName, path, size) + 1
static_assert (0
#include "EmbeddedImpulseList.inc"
               == numEmbeddedImpulseFiles, "The pack must hold exactly numEmbeddedImpulseFiles files");
#undef VOK_EMBEDDED_IMPULSE_FILE
