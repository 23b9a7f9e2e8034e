list(APPEND CRIB_WIN_SOURCES app/app_dlg.cpp app/monitor_app.cpp app/run_picture.cpp)
