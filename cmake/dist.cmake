# The release of the 32-bit program (included by cmake/windows.cmake in the
# i686 build): `cmake --build <build> --target dist` writes into
# CRIB_DIST_DIR
#   Cribwatch-<version>-setup.exe     the installer (NSIS: makensis, Debian
#                                     package nsis), from dist/Cribwatch.nsi
#   Cribwatch-<version>-portable.zip  the same files, to unpack anywhere
# Both hold exactly the files gathered in <build>/dist-files: Cribwatch.exe
# (without its debugging information), the two help files beside it, and
# LICENSE.txt and README.txt from dist/ (Windows line ends, version filled in).

set(CRIB_DIST_DIR ${CMAKE_BINARY_DIR}/dist CACHE PATH "Where the dist target writes the installer and the zip")
find_program(CRIB_MAKENSIS NAMES makensis)
if(NOT CRIB_MAKENSIS)
    add_custom_target(dist
        COMMAND ${CMAKE_COMMAND} -E echo "dist: makensis not found; install the package nsis (scripts/install-deps.sh)"
        COMMAND ${CMAKE_COMMAND} -E false)
    return()
endif()

set(_crib_files ${CMAKE_BINARY_DIR}/dist-files)
set(_crib_names Cribwatch.exe CribPC-Ger.chm CribPC-Eng.chm LICENSE.txt README.txt)
list(TRANSFORM _crib_names PREPEND ${_crib_files}/ OUTPUT_VARIABLE _crib_release_files)

foreach(_text LICENSE README)
    configure_file(${CMAKE_SOURCE_DIR}/dist/${_text}.txt ${_crib_files}/${_text}.txt @ONLY NEWLINE_STYLE CRLF)
endforeach()
add_custom_command(
    OUTPUT ${_crib_files}/Cribwatch.exe
    COMMAND ${CMAKE_STRIP} -o ${_crib_files}/Cribwatch.exe $<TARGET_FILE:Cribwatch>
    DEPENDS Cribwatch
    VERBATIM)
foreach(_chm CribPC-Ger.chm CribPC-Eng.chm)
    add_custom_command(
        OUTPUT ${_crib_files}/${_chm}
        COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/${_chm} ${_crib_files}/${_chm}
        DEPENDS ${CMAKE_BINARY_DIR}/${_chm}
        VERBATIM)
endforeach()

set(_crib_setup ${CRIB_DIST_DIR}/Cribwatch-${PROJECT_VERSION}-setup.exe)
set(_crib_zip ${CRIB_DIST_DIR}/Cribwatch-${PROJECT_VERSION}-portable.zip)

add_custom_command(
    OUTPUT ${_crib_setup}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CRIB_DIST_DIR}
    COMMAND ${CRIB_MAKENSIS} -V2 -NOCD
            -DVERSION=${PROJECT_VERSION}
            -DFILES=${_crib_files}
            -DICON=${CMAKE_SOURCE_DIR}/res/cribwatch.ico
            -DOUTFILE=${_crib_setup}
            ${CMAKE_SOURCE_DIR}/dist/Cribwatch.nsi
    DEPENDS ${_crib_release_files} ${CMAKE_SOURCE_DIR}/dist/Cribwatch.nsi ${CMAKE_SOURCE_DIR}/res/cribwatch.ico
    COMMENT "Building the installer ${_crib_setup}"
    VERBATIM)

# The zip holds the files at its top, so that they land in the folder the
# user unpacks it to.
add_custom_command(
    OUTPUT ${_crib_zip}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CRIB_DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${_crib_zip}
    COMMAND ${CMAKE_COMMAND} -E chdir ${_crib_files}
            ${CMAKE_COMMAND} -E tar cf ${_crib_zip} --format=zip ${_crib_names}
    DEPENDS ${_crib_release_files}
    COMMENT "Building the portable zip ${_crib_zip}"
    VERBATIM)

add_custom_target(dist DEPENDS ${_crib_setup} ${_crib_zip})
add_dependencies(dist crib_help)
