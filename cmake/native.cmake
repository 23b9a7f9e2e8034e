# Native build: the pure logic and its GoogleTest unit tests.
option(CRIB_SANITIZE "Build the native tests with address and undefined-behaviour sanitizers" ON)

set(CRIB_WARNINGS -Wall -Wextra -Wpedantic -Werror=return-type -Wno-unused-parameter)
if(CRIB_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

add_library(cribcore STATIC ${CRIB_PURE_SOURCES})
target_include_directories(cribcore PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(cribcore PRIVATE ${CRIB_WARNINGS})

find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
enable_testing()
include(GoogleTest)

file(GLOB CRIB_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(unit_tests ${CRIB_UNIT_TESTS})
target_link_libraries(unit_tests PRIVATE cribcore GTest::gtest GTest::gtest_main Threads::Threads)
target_compile_options(unit_tests PRIVATE ${CRIB_WARNINGS})
gtest_discover_tests(unit_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR} DISCOVERY_TIMEOUT 60)

# The layers of the program point one way (scripts/check-layers.sh).
add_test(NAME source.layers COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check-layers.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(source.layers PROPERTIES LABELS source TIMEOUT 60)

# Tests under Wine are registered from here too, so one ctest run counts all.
include(${CMAKE_SOURCE_DIR}/tests/wine/register.cmake OPTIONAL)

# Python test files outside the Wine rig, one ctest test per test class,
# named <label>.<module>.<Class>, run in their own folder.
find_program(CRIB_PYTHON3 NAMES python3 REQUIRED)
function(crib_add_python_tests label folder)
    file(GLOB _files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${folder}/test_*.py)
    if(NOT _files)
        return()
    endif()
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env PYTHONDONTWRITEBYTECODE=1
                ${CRIB_PYTHON3} ${CMAKE_SOURCE_DIR}/tests/wine/list_tests.py ${_files}
        OUTPUT_VARIABLE _out RESULT_VARIABLE _rc ERROR_QUIET)
    string(REPLACE "\n" ";" _ids "${_out}")
    list(FILTER _ids EXCLUDE REGEX "^$")
    foreach(_id IN LISTS _ids)
        add_test(NAME ${label}.${_id} COMMAND ${CRIB_PYTHON3} -m unittest -v ${_id})
        set_tests_properties(${label}.${_id} PROPERTIES LABELS ${label} TIMEOUT 300
            ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1;CRIB_I686_BUILD=${CRIB_I686_BUILD};CRIB_X64_BUILD=${CRIB_X64_BUILD}"
            WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/${folder})
    endforeach()
endfunction()

# The set-up scripts: host detection, the choice of Wine loader and build,
# and the registration of skipped tests.
crib_add_python_tests(host host)
# The help files: the pages of both languages, their links, the quoted
# messages, and the .chm files built with chmcmd.
crib_add_python_tests(help help)
# The soak's generated night and its native model of the alarm.
crib_add_python_tests(bench bench)

# The fuzz targets, built with clang beside this build and run briefly.
include(${CMAKE_SOURCE_DIR}/cmake/fuzz-tests.cmake)
