list(APPEND CRIB_PURE_SOURCES settings/settings_parse.cpp)
list(APPEND CRIB_WIN_SOURCES settings/profile.cpp settings/settings_store.cpp settings/text_lookup.cpp)
