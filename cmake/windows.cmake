# Windows build (MinGW-w64): Cribwatch.exe, plus the programs the Wine tests use.
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 1252")

# crib_version.h (the version from the file VERSION) for every resource
# script that includes res/Cribwatch.rc.
configure_file(${CMAKE_SOURCE_DIR}/res/crib_version.h.in ${CMAKE_BINARY_DIR}/generated/crib_version.h @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/Cribwatch.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/generated/crib_version.h;${CMAKE_SOURCE_DIR}/res/Cribwatch.manifest")

set(CRIB_WARNINGS -Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type -Werror=return-type)
add_compile_definitions(WINVER=0x0501 _WIN32_WINNT=0x0501 _WIN32_IE=0x0600 STRICT)
add_link_options(-static -static-libgcc -static-libstdc++)

add_library(cribwin STATIC ${CRIB_PURE_SOURCES} ${CRIB_WIN_SOURCES})
target_include_directories(cribwin PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(cribwin PRIVATE ${CRIB_WARNINGS})
target_link_libraries(cribwin PUBLIC comctl32 winmm gdi32 user32 shell32 advapi32 ole32 comdlg32 windowscodecs uuid)

set(CRIB_RESOURCES)
if(EXISTS ${CMAKE_SOURCE_DIR}/res/Cribwatch.rc)
    set(CRIB_RESOURCES res/Cribwatch.rc)
endif()
add_executable(Cribwatch WIN32 app/main.cpp ${CRIB_RESOURCES})
target_link_libraries(Cribwatch PRIVATE cribwin)
target_compile_options(Cribwatch PRIVATE ${CRIB_WARNINGS})

# The help files CribPC-Ger.chm and CribPC-Eng.chm beside Cribwatch.exe.
include(${CMAKE_SOURCE_DIR}/cmake/help.cmake)

# The release (target dist): installer and portable zip of the 32-bit program.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    include(${CMAKE_SOURCE_DIR}/cmake/dist.cmake)
endif()

# Programs and unit tests that run under Wine.
include(${CMAKE_SOURCE_DIR}/tests/wine/programs.cmake OPTIONAL)
