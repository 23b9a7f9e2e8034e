// The browser program cut out of the command registered for http: the input
// is the registry text (up to its first NUL).
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "help/browser_command.h"

namespace {

// The rule, written out plainly over std::string.
std::string ExpectedProgram(const std::string& command) {
    if (!command.empty() && command[0] == '"') {
        const std::size_t closing = command.find('"', 1);
        if (closing == std::string::npos) return command;
        return command.substr(1, closing - 1);
    }
    const std::string head = command.substr(0, command.find('"'));  // the arguments follow a quote
    const std::size_t backslash = head.rfind('\\');
    if (backslash == std::string::npos || backslash == 0) return command;
    const std::size_t blank = command.find(' ', backslash);
    if (blank == std::string::npos) return command;
    return command.substr(0, blank);
}

constexpr char kCanary = '#';

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string raw(reinterpret_cast<const char*>(data), size);
    const char* command = raw.c_str();
    const std::string text(command);
    const std::string expected = ExpectedProgram(text);

    // The caller's size (as long as the command), the help's 260, a few small ones.
    const std::size_t sizes[] = {0, 1, 2, 9, 260, text.size() + 1};
    static char out[4096 + 64];
    for (std::size_t room : sizes) {
        if (room > 4096) continue;
        std::memset(out, kCanary, sizeof out);
        BrowserProgramOf(command, out, room);
        FUZZ_CHECK(AllBytesAre(out + room, kCanary, sizeof out - room));
        if (room == 0) continue;  // no room: nothing written
        FUZZ_CHECK(TerminatedWithin(out, room));
        const std::string program(out);
        FUZZ_CHECK(program == expected.substr(0, room - 1));
        // What is handed to the shell always comes out of the command.
        FUZZ_CHECK(text.find(program) != std::string::npos);
    }
    return 0;
}
