# Alarm calling: the serial port table and the dialler.
list(APPEND CRIB_PURE_SOURCES
    calling/serial_port_table.cpp
    calling/dial_sequence.cpp)
if(WIN32)
    list(APPEND CRIB_WIN_SOURCES
        calling/serial_port_win32.cpp
        calling/dialler.cpp)
else()
    list(APPEND CRIB_PURE_SOURCES calling/serial_port_none.cpp)
endif()
