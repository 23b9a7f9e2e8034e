# Help and the contact links.
list(APPEND CRIB_PURE_SOURCES help/browser_command.cpp)
list(APPEND CRIB_WIN_SOURCES help/help.cpp)
