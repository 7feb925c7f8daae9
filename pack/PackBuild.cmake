# How the build makes the pack: vok_make_pack synthesises the pack's impulse files from the
# room table into VOK_PACK_DIR, then the list of the files (name, path, size, in install
# order) is written for the programs that carry them. Included by pack/CMakeLists.txt.

include(${CMAKE_CURRENT_LIST_DIR}/PackFileNames.cmake)

set(VOK_ROOM_TABLE ${CMAKE_CURRENT_LIST_DIR}/rooms.json CACHE INTERNAL "")
# Where the build leaves the generated pack; the pack tests and the install scripts read it from here.
set(VOK_PACK_DIR ${CMAKE_BINARY_DIR}/pack/impulses CACHE INTERNAL "")
set(VOK_PACK_BUILD_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "")

# Adds the rule that generates the pack and writes its list to listFile, and the target
# vok_pack_files that stands for both; outFiles receives the generated files' paths. Called
# in the folder whose sources are built from the files, so that the build sees them change.
function(vok_add_pack_build listFile outFiles)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VOK_ROOM_TABLE})
    vok_read_pack_file_names(${VOK_ROOM_TABLE} packFileNames)
    set(packFiles)

    foreach(name IN LISTS packFileNames)
        list(APPEND packFiles "${VOK_PACK_DIR}/${name}")
    endforeach()

    # A cross build takes the synthesiser built for the build machine (windows/build.sh makes
    # one): the Windows program then carries the very bytes of the Linux one, which the
    # synthesiser run under Wine, with Windows' maths library, would not.
    if(CMAKE_CROSSCOMPILING AND VOK_HOST_MAKE_PACK)
        set(makePack ${VOK_HOST_MAKE_PACK})
    else()
        set(makePack vok_make_pack)
    endif()

    add_custom_command(
        OUTPUT ${packFiles} ${listFile}
        COMMAND ${makePack} ${VOK_ROOM_TABLE} ${VOK_PACK_DIR}
        COMMAND ${CMAKE_COMMAND} -DROOM_TABLE=${VOK_ROOM_TABLE} -DPACK_DIR=${VOK_PACK_DIR} -DLIST_FILE=${listFile}
                -P ${VOK_PACK_BUILD_DIR}/WritePackFileList.cmake
        DEPENDS ${makePack} ${VOK_ROOM_TABLE}
                ${VOK_PACK_BUILD_DIR}/WritePackFileList.cmake
                ${VOK_PACK_BUILD_DIR}/PackFileNames.cmake
        COMMENT "Synthesising the pack's impulse files"
        VERBATIM)

    add_custom_target(vok_pack_files DEPENDS ${packFiles} ${listFile})
    set(${outFiles} "${packFiles}" PARENT_SCOPE)
endfunction()
