/* The least a reader of an impulse file must do: read the whole file into one block with
   plain read calls, and, for a scrambled file, undo the scrambling word by word (the loop the
   compiler turns into the widest vector instructions the processor has). Nothing is parsed or
   checked. The benchmarks call vok_floor_read; built with VOK_FLOOR_PROGRAM it is a program
   that reads the file given.
*/
#include "read_floor.h"

#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined (__GNUC__) && ! defined (__clang__) && defined (__x86_64__)
 #define WIDEST_VECTORS __attribute__ ((target_clones ("avx2", "default")))
#else
 #define WIDEST_VECTORS
#endif

WIDEST_VECTORS
static void unscramble (unsigned char* bytes, size_t size)
{
    for (size_t i = 0; i + 4 <= size; i += 4)
    {
        uint32_t word;
        memcpy (&word, bytes + i, 4);
        word ^= VOK_FLOOR_SCRAMBLING_KEY;
        memcpy (bytes + i, &word, 4);
    }
}

long vok_floor_read (const char* path, int scrambled, unsigned char** bytes)
{
    const int fd = open (path, O_RDONLY | O_CLOEXEC);
    struct stat info;

    if (fd < 0 || fstat (fd, &info) != 0 || (*bytes = malloc ((size_t) info.st_size + 1)) == NULL)
        return -1;

    size_t done = 0;

    while (done < (size_t) info.st_size)
    {
        const ssize_t got = read (fd, *bytes + done, (size_t) info.st_size - done);

        if (got <= 0)
            break;

        done += (size_t) got;
    }

    close (fd);

    if (scrambled)
        unscramble (*bytes, done);

    return (long) done;
}

#ifdef VOK_FLOOR_PROGRAM
int main (int argc, char** argv)
{
    unsigned char* bytes = NULL;
    const int scrambled = argc == 3 && strcmp (argv[1], "--scrambled") == 0;
    const long size = argc >= 2 ? vok_floor_read (argv[argc - 1], scrambled, &bytes) : -1;
    free (bytes);
    return size < 0;
}
#endif
