#include <embedded/EmbeddedImpulseFiles.h>

// The bytes themselves are assembled into the program by EmbeddedImpulseData.S, from the
// same list.

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
