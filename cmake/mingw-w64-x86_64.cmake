# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix thread model, for std::thread).
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DVOK_WINDOWS_DEPS=<prefix holding the cross-built codec and image libraries>
#
# windows/build.sh does all of this, the libraries included.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VOK_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   ${VOK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VOK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${VOK_MINGW_TRIPLET}-windres)
set(CMAKE_AR           ${VOK_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       ${VOK_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")

# The libraries we cross-build ourselves live in a prefix of their own, beside MinGW's.
set(VOK_WINDOWS_DEPS "" CACHE PATH "Prefix holding the cross-built zlib-dependent codec and image libraries")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VOK_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${VOK_MINGW_TRIPLET})
if(VOK_WINDOWS_DEPS)
    list(APPEND CMAKE_FIND_ROOT_PATH ${VOK_WINDOWS_DEPS})
endif()

# pkg-config must describe the Windows libraries, never the Linux ones of the same names.
set(ENV{PKG_CONFIG_LIBDIR} "${VOK_WINDOWS_DEPS}/lib/pkgconfig:/usr/${VOK_MINGW_TRIPLET}/lib/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})

# Host programs (juceaide, the pack generator) come from Linux; libraries and headers never do.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Only Windows' own DLLs may be left to import: the C and C++ runtimes and winpthread go in too.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The Debian JUCE package is found through its Linux CMake config; its juceaide runs on the host.
if(NOT JUCE_DIR AND EXISTS /usr/lib/x86_64-linux-gnu/cmake/JUCE-7.0.5)
    set(JUCE_DIR /usr/lib/x86_64-linux-gnu/cmake/JUCE-7.0.5 CACHE PATH "")
endif()
