#include "base/placeholder.h"

std::size_t FillPlaceholders(char* out, std::size_t size, const char* format,
                             const char* const* values, std::size_t count) {
    if (!out || size == 0) return 0;
    std::size_t used = 0;
    auto put = [&](char c) {
        if (used + 1 < size) out[used++] = c;
    };
    std::size_t filled = 0;
    if (format) {
        for (const char* p = format; *p; ++p) {
            if (p[0] == '%' && p[1] == '%') {
                put('%');
                ++p;
            } else if (p[0] == '%' && p[1] == 's' && filled < count) {
                const char* value = values ? values[filled] : nullptr;
                for (const char* v = value ? value : ""; *v; ++v) put(*v);
                filled += 1;
                ++p;
            } else {
                put(*p);
            }
        }
    }
    out[used] = '\0';
    return used;
}
