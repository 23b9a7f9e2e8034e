# Help, the About box and the contact links.
list(APPEND CRIB_PURE_SOURCES help/browser_command.cpp)
list(APPEND CRIB_WIN_SOURCES help/help.cpp help/info_dlg.cpp)
