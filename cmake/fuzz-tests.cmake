# The libFuzzer targets of tests/fuzz (fuzz_<name>.cpp), built with clang in
# their own build folder, <native build>/fuzz, as part of the native build
# (included by cmake/native.cmake). ctest runs each one briefly over its seed
# corpus as fuzz.<name>; `make fuzz` runs them long (scripts/fuzz.sh).
option(CRIB_FUZZ_TESTS "Build the fuzz targets with clang and run each briefly from ctest" ON)
set(CRIB_FUZZ_SECONDS 4 CACHE STRING "Seconds each fuzz target runs in ctest")
if(NOT CRIB_FUZZ_TESTS)
    return()
endif()

find_program(CRIB_CLANGXX NAMES clang++ clang++-14 REQUIRED)
include(ExternalProject)
set(CRIB_FUZZ_BUILD ${CMAKE_BINARY_DIR}/fuzz)
ExternalProject_Add(fuzzers
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CRIB_FUZZ_BUILD}
    CMAKE_ARGS -DCRIB_FUZZ=ON -DCMAKE_CXX_COMPILER=${CRIB_CLANGXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)

file(GLOB _crib_fuzz_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
foreach(_src IN LISTS _crib_fuzz_sources)
    get_filename_component(_target ${_src} NAME_WE)
    string(REGEX REPLACE "^fuzz_" "" _name ${_target})
    add_test(NAME fuzz.${_name}
        COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/fuzz.sh --seconds ${CRIB_FUZZ_SECONDS}
                ${CRIB_FUZZ_BUILD} ${_target})
    set_tests_properties(fuzz.${_name} PROPERTIES LABELS fuzz TIMEOUT 120)
endforeach()
