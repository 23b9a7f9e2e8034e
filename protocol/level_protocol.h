// The optional per-second protocol file of a monitoring run.
// Standard library only: no platform headers.
#pragma once

#include <cstddef>
#include <ctime>

#include "base/monitor_state.h"
#include "base/monitor_settings.h"

// "<folder>\DD-MM-YYYYY-HH-MM-SS.log"; false (and an empty text) when it does not fit.
bool FormatProtocolFileName(char* out, std::size_t size, const char* folder, const std::tm& start);

// "DD.MM.YYYY\tHH:MM:SS\t<alarmLevel*100 with one decimal>" without the line end.
bool FormatProtocolLine(char* out, std::size_t size, const std::tm& now, double alarmLevel);

// Creates (or empties) the run's file in state.protocolFolder, named from `start`.
void OpenProtocol(MonitorState& state, const std::tm& start);
// One line when logging is on and a file is open.
void WriteProtocolLine(const MonitorSettings& settings, MonitorState& state, const std::tm& now);
// Closes the file if one is open.
void CloseProtocol(MonitorState& state);
