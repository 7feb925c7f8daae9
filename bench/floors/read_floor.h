#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* The key the format's scrambled samples are XORed with, word by word. */
#define VOK_FLOOR_SCRAMBLING_KEY 0x5A17C3E6u

/* Reads the whole file into a block it allocates (free it), unscrambling every word when
   scrambled is set; returns the number of bytes read, or -1.
*/
long vok_floor_read (const char* path, int scrambled, unsigned char** bytes);

#ifdef __cplusplus
}
#endif
