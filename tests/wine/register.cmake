# Registers the tests under Wine with the native build's ctest (included by
# cmake/native.cmake), so that one ctest run counts every test.
#
#   -DCRIB_I686_BUILD=<abs path of the i686 MinGW build>
#   -DCRIB_X64_BUILD=<abs path of the x86_64 MinGW build>
#
# For each build given:
#   wine.<arch>.template          makes the cached template prefix (fixture)
#   wine.<arch>.wintests.<Suite>  wintests.exe --gtest_filter=<Suite>.* in a world
#   wine.<arch>.wintests.rest     every test of wintests.exe no suite above names
#   wine.<arch>.e2e.<module>.<Class>  one end-to-end test class (python3 -m unittest)
# Labels: wine, i686 or x86_64, wintests or e2e. The cross builds need not
# exist when this runs; the suites and classes are read from the sources.
#
# Whether the host executes 32-bit code is found out here, once per
# configure (scripts/wine-env.sh can-run-32bit). Where it does not, the i686
# tests are registered all the same, as tests that report themselves skipped
# with the reason; host-32bit.txt in the build folder holds the answer.

set(CRIB_I686_BUILD "" CACHE PATH "The i686 MinGW build folder whose programs the Wine tests run")
set(CRIB_X64_BUILD "" CACHE PATH "The x86_64 MinGW build folder whose programs the Wine tests run")

if(NOT CRIB_I686_BUILD AND NOT CRIB_X64_BUILD)
    return()
endif()

find_program(CRIB_PYTHON3 NAMES python3 REQUIRED)
set(_crib_wine ${CMAKE_SOURCE_DIR}/tests/wine)

# GoogleTest suites of tests/win, read from the sources.
file(GLOB _crib_win_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*.cpp)
set(_crib_suites)
foreach(_f IN LISTS _crib_win_sources)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_f})
    file(STRINGS ${_f} _lines REGEX "^[ \t]*(TYPED_)?TEST(_F|_P)?[ \t]*\\([ \t]*[A-Za-z_][A-Za-z0-9_]*[ \t]*,")
    foreach(_l IN LISTS _lines)
        string(REGEX REPLACE "^[ \t]*(TYPED_)?TEST(_F|_P)?[ \t]*\\([ \t]*([A-Za-z_][A-Za-z0-9_]*).*" "\\3" _s "${_l}")
        list(APPEND _crib_suites ${_s})
    endforeach()
endforeach()
if(_crib_suites)
    list(REMOVE_DUPLICATES _crib_suites)
    list(SORT _crib_suites)
endif()

# End-to-end test classes of tests/wine/test_*.py.
file(GLOB _crib_py_tests CONFIGURE_DEPENDS ${_crib_wine}/test_*.py)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_crib_wine}/world.py ${_crib_wine}/list_tests.py)
set(_crib_py_ids)
if(_crib_py_tests)
    foreach(_f IN LISTS _crib_py_tests)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_f})
    endforeach()
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env PYTHONDONTWRITEBYTECODE=1
                ${CRIB_PYTHON3} ${_crib_wine}/list_tests.py ${_crib_py_tests}
        WORKING_DIRECTORY ${_crib_wine}
        OUTPUT_VARIABLE _out
        RESULT_VARIABLE _rc
        ERROR_QUIET)
    if(_rc EQUAL 0)
        string(REPLACE "\n" ";" _crib_py_ids "${_out}")
        list(FILTER _crib_py_ids EXCLUDE REGEX "^$")
    else()
        foreach(_f IN LISTS _crib_py_tests)
            get_filename_component(_m ${_f} NAME_WE)
            list(APPEND _crib_py_ids ${_m})
        endforeach()
    endif()
endif()

# End-to-end test files that only the 32-bit worlds run: the release
# (installer and zip) holds the 32-bit program.
set(_crib_win32_only test_release)

function(crib_register_wine_tests build arch_label wine_arch skip_reason)
    if(NOT wine_arch STREQUAL "win32")
        list(JOIN _crib_win32_only "|" _only)
        list(FILTER _crib_py_ids EXCLUDE REGEX "^(${_only})(\\.|$)")
    endif()
    if(skip_reason)
        set(_names wine.${arch_label}.template)
        foreach(_s IN LISTS _crib_suites ITEMS rest)
            list(APPEND _names wine.${arch_label}.wintests.${_s})
        endforeach()
        foreach(_id IN LISTS _crib_py_ids)
            list(APPEND _names wine.${arch_label}.e2e.${_id})
        endforeach()
        foreach(_n IN LISTS _names)
            add_test(NAME ${_n} COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh skip "${skip_reason}")
            set_tests_properties(${_n} PROPERTIES SKIP_RETURN_CODE 77 LABELS "wine;${arch_label};skipped")
        endforeach()
        return()
    endif()
    set(_env
        "CRIB_BUILD_DIR=${build}"
        "CRIB_WINE_ARCH=${wine_arch}"
        "PYTHONDONTWRITEBYTECODE=1")
    set(_fixture crib_wine_template_${wine_arch})

    add_test(NAME wine.${arch_label}.template
             COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/make-prefix.sh ${wine_arch})
    set_tests_properties(wine.${arch_label}.template PROPERTIES
        FIXTURES_SETUP ${_fixture} TIMEOUT 600 LABELS "wine;${arch_label}"
        RESOURCE_LOCK crib_wine_template_${wine_arch})

    # wintests.exe, one test per suite; every world has the room sound, a
    # linked COM5/COM6 pair and the fake softphone.
    set(_runner ${CRIB_PYTHON3} ${_crib_wine}/run_in_world.py --sound --com-pair 5 6 --fakephone)
    set(_all_filters)
    foreach(_s IN LISTS _crib_suites)
        set(_filter "${_s}.*:*/${_s}.*")
        list(APPEND _all_filters "${_s}.*:*/${_s}.*")
        add_test(NAME wine.${arch_label}.wintests.${_s}
                 COMMAND ${_runner} --gtest wintests "--gtest_filter=${_filter}")
        set_tests_properties(wine.${arch_label}.wintests.${_s} PROPERTIES
            ENVIRONMENT "${_env}" TIMEOUT 600 LABELS "wine;${arch_label};wintests"
            FIXTURES_REQUIRED ${_fixture} WORKING_DIRECTORY ${_crib_wine})
    endforeach()
    list(JOIN _all_filters ":" _covered)
    if(_covered)
        set(_rest "--gtest_filter=-${_covered}")
    else()
        set(_rest "--gtest_filter=*")
    endif()
    add_test(NAME wine.${arch_label}.wintests.rest COMMAND ${_runner} wintests "${_rest}")
    set_tests_properties(wine.${arch_label}.wintests.rest PROPERTIES
        ENVIRONMENT "${_env}" TIMEOUT 900 LABELS "wine;${arch_label};wintests"
        FIXTURES_REQUIRED ${_fixture} WORKING_DIRECTORY ${_crib_wine})

    foreach(_id IN LISTS _crib_py_ids)
        add_test(NAME wine.${arch_label}.e2e.${_id}
                 COMMAND ${CRIB_PYTHON3} -m unittest -v ${_id})
        set_tests_properties(wine.${arch_label}.e2e.${_id} PROPERTIES
            ENVIRONMENT "${_env}" TIMEOUT 900 LABELS "wine;${arch_label};e2e"
            FIXTURES_REQUIRED ${_fixture} WORKING_DIRECTORY ${_crib_wine})
    endforeach()
endfunction()

set(_crib_skip_i686 "")
if(CRIB_I686_BUILD)
    execute_process(
        COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh can-run-32bit ${CMAKE_BINARY_DIR}
        OUTPUT_VARIABLE _answer OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE _rc ERROR_QUIET)
    file(WRITE ${CMAKE_BINARY_DIR}/host-32bit.txt "${_answer}\n")
    if(NOT _rc EQUAL 0)
        string(REGEX REPLACE "^no: " "" _why "${_answer}")
        set(_crib_skip_i686 "i686 Wine tests: this host runs no 32-bit code (${_why})")
        message(STATUS "${_crib_skip_i686}")
    endif()
    crib_register_wine_tests(${CRIB_I686_BUILD} i686 win32 "${_crib_skip_i686}")
endif()
if(CRIB_X64_BUILD)
    crib_register_wine_tests(${CRIB_X64_BUILD} x86_64 win64 "")
endif()
