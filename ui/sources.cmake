list(APPEND CRIB_PURE_SOURCES ui/dlg_init.cpp)
list(APPEND CRIB_WIN_SOURCES ui/dialog.cpp ui/control.cpp)
