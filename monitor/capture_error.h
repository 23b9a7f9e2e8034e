// The name of a failed wave call's result code, for the capture error
// message. No platform headers.
#pragma once

#include <cstddef>

// "MMSYSERR_BADDEVICEID" for 2, ... "WAVERR_STILLPLAYING" for 33, else "UNKNOWN".
const char* CaptureErrorName(unsigned code);
