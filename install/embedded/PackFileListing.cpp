#include <embedded/PackFileListing.h>

const PackFileListing packFileListing[numEmbeddedImpulseFiles] =
{
#define VOK_EMBEDDED_IMPULSE_FILE(index, fileName, path, size) { fileName, size },
#include "EmbeddedImpulseList.inc"
#undef VOK_EMBEDDED_IMPULSE_FILE
};
