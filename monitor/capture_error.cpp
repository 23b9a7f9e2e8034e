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

std::size_t FormatCaptureErrorText(char* out, std::size_t size, const char* format, const char* name) {
    if (!out || size == 0) return 0;
    std::size_t used = 0;
    auto put = [&](char c) {
        if (used + 1 < size) out[used++] = c;
    };
    bool nameUsed = false;
    if (format) {
        for (const char* p = format; *p; ++p) {
            if (p[0] == '%' && p[1] == '%') {
                put('%');
                ++p;
            } else if (p[0] == '%' && p[1] == 's' && !nameUsed) {
                for (const char* n = name ? name : ""; *n; ++n) put(*n);
                nameUsed = true;
                ++p;
            } else {
                put(*p);
            }
        }
    }
    out[used] = '\0';
    return used;
}
