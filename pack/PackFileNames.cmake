# The pack's file names in install order, read from the room table: for each room its
# stereo file, then its true-stereo file.
function(vok_read_pack_file_names table outVariable)
    file(READ ${table} json)
    string(JSON numRooms LENGTH "${json}" rooms)
    math(EXPR lastRoom "${numRooms} - 1")
    set(names)

    foreach(index RANGE ${lastRoom})
        string(JSON room GET "${json}" rooms ${index} name)
        list(APPEND names "${room} stereo.vok" "${room} true stereo.vok")
    endforeach()

    set(${outVariable} "${names}" PARENT_SCOPE)
endfunction()
