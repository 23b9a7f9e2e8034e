#include "monitor/capture_error.h"

namespace {

struct NamedCode {
    unsigned code;
    const char* name;
};

constexpr NamedCode kCaptureErrorNames[] = {
    {2, "MMSYSERR_BADDEVICEID"}, {4, "MMSYSERR_ALLOCATED"}, {5, "MMSYSERR_INVALHANDLE"},
    {6, "MMSYSERR_NODRIVER"},    {7, "MMSYSERR_NOMEM"},     {32, "WAVERR_BADFORMAT"},
    {33, "WAVERR_STILLPLAYING"},
};

}  // namespace

const char* CaptureErrorName(unsigned code) {
    for (const NamedCode& entry : kCaptureErrorNames)
        if (entry.code == code) return entry.name;
    return "UNKNOWN";
}
