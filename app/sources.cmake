list(APPEND CRIB_PURE_SOURCES app/shared_record.cpp)
list(APPEND CRIB_WIN_SOURCES app/app_dlg.cpp app/monitor_app.cpp)
