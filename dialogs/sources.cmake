# The dialogs: settings, language, About and the calibration aid.
list(APPEND CRIB_WIN_SOURCES dialogs/setup_dlg.cpp dialogs/sel_lang_dlg.cpp dialogs/info_dlg.cpp
     dialogs/calibrate_dlg.cpp)
