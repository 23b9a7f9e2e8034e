#include "base/placeholder.h"

std::size_t FillPlaceholder(char* out, std::size_t size, const char* format, const char* value) {
    if (!out || size == 0) return 0;
    std::size_t used = 0;
    auto put = [&](char c) {
        if (used + 1 < size) out[used++] = c;
    };
    bool filled = false;
    if (format) {
        for (const char* p = format; *p; ++p) {
            if (p[0] == '%' && p[1] == '%') {
                put('%');
                ++p;
            } else if (p[0] == '%' && p[1] == 's' && !filled) {
                for (const char* v = value ? value : ""; *v; ++v) put(*v);
                filled = true;
                ++p;
            } else {
                put(*p);
            }
        }
    }
    out[used] = '\0';
    return used;
}
