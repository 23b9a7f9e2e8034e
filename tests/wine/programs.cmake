# Programs for the tests under Wine (included by cmake/windows.cmake):
#   uidriver.exe   the long-lived UI driver of the end-to-end tests
#   rigprobe.exe   a small window program the rig tests itself with
#   fakephone.exe  the stand-in softphone (when its source is there)
#   argslog.exe    a stand-in for the browser, mail client and volume control
#   barerec.exe    a bare recorder without a window, the benchmarks' floor
#   wintests.exe   GoogleTest unit tests of the Win32 code (tests/win/*.cpp)

set(CRIB_WINE_DIR ${CMAKE_SOURCE_DIR}/tests/wine)

add_executable(uidriver ${CRIB_WINE_DIR}/uidriver.cpp)
target_link_libraries(uidriver PRIVATE comctl32 gdi32 user32 advapi32 ole32 shell32 uuid version)
target_compile_options(uidriver PRIVATE ${CRIB_WARNINGS})

add_executable(rigprobe WIN32 ${CRIB_WINE_DIR}/rigprobe.cpp)
target_link_libraries(rigprobe PRIVATE comctl32 gdi32 user32 advapi32)
target_compile_options(rigprobe PRIVATE ${CRIB_WARNINGS})

add_executable(argslog WIN32 ${CRIB_WINE_DIR}/argslog.cpp)
target_compile_options(argslog PRIVATE ${CRIB_WARNINGS})

add_executable(barerec ${CRIB_WINE_DIR}/barerec.cpp)
target_link_libraries(barerec PRIVATE winmm)
target_compile_options(barerec PRIVATE ${CRIB_WARNINGS})

if(EXISTS ${CRIB_WINE_DIR}/fakephone.cpp)
    add_executable(fakephone WIN32 ${CRIB_WINE_DIR}/fakephone.cpp)
    target_include_directories(fakephone PRIVATE ${CMAKE_SOURCE_DIR})
    target_link_libraries(fakephone PRIVATE comctl32 gdi32 user32 advapi32)
    target_compile_options(fakephone PRIVATE ${CRIB_WARNINGS})
endif()

# GoogleTest for MinGW, built from the Debian sources. Windows threads are
# used (gtest's own Win32 port), so no pthread library is needed.
set(CRIB_GTEST_ROOT /usr/src/googletest/googletest CACHE PATH "GoogleTest sources (the googletest folder)")
if(EXISTS ${CRIB_GTEST_ROOT}/src/gtest-all.cc)
    add_library(crib_gtest STATIC ${CRIB_GTEST_ROOT}/src/gtest-all.cc)
    target_include_directories(crib_gtest SYSTEM PUBLIC ${CRIB_GTEST_ROOT}/include)
    target_include_directories(crib_gtest PRIVATE ${CRIB_GTEST_ROOT})
    target_compile_definitions(crib_gtest PUBLIC GTEST_HAS_PTHREAD=0)
    add_library(crib_gtest_main STATIC ${CRIB_GTEST_ROOT}/src/gtest_main.cc)
    target_link_libraries(crib_gtest_main PUBLIC crib_gtest)

    file(GLOB CRIB_WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*.cpp)
    file(GLOB CRIB_WIN_TEST_RC CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*.rc)
    set(CRIB_WINTEST_SOURCES ${CRIB_WIN_TESTS} ${CRIB_WIN_TEST_RC})
    # The program's own resources, so tests can load its dialogs and texts.
    if(EXISTS ${CMAKE_SOURCE_DIR}/res/Cribwatch.rc)
        list(APPEND CRIB_WINTEST_SOURCES ${CMAKE_SOURCE_DIR}/res/Cribwatch.rc)
    endif()
    if(CRIB_WIN_TESTS)
        add_executable(wintests ${CRIB_WINTEST_SOURCES})
        target_link_libraries(wintests PRIVATE cribwin crib_gtest_main)
        target_compile_options(wintests PRIVATE ${CRIB_WARNINGS})
        target_include_directories(wintests PRIVATE ${CMAKE_SOURCE_DIR}/tests/win)
    endif()
else()
    message(WARNING "GoogleTest sources not found in ${CRIB_GTEST_ROOT}: wintests.exe is not built")
endif()
