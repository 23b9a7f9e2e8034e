list(APPEND CRIB_WIN_SOURCES ui/dialog.cpp ui/control.cpp)
