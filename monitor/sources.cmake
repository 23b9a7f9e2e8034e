list(APPEND CRIB_PURE_SOURCES monitor/alarm.cpp monitor/calibration.cpp monitor/capture_error.cpp monitor/tick.cpp)
list(APPEND CRIB_WIN_SOURCES monitor/wave_capture.cpp)
