# Helpers every layer may use: bounded copies and the one shared record.
list(APPEND CRIB_PURE_SOURCES base/bounded_copy.cpp base/placeholder.cpp base/shared_record.cpp)
