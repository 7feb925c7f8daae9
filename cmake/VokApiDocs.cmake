# The format library's reference: the target "docs" runs Doxygen on the installed headers
# (docs/Doxyfile.in) into build/docs/html, and fails when a public function has no comment.
# tests/devlib runs the same Doxyfile.

find_program(DOXYGEN_PROGRAM doxygen)
# Quoted, for a source folder whose path holds a space.
list(TRANSFORM VOK_DEV_HEADER_DIRS REPLACE "(.+)" "\"\\1\"" OUTPUT_VARIABLE VOK_DOXYGEN_INPUT)
list(JOIN VOK_DOXYGEN_INPUT " " VOK_DOXYGEN_INPUT)
set(VOK_DOXYFILE ${PROJECT_BINARY_DIR}/docs/Doxyfile)
configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${VOK_DOXYFILE} @ONLY)

if(DOXYGEN_PROGRAM)
    add_custom_target(docs
                      COMMAND ${DOXYGEN_PROGRAM} ${VOK_DOXYFILE}
                      COMMENT "Writing the library's reference into ${PROJECT_BINARY_DIR}/docs/html"
                      VERBATIM)
else()
    add_custom_target(docs
                      COMMAND ${CMAKE_COMMAND} -E echo "No doxygen here: make deps installs it"
                      COMMAND ${CMAKE_COMMAND} -E false
                      VERBATIM)
endif()
