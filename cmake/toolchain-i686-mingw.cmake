set(CMAKE_SYSTEM_PROCESSOR i686)
set(CRIB_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
