# Fuzz build: the pure logic and the libFuzzer targets of tests/fuzz, built
# with clang under address and undefined-behaviour sanitizers. Configured by
# the native build (cmake/fuzz-tests.cmake) with -DCRIB_FUZZ=ON and clang++.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz build needs clang++ (libFuzzer); got ${CMAKE_CXX_COMPILER_ID}")
endif()

set(CRIB_FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
# Edge coverage guides the fuzzer; tracing every comparison would cost the
# byte loops of the line buffer more than half their speed.
set(CRIB_FUZZ_COVERAGE -fno-sanitize-coverage=trace-cmp)

add_library(cribfuzzcore STATIC ${CRIB_PURE_SOURCES})
target_include_directories(cribfuzzcore PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(cribfuzzcore PUBLIC ${CRIB_FUZZ_FLAGS} PRIVATE -fsanitize=fuzzer-no-link ${CRIB_FUZZ_COVERAGE})

file(GLOB CRIB_FUZZ_TARGETS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
foreach(_src IN LISTS CRIB_FUZZ_TARGETS)
    get_filename_component(_name ${_src} NAME_WE)
    add_executable(${_name} ${_src})
    target_compile_options(${_name} PRIVATE -fsanitize=fuzzer ${CRIB_FUZZ_COVERAGE} -Wall -Wextra -Wno-unused-parameter)
    target_link_libraries(${_name} PRIVATE cribfuzzcore)
    target_link_options(${_name} PRIVATE -fsanitize=fuzzer,address,undefined)
endforeach()
