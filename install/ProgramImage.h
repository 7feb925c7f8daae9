#pragma once

#include <juce_core/juce_core.h>

#include <vector>

/**
    The running program's own file, and where in it lie the bytes the program carries in
    its read-only data (the pack).

    Such bytes can be copied into another file by the system, file to file, instead of being
    written out of the program's mapping, whose pages the copy would first have to fault in
    one by one. Where the bytes are not part of the
    program's file (the heap, a library's data) or the system has no means of telling,
    nothing is found and they are written from memory as usual.
*/
class ProgramImage
{
public:
    /** The program's image, examined the first time it is asked for. */
    static const ProgramImage& getInstance();

    /** Where the size bytes at data begin in the program's file; -1 unless all of them lie
        in one part of it that the program has mapped.
    */
    juce::int64 findFileOffset (const void* data, size_t size) const;

    /** The program's file, open for reading; -1 where it could not be opened. */
    int getFileHandle() const noexcept      { return fileHandle; }

    /** Makes every page of a range of mapped memory present at once, so that writing it out
        doesn't stop at each page it meets unmapped (a costly interruption on virtual machines).
    */
    static void mapIn (const void* data, size_t size);

    ~ProgramImage();

private:
    ProgramImage();

    struct MappedPart
    {
        uintptr_t start = 0, end = 0;
        juce::int64 fileOffset = 0;
    };

    int fileHandle = -1;
    std::vector<MappedPart> parts;

    JUCE_DECLARE_NON_COPYABLE (ProgramImage)
};
