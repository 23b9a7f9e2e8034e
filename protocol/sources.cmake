list(APPEND CRIB_PURE_SOURCES protocol/level_protocol.cpp protocol/run_record.cpp)
