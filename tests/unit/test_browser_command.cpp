// The browser program out of the command registered for http.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "help/browser_command.h"

namespace {

std::string Program(const char* command, std::size_t size = 512) {
    char out[4096];
    std::memset(out, '#', sizeof out);
    BrowserProgramOf(command, out, size);
    EXPECT_LT(std::strlen(out), size);
    return out;
}

TEST(BrowserCommand, QuotedPathsBlankSeparatedPathsAndTheRest) {
    const struct {
        const char* command;
        const char* program;
    } cases[] = {
        {"\"C:\\Program Files\\Web\\web.exe\" -nohome", "C:\\Program Files\\Web\\web.exe"},
        // Path and argument quoted, as browsers register today: the path alone.
        {"\"C:\\Program Files\\Web\\web.exe\" -osint -url \"%1\"", "C:\\Program Files\\Web\\web.exe"},
        {"C:\\PROGRA~1\\WEB\\WEB.EXE %1", "C:\\PROGRA~1\\WEB\\WEB.EXE"},
        {"browser", "browser"},                  // one word: unchanged
        {"", ""},
        {"\"", "\""},                            // a lone quote: unchanged
        {"C:\\Web\\web.exe \"", "C:\\Web\\web.exe"},  // a quote after the path: an argument
        // Unquoted path, quoted argument (also with a backslash in it).
        {"C:\\PROGRA~1\\WEB\\WEB.EXE -url \"%1\"", "C:\\PROGRA~1\\WEB\\WEB.EXE"},
        {"C:\\Web\\web.exe -p \"C:\\x y\\z\" %1", "C:\\Web\\web.exe"},
        {"\\web.exe -x", "\\web.exe -x"},        // a backslash first: unchanged
        {"C:\\Web\\web.exe", "C:\\Web\\web.exe"},  // no blank after the backslash
        {"C:\\My Web\\web.exe %1", "C:\\My Web\\web.exe"},  // the blank after the last backslash
        {"\"\" -x", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.program, Program(c.command)) << c.command;
    EXPECT_EQ("", Program(nullptr));
}

TEST(BrowserCommand, LongCommandsAreCutToTheBuffer) {
    const std::string path = "C:\\" + std::string(1990, 'w') + "\\web.exe";
    const std::string quoted = "\"" + path + "\" \"%1\"";
    EXPECT_EQ(path, Program(quoted.c_str(), 4096));
    EXPECT_EQ(path.substr(0, 259), Program(quoted.c_str(), 260));
    EXPECT_EQ(path.substr(0, 259), Program((path + " %1").c_str(), 260));
    char one[1] = {'x'};
    BrowserProgramOf(quoted.c_str(), one, 1);
    EXPECT_EQ('\0', one[0]);
    BrowserProgramOf(quoted.c_str(), nullptr, 10);  // no room at all: nothing written
}

TEST(BesideProgram, TheNameInTheProgramsFolderOrAloneWhenThatDoesNotFit) {
    char out[32];
    BesideProgram("C:\\Prog\\Cribwatch.exe", "CribPC-Ger.chm", out, sizeof out);
    EXPECT_STREQ(out, "C:\\Prog\\CribPC-Ger.chm");
    BesideProgram("Cribwatch.exe", "CribPC-Ger.chm", out, sizeof out);
    EXPECT_STREQ(out, "CribPC-Ger.chm");
    BesideProgram("C:\\A long folder name\\Cribwatch.exe", "CribPC-Ger.chm", out, sizeof out);
    EXPECT_STREQ(out, "CribPC-Ger.chm");
    BesideProgram(nullptr, "x.chm", out, 4);
    EXPECT_STREQ(out, "x.c");
}

}  // namespace
