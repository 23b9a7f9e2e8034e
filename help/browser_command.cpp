#include "help/browser_command.h"

#include <cstring>

#include "base/bounded_copy.h"

namespace {

void CopySpan(const char* begin, std::size_t length, char* out, std::size_t size) {
    if (size == 0) return;
    const std::size_t n = length < size - 1 ? length : size - 1;
    std::memcpy(out, begin, n);
    out[n] = '\0';
}

}  // namespace

void BrowserProgramOf(const char* command, char* out, std::size_t size) {
    if (!out || size == 0) return;
    if (!command) command = "";
    const char* first = std::strchr(command, '"');
    if (first) {
        const char* next = std::strchr(first + 1, '"');
        if (next) {
            CopySpan(first + 1, static_cast<std::size_t>(next - first - 1), out, size);
            return;
        }
    } else {
        const char* backslash = std::strrchr(command, '\\');
        if (backslash && backslash != command) {
            const char* blank = std::strchr(backslash, ' ');
            if (blank) {
                CopySpan(command, static_cast<std::size_t>(blank - command), out, size);
                return;
            }
        }
    }
    CopyTruncated(out, size, command);
}
