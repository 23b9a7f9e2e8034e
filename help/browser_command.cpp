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
    if (command[0] == '"') {
        const char* next = std::strchr(command + 1, '"');
        if (next) {
            CopySpan(command + 1, static_cast<std::size_t>(next - command - 1), out, size);
            return;
        }
    } else {
        // The program ends before the first quote: what follows are its arguments.
        const char* quote = std::strchr(command, '"');
        const std::size_t head = quote ? static_cast<std::size_t>(quote - command) : std::strlen(command);
        const char* backslash = nullptr;
        for (std::size_t i = 1; i < head; ++i)
            if (command[i] == '\\') backslash = command + i;
        if (backslash) {
            const char* blank = std::strchr(backslash, ' ');
            if (blank) {
                CopySpan(command, static_cast<std::size_t>(blank - command), out, size);
                return;
            }
        }
    }
    CopyTruncated(out, size, command);
}

void BesideProgram(const char* programPath, const char* name, char* out, std::size_t size) {
    if (!out || size == 0) return;
    if (!name) name = "";
    const char* slash = programPath ? std::strrchr(programPath, '\\') : nullptr;
    const std::size_t folder = slash ? static_cast<std::size_t>(slash - programPath) + 1 : 0;
    if (folder + std::strlen(name) >= size) {
        CopyTruncated(out, size, name);
        return;
    }
    std::memcpy(out, programPath, folder);
    std::memcpy(out + folder, name, std::strlen(name) + 1);
}
