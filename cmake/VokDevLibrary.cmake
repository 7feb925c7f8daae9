# The format library for programs outside this tree, installed as the component "dev": the
# archives of vok_impulse and of what it needs, their public headers with the framework headers
# those include, a CMake package (find_package(Vok), target Vok::vok) and vok.pc for pkg-config.
# Included by the top CMakeLists.txt once the modules' targets exist.
#
# The rules are EXCLUDE_FROM_ALL: a plain installation (the programs' package) leaves them out,
# and an installation of the component (cmake --install --component dev) brings them.

# The Windows build makes programs only.
if(WIN32)
    return()
endif()

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The headers keep the tree's includes (<impulse/...>, <safeio/...>, <juce_core/...>) under a
# folder of the library's own, so that the framework headers it carries clash with no others.
set(VOK_DEV_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/vok)
set(VOK_DEV_LIBRARY_DIR ${CMAKE_INSTALL_LIBDIR})
set(VOK_DEV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vok)
set(VOK_DEV_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(vok_dev_generated_dir ${PROJECT_BINARY_DIR}/dev)

# In link order, each archive before those it needs.
set(VOK_DEV_ARCHIVES vok_impulse vok_safeio vok_juce)

# The folders of their public headers, which the reference documents (tests/devlib checks it).
set(VOK_DEV_HEADER_DIRS ${PROJECT_SOURCE_DIR}/impulse/include ${PROJECT_SOURCE_DIR}/safeio/include)

# The framework modules whose headers the public headers include, with every module those
# depend on (a module's header includes theirs), read from the headers themselves. The library
# carries these headers rather than depending on Debian's juce-modules-source: the framework
# archive was compiled from these very headers, and a program that saw another version of them
# (a newer package, a JUCE of its own) would lay the framework's classes out differently from
# the archive without any error.
function(vok_included_framework_modules modulesDir outModules)
    set(modules)
    foreach(headerDir IN LISTS ARGN)
        file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${headerDir}/*.h)
        set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${headers})
        foreach(header IN LISTS headers)
            file(STRINGS ${header} includes REGEX "^[ \t]*#[ \t]*include[ \t]*<juce_[a-z_]+/")
            string(REGEX MATCHALL "<juce_[a-z_]+/" includedModules "${includes}")
            string(REGEX REPLACE "<(juce_[a-z_]+)/" "\\1" includedModules "${includedModules}")
            list(APPEND modules ${includedModules})
        endforeach()
    endforeach()
    list(REMOVE_DUPLICATES modules)

    set(pending ${modules})
    while(pending)
        list(POP_FRONT pending module)
        file(STRINGS ${modulesDir}/${module}/${module}.h declaration REGEX "^[ \t]*dependencies:")
        string(REGEX MATCHALL "juce_[a-z_]+" dependencies "${declaration}")
        foreach(dependency IN LISTS dependencies)
            if(NOT dependency IN_LIST modules)
                list(APPEND modules ${dependency})
                list(APPEND pending ${dependency})
            endif()
        endforeach()
    endwhile()

    set(${outModules} ${modules} PARENT_SCOPE)
endfunction()

get_target_property(vok_framework_modules_dir juce::juce_core INTERFACE_INCLUDE_DIRECTORIES)
vok_included_framework_modules(${vok_framework_modules_dir} VOK_DEV_FRAMEWORK_MODULES ${VOK_DEV_HEADER_DIRS})

# Position-independent, as the framework's archive already is, so that a plug-in (a shared
# object) can link them, not only a program. No one interposes the library's own functions, so
# its calls among them stay direct and open to inlining, as in code built for a program.
set_target_properties(${VOK_DEV_ARCHIVES} PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_compile_options(vok_impulse PRIVATE -fno-semantic-interposition)
target_compile_options(vok_safeio PRIVATE -fno-semantic-interposition)

install(TARGETS ${VOK_DEV_ARCHIVES}
        ARCHIVE DESTINATION ${VOK_DEV_LIBRARY_DIR} COMPONENT dev EXCLUDE_FROM_ALL)
list(TRANSFORM VOK_DEV_HEADER_DIRS APPEND / OUTPUT_VARIABLE vok_header_dir_contents)
install(DIRECTORY ${vok_header_dir_contents}
        DESTINATION ${VOK_DEV_INCLUDE_DIR} COMPONENT dev EXCLUDE_FROM_ALL)

foreach(module IN LISTS VOK_DEV_FRAMEWORK_MODULES)
    install(DIRECTORY ${vok_framework_modules_dir}/${module}
            DESTINATION ${VOK_DEV_INCLUDE_DIR} COMPONENT dev EXCLUDE_FROM_ALL
            FILES_MATCHING PATTERN "*.h")
endforeach()

# What a program compiles with: the framework settings the archive was built with, and its
# build mode. The framework lays some classes out differently in debug mode (leak detectors),
# and on Linux it is in debug mode where _DEBUG is defined, whatever NDEBUG says: a program
# gets _DEBUG exactly when the archive was built with it.
get_target_property(VOK_DEV_DEFINITIONS vok_juce COMPILE_DEFINITIONS)
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
    list(APPEND VOK_DEV_DEFINITIONS _DEBUG=1)
endif()

# What the archives need besides, by library name, so that a program links the system's shared
# libraries (the tree's own programs take their static archives): expat, the codecs and image
# libraries, and the framework core's system libraries.
get_target_property(vok_framework_core_libraries juce::juce_core INTERFACE_LINK_LIBRARIES)
list(FILTER vok_framework_core_libraries EXCLUDE REGEX "::")
set(VOK_DEV_SYSTEM_LIBRARIES ${EXPAT_LIBRARIES} ${SYSLIBS_LIBRARIES} ${vok_framework_core_libraries})
list(REMOVE_DUPLICATES VOK_DEV_SYSTEM_LIBRARIES)

# The CMake package.
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VokConfig.cmake.in
                              ${vok_dev_generated_dir}/VokConfig.cmake
                              INSTALL_DESTINATION ${VOK_DEV_CMAKE_DIR}
                              PATH_VARS VOK_DEV_INCLUDE_DIR VOK_DEV_LIBRARY_DIR)
write_basic_package_version_file(${vok_dev_generated_dir}/VokConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${vok_dev_generated_dir}/VokConfig.cmake ${vok_dev_generated_dir}/VokConfigVersion.cmake
        DESTINATION ${VOK_DEV_CMAKE_DIR} COMPONENT dev EXCLUDE_FROM_ALL)

# vok.pc: its paths are relative to its own folder, as the CMake package's are, so that the
# library works wherever the component is installed (cmake --install --prefix).
file(RELATIVE_PATH VOK_DEV_PKGCONFIG_TO_PREFIX /prefix/${VOK_DEV_PKGCONFIG_DIR} /prefix)
string(REGEX REPLACE "/$" "" VOK_DEV_PKGCONFIG_TO_PREFIX "${VOK_DEV_PKGCONFIG_TO_PREFIX}")
list(TRANSFORM VOK_DEV_ARCHIVES PREPEND -l OUTPUT_VARIABLE VOK_DEV_PKGCONFIG_LIBS)
list(TRANSFORM VOK_DEV_SYSTEM_LIBRARIES PREPEND -l OUTPUT_VARIABLE vok_system_libs)
list(TRANSFORM VOK_DEV_DEFINITIONS PREPEND -D OUTPUT_VARIABLE VOK_DEV_PKGCONFIG_CFLAGS)
list(APPEND VOK_DEV_PKGCONFIG_LIBS ${vok_system_libs})
list(JOIN VOK_DEV_PKGCONFIG_LIBS " " VOK_DEV_PKGCONFIG_LIBS)
list(JOIN VOK_DEV_PKGCONFIG_CFLAGS " " VOK_DEV_PKGCONFIG_CFLAGS)
configure_file(${CMAKE_CURRENT_LIST_DIR}/vok.pc.in ${vok_dev_generated_dir}/vok.pc @ONLY)
install(FILES ${vok_dev_generated_dir}/vok.pc
        DESTINATION ${VOK_DEV_PKGCONFIG_DIR} COMPONENT dev EXCLUDE_FROM_ALL)

# The reference of what these headers declare.
include(${CMAKE_CURRENT_LIST_DIR}/VokApiDocs.cmake)
