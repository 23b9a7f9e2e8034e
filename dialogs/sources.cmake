# The dialogs: settings, language and About.
list(APPEND CRIB_WIN_SOURCES dialogs/setup_dlg.cpp dialogs/sel_lang_dlg.cpp dialogs/info_dlg.cpp)
