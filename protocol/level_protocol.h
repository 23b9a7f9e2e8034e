// The optional per-second protocol file of a monitoring run.
// Standard library only: no platform headers.
#pragma once

#include <cstddef>
#include <ctime>
#include <memory>

#include "base/monitor_state.h"
#include "base/monitor_settings.h"
#include "protocol/run_record.h"

// "<folder>\DD-MM-YYYYY-HH-MM-SS.log"; false (and an empty text) when it does not fit.
bool FormatProtocolFileName(char* out, std::size_t size, const char* folder, const std::tm& start);

// "DD.MM.YYYY\tHH:MM:SS\t<alarmLevel*100 with one decimal>" without the line end.
bool FormatProtocolLine(char* out, std::size_t size, const std::tm& now, double alarmLevel);

// Creates (or empties) the run's file in state.protocolFolder, named from
// `start`, and begins the record of what its picture will show.
void OpenProtocol(MonitorState& state, const std::tm& start);
// One line when logging is on and a file is open; the record gets the second.
void WriteProtocolLine(const MonitorSettings& settings, MonitorState& state, const std::tm& now);
// A call at this tick, for the run's picture.
void MarkProtocolCall(MonitorState& state, RunMark mark);
// The run's record, taken out of the state for its picture; null when the
// run has none (no file, or not even the first second).
std::unique_ptr<RunRecord> TakeRunRecord(MonitorState& state);
// Closes the file if one is open; a record not taken goes with it.
void CloseProtocol(MonitorState& state);
