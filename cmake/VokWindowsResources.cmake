# Windows resources for a program: the icon drawn by app/artwork, version information and an
# application manifest, from the templates in windows/resources/. The version numbers come
# from VOK_INSTALL_VERSION, in Windows' four-part form ("2.1.004" gives 2.1.4.0).
#
#   vok_add_windows_resources(TARGET DESCRIPTION "what the program is")

set(VOK_WINDOWS_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR}/../windows/resources)

# "2.1.004" -> "2.1.4.0": numbers without leading zeros, missing parts as zero.
function(vok_four_part_version version out_var)
    string(REPLACE "." ";" parts "${version}")
    list(LENGTH parts count)
    if(count GREATER 4 OR NOT version MATCHES "^[0-9]+(\\.[0-9]+)*$")
        message(FATAL_ERROR "Not a version Windows can number: ${version}")
    endif()
    set(numbers)
    foreach(part IN LISTS parts)
        math(EXPR number "${part}")
        if(number GREATER 65535)
            message(FATAL_ERROR "Version part ${part} of ${version} is over 65535")
        endif()
        list(APPEND numbers ${number})
    endforeach()
    while(count LESS 4)
        list(APPEND numbers 0)
        math(EXPR count "${count} + 1")
    endwhile()
    list(JOIN numbers "." four_parts)
    set(${out_var} ${four_parts} PARENT_SCOPE)
endfunction()

function(vok_add_windows_resources target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "DESCRIPTION" "")

    get_target_property(internal_name ${target} OUTPUT_NAME)
    if(NOT internal_name)
        set(internal_name ${target})
    endif()

    set(VOK_RC_FILE_NAME "${internal_name}${CMAKE_EXECUTABLE_SUFFIX}")
    set(VOK_RC_INTERNAL_NAME "${internal_name}")
    set(VOK_RC_DESCRIPTION "${arg_DESCRIPTION}")
    set(VOK_RC_PRODUCT "VOK Setup")
    set(VOK_RC_COMPANY "The VOK Setup developers")
    set(VOK_RC_COPYRIGHT "Copyright (C) 2026 The VOK Setup developers. Free software under the GNU GPL, version 3 or later.")
    set(VOK_RC_ASSEMBLY_NAME "VOKSetup.${target}")
    vok_four_part_version("${VOK_INSTALL_VERSION}" VOK_RC_VERSION)
    string(REPLACE "." "," VOK_RC_VERSION_COMMAS "${VOK_RC_VERSION}")

    set(VOK_RC_ICON ${VOK_WINDOWS_RESOURCES_DIR}/../../app/artwork/icon.ico)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/windows-resources/${target})
    set(VOK_RC_MANIFEST ${out}/program.manifest)
    configure_file(${VOK_WINDOWS_RESOURCES_DIR}/program.manifest.in ${VOK_RC_MANIFEST} @ONLY)
    configure_file(${VOK_WINDOWS_RESOURCES_DIR}/program.rc.in ${out}/program.rc @ONLY)

    target_sources(${target} PRIVATE ${out}/program.rc)
    set_source_files_properties(${out}/program.rc PROPERTIES OBJECT_DEPENDS "${VOK_RC_ICON};${VOK_RC_MANIFEST}")
endfunction()
