# Run by the build after the pack has been generated (cmake -P): writes the list of the
# pack's files in install order, with each file's size, for the programs that embed them.
#   -DROOM_TABLE=<rooms.json> -DPACK_DIR=<folder of the generated files> -DLIST_FILE=<output>

include(${CMAKE_CURRENT_LIST_DIR}/PackFileNames.cmake)
vok_read_pack_file_names(${ROOM_TABLE} names)

set(text "// Written by the build from the room table and the generated pack; do not edit.\n")
set(index 0)

foreach(name IN LISTS names)
    set(path "${PACK_DIR}/${name}")

    if(NOT EXISTS "${path}")
        message(FATAL_ERROR "The generated pack lacks ${path}")
    endif()

    file(SIZE "${path}" size)
    string(APPEND text "VOK_EMBEDDED_IMPULSE_FILE (${index}, \"${name}\", \"${path}\", ${size})\n")
    math(EXPR index "${index} + 1")
endforeach()

# Written every time, even unchanged: the build compares its date with the generator's.
file(WRITE "${LIST_FILE}" "${text}")
