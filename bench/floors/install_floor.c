/* The least an installer of the pack must do, to time "vok install" against:

     install_floor fresh PACK_DIR DEST_DIR
       makes DEST_DIR and copies every file of PACK_DIR into it, each created exclusively
       and filled by the kernel (copy_file_range); nothing is flushed, as nothing is replaced.

     install_floor reinstall PACK_DIR DEST_DIR
       replaces every file of DEST_DIR that PACK_DIR holds as a safe installer must: it opens
       the old file and reads its header's first block (where its presets are), keeps the old
       file as a backup (a hard link), creates a sibling under an unpredictable name, copies
       the new bytes into it, flushes them before renaming it over the old file, flushes the
       folder so that the rename lasts, and only then lets the backup go.

   No presets are merged and nothing is checked beyond what the system calls report.
*/
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

enum { headerBlockSize = 64 * 1024 };

static int copyInto (int source, int destination)
{
    struct stat info;

    if (fstat (source, &info) != 0)
        return -1;

    for (off_t left = info.st_size; left > 0;)
    {
        const ssize_t copied = copy_file_range (source, NULL, destination, NULL, (size_t) left, 0);

        if (copied <= 0)
            return -1;

        left -= copied;
    }

    return 0;
}

static int installFresh (int pack, int dest, const char* name)
{
    const int source = openat (pack, name, O_RDONLY | O_CLOEXEC);
    const int target = openat (dest, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    const int failed = source < 0 || target < 0 || copyInto (source, target) != 0;
    close (source);
    return (close (target) != 0) | failed;
}

static int reinstall (int pack, int dest, const char* name)
{
    static char header[headerBlockSize];
    char backup[512], sibling[512];
    unsigned long long nonce = 0;

    const int old = openat (dest, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);

    if (old < 0 || read (old, header, sizeof header) < 0 || getrandom (&nonce, sizeof nonce, 0) != sizeof nonce)
        return 1;

    snprintf (backup, sizeof backup, "%s.backup", name);
    snprintf (sibling, sizeof sibling, ".%s.%016llx", name, nonce);

    const int source = openat (pack, name, O_RDONLY | O_CLOEXEC);
    const int target = openat (dest, sibling, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    int failed = linkat (dest, name, dest, backup, 0) != 0 || source < 0 || target < 0
              || copyInto (source, target) != 0 || fdatasync (target) != 0;
    failed |= close (target) != 0;
    failed = failed || renameat (dest, sibling, dest, name) != 0 || fsync (dest) != 0 || unlinkat (dest, backup, 0) != 0;

    if (failed)
        unlinkat (dest, sibling, 0);

    close (source);
    close (old);
    return failed;
}

int main (int argc, char** argv)
{
    if (argc != 4 || (strcmp (argv[1], "fresh") != 0 && strcmp (argv[1], "reinstall") != 0))
    {
        fprintf (stderr, "usage: install_floor fresh|reinstall PACK_DIR DEST_DIR\n");
        return 2;
    }

    const int fresh = strcmp (argv[1], "fresh") == 0;

    if (fresh && mkdir (argv[3], 0755) != 0)
        return 1;

    const int pack = open (argv[2], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int dest = open (argv[3], O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* names = pack < 0 ? NULL : fdopendir (dup (pack));

    if (dest < 0 || names == NULL)
        return 1;

    int failed = 0;

    for (struct dirent* entry; (entry = readdir (names)) != NULL;)
        if (entry->d_type == DT_REG)
            failed |= fresh ? installFresh (pack, dest, entry->d_name) : reinstall (pack, dest, entry->d_name);

    closedir (names);
    return failed;
}
