#include "ui/dlg_init.h"

#include <cstring>

namespace {

constexpr std::size_t kHeaderBytes = 8;  // id, message, byte count

std::uint32_t ReadLittle(const unsigned char* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

}  // namespace

std::size_t ForEachDlgInitItem(const void* data, std::size_t size, DlgInitAdd add, void* context) {
    if (!data) return 0;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    std::size_t left = size;
    std::size_t count = 0;
    while (left >= 2) {
        const unsigned id = ReadLittle(p, 2);
        if (id == 0 || left < kHeaderBytes) break;
        const unsigned message = ReadLittle(p + 2, 2);
        const std::uint32_t bytes = ReadLittle(p + 4, 4);
        if (bytes > left - kHeaderBytes) break;
        const char* text = reinterpret_cast<const char*>(p + kHeaderBytes);
        if (bytes == 0 || !std::memchr(text, '\0', bytes)) break;
        if (add) add(DlgInitItem{id, message, text}, context);
        ++count;
        p += kHeaderBytes + bytes;
        left -= kHeaderBytes + bytes;
    }
    return count;
}
