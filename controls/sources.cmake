list(APPEND CRIB_PURE_SOURCES controls/gradient.cpp)
list(APPEND CRIB_WIN_SOURCES controls/pro_slider.cpp controls/hlink_ctrl.cpp)
# The main window's display texts and meter values; listed here so that
# they build with the slider's other pure files.
list(APPEND CRIB_PURE_SOURCES app/display_format.cpp)
