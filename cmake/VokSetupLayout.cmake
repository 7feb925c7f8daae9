# The installer's control boxes, declared once in a table (app/SetupLayout.boxes) that the
# click scripts read as it is, turned into a header for the program: one constant per box, and
# the list of all of them by name, for the test that holds the two views together.
function(vok_generate_setup_layout table header)
    file(STRINGS ${table} rows REGEX "^[^#]")
    set(constants "")
    set(named "")
    foreach(row IN LISTS rows)
        if(NOT row MATCHES "^([A-Za-z][A-Za-z0-9]*) +([0-9]+) +([0-9]+) +([0-9]+) +([0-9]+) *$")
            message(FATAL_ERROR "${table}: \"${row}\" is not a box: name x y width height")
        endif()
        string(APPEND constants "    constexpr Box ${CMAKE_MATCH_1} { ${CMAKE_MATCH_2}, ${CMAKE_MATCH_3}, ${CMAKE_MATCH_4}, ${CMAKE_MATCH_5} };\n")
        string(APPEND named "        { \"${CMAKE_MATCH_1}\", ${CMAKE_MATCH_1} },\n")
    endforeach()

    file(CONFIGURE OUTPUT ${header} @ONLY CONTENT [=[
// Made by the build from @table@: change the boxes there.
#pragma once

namespace SetupLayout
{
@constants@
    constexpr NamedBox allBoxes[] = {
@named@    };
}
]=])
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${table})
endfunction()
