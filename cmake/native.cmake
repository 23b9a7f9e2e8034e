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

# Tests under Wine are registered from here too, so one ctest run counts all.
include(${CMAKE_SOURCE_DIR}/tests/wine/register.cmake OPTIONAL)
