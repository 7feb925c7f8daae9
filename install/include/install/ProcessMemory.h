#pragma once

#if defined (__GLIBC__)
 #include <malloc.h>
#endif

/**
    Settings of the C library's allocator, which hold for the whole process: a program sets
    them once at its start, before any work, never a library in the middle of its run.
*/
struct ProcessMemory
{
    /** Installing reads and saves each file through buffers of a few megabytes, freed before
        the next file. By default the C library hands such buffers back to the system at once
        and asks for fresh, zeroed pages for the next file, so a reinstall would spend much of
        its time zeroing pages; keeping them costs no more than the largest file's buffers.
    */
    static void keepFreedBuffersForReuse()
    {
       #if defined (__GLIBC__)
        mallopt (M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt (M_TRIM_THRESHOLD, 64 * 1024 * 1024);
       #endif
    }
};
