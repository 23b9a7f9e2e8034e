# The two help files, built with chmcmd (Debian package fp-utils) into the
# build folder beside Cribwatch.exe (included by cmake/windows.cmake):
#   CribPC-Ger.chm   from help/de
#   CribPC-Eng.chm   from help/en
# Each language folder holds its pages, its table of contents and one .hhp
# project; help/hilfe.css is put beside the pages of both. help/build_chm.py
# runs chmcmd quietly in a scratch folder, fails on any error or warning and
# clears chmcmd's time stamps, so that the same sources give the same file.

find_program(CRIB_CHMCMD NAMES chmcmd REQUIRED)
find_program(CRIB_HELP_PYTHON3 NAMES python3 REQUIRED)

set(_crib_help ${CMAKE_SOURCE_DIR}/help)
set(_crib_help_outputs)
foreach(_lang de en)
    if(_lang STREQUAL "de")
        set(_chm CribPC-Ger.chm)
    else()
        set(_chm CribPC-Eng.chm)
    endif()
    file(GLOB _sources CONFIGURE_DEPENDS ${_crib_help}/${_lang}/*)
    add_custom_command(
        OUTPUT ${CMAKE_BINARY_DIR}/${_chm}
        COMMAND ${CRIB_HELP_PYTHON3} ${_crib_help}/build_chm.py --chmcmd ${CRIB_CHMCMD}
                --shared ${_crib_help}/hilfe.css ${_crib_help}/${_lang} ${CMAKE_BINARY_DIR}/${_chm}
        DEPENDS ${_sources} ${_crib_help}/hilfe.css ${_crib_help}/build_chm.py
        COMMENT "Building help file ${_chm}"
        VERBATIM)
    list(APPEND _crib_help_outputs ${CMAKE_BINARY_DIR}/${_chm})
endforeach()

add_custom_target(crib_help ALL DEPENDS ${_crib_help_outputs})
