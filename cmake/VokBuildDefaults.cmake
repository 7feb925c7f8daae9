# What each project of this tree (the programs, and the fuzzers' project of their own) is
# built with: C++17, the given build type when none was asked for, and ccache where there is
# one, since the two projects compile the same framework modules again and again.
macro(vok_build_defaults default_build_type)
    set(CMAKE_CXX_STANDARD 17)
    set(CMAKE_CXX_STANDARD_REQUIRED ON)
    if(NOT CMAKE_BUILD_TYPE)
        set(CMAKE_BUILD_TYPE ${default_build_type} CACHE STRING "" FORCE)
    endif()

    find_program(CCACHE_PROGRAM ccache)
    if(CCACHE_PROGRAM)
        set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
        set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
    endif()
endmacro()
