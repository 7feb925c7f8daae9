/*
    The bytes of the pack's impulse files, pulled into the program's read-only data with
    .incbin: the assembler copies 45 MB in well under a second, where a generated C array
    of the same bytes would keep the compiler busy for minutes.

    Each file gets one global symbol at its first byte; the assembler checks that the
    stored length equals the size the table gives. Each file starts on a page of its own:
    the installer has the system copy it straight from the program's file, and a copy whose
    pages line up with the new file's costs about an eighth less.

    In an ELF program the files make a section of their own, "vok_pack" (a name the linker
    keeps, where .rodata.* would be merged into .rodata): another program of the same package
    finds the pack in the installer's file by it (InstallerProgramPack) instead of carrying a
    second copy.
*/

#if defined(__ELF__)
    .section vok_pack, "a", @progbits
  #define VOK_SYMBOL_TYPE(symbol)   .type symbol, @object
  #define VOK_SYMBOL_SIZE(symbol)   .size symbol, . - symbol
#else
    .section .rdata, "dr"
  #define VOK_SYMBOL_TYPE(symbol)
  #define VOK_SYMBOL_SIZE(symbol)
#endif

#define VOK_EMBEDDED_IMPULSE_FILE(index, fileName, path, size)      \
    .globl vokEmbeddedImpulseFile##index ;                           \
    VOK_SYMBOL_TYPE (vokEmbeddedImpulseFile##index) ;                \
    .balign 4096 ;                                                   \
vokEmbeddedImpulseFile##index: ;                                     \
    .incbin path ;                                                   \
    VOK_SYMBOL_SIZE (vokEmbeddedImpulseFile##index) ;                \
    .if (. - vokEmbeddedImpulseFile##index) - (size) ;               \
    .error "an embedded impulse file's length differs from its size" ; \
    .endif ;

#include "EmbeddedImpulseList.inc"

#if defined(__ELF__)
    .section .note.GNU-stack, "", @progbits
#endif
