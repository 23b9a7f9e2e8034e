// The capture error message: the name of a failed wave call's result code
// and the text that shows it. No platform headers.
#pragma once

#include <cstddef>

// "MMSYSERR_BADDEVICEID" for 2, ... "WAVERR_STILLPLAYING" for 33, else "UNKNOWN".
const char* CaptureErrorName(unsigned code);

// Fills `out` (size bytes, at most size - 1 characters) from `format`: the
// first "%s" receives `name`, "%%" gives "%", anything else is copied as it
// stands (a stray placeholder in a resource text is never interpreted).
// Returns the number of characters written.
std::size_t FormatCaptureErrorText(char* out, std::size_t size, const char* format, const char* name);
