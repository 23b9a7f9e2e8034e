// The level protocol: file name, line format, and a real file written and read back.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

#include "moment.h"
#include "protocol/level_protocol.h"

namespace {


std::string Name(const char* folder, const std::tm& t) {
    char out[512];
    std::memset(out, 'x', sizeof out);
    if (!FormatProtocolFileName(out, sizeof out, folder, t)) return "<failed>";
    return out;
}

std::string Line(const std::tm& t, double alarmLevel) {
    char out[128];
    if (!FormatProtocolLine(out, sizeof out, t, alarmLevel)) return "<failed>";
    return out;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// A fresh folder for one test, removed with its files afterwards.
struct ProtocolFolder : ::testing::Test {
    std::string folder;
    MonitorSettings settings{};
    MonitorState state;

    void SetUp() override {
        char pattern[] = "/tmp/protocol-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        ResetMonitorState(state);
        // "<folder>/run" + "\<name>": on this platform the backslash is part
        // of a file name, so the run's file lands inside the test's folder.
        const std::string protocolFolder = folder + "/run";
        ASSERT_LT(protocolFolder.size(), sizeof state.protocolFolder);
        std::strcpy(state.protocolFolder, protocolFolder.c_str());
        settings.logging = 1;
    }
    void TearDown() override {
        CloseProtocol(state);
        std::string command = "rm -rf '" + folder + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    std::string PathFor(const std::tm& t) { return Name(state.protocolFolder, t); }
};

}  // namespace

TEST(ProtocolFileName, DayMonthFiveDigitYearTime) {
    EXPECT_EQ(Name("C:\\Monitor", Moment(2026, 12, 6, 7, 12, 57)), "C:\\Monitor\\06-12-02026-07-12-57.log");
}

TEST(ProtocolFileName, MonthIsOneBasedAndFieldsArePadded) {
    EXPECT_EQ(Name("D:", Moment(1999, 1, 1, 0, 0, 0)), "D:\\01-01-01999-00-00-00.log");
    EXPECT_EQ(Name("D:", Moment(2031, 10, 31, 23, 59, 59)), "D:\\31-10-02031-23-59-59.log");
}

TEST(ProtocolFileName, OneBackslashWhateverTheFolderEndsIn) {
    EXPECT_EQ(Name("C:\\", Moment(2026, 12, 6, 7, 12, 57)), "C:\\\\06-12-02026-07-12-57.log");
    EXPECT_EQ(Name("", Moment(2026, 12, 6, 7, 12, 57)), "\\06-12-02026-07-12-57.log");
}

TEST(ProtocolFileName, FolderOfMaximumLengthFits) {
    const std::string folder(259, 'f');
    const std::string name = Name(folder.c_str(), Moment(2026, 12, 6, 7, 12, 57));
    EXPECT_EQ(name, folder + "\\06-12-02026-07-12-57.log");
}

TEST(ProtocolFileName, TooLongFailsCleanlyWithoutOverflow) {
    // 512 bytes: the backslash and the 24 characters of the name leave 486 for the folder.
    const std::tm t = Moment(2026, 12, 6, 7, 12, 57);
    std::string folder(487, 'a');
    char out[512 + 16];
    std::memset(out, '#', sizeof out);
    EXPECT_FALSE(FormatProtocolFileName(out, 512, folder.c_str(), t));
    EXPECT_EQ(out[0], '\0');
    for (size_t i = 512; i < sizeof out; ++i) ASSERT_EQ(out[i], '#') << "written past the buffer at " << i;

    folder.resize(486);
    ASSERT_TRUE(FormatProtocolFileName(out, 512, folder.c_str(), t));
    EXPECT_EQ(std::strlen(out), 511u);
}

TEST(ProtocolFileName, BadArgumentsFail) {
    const std::tm t = Moment(2026, 12, 6, 7, 12, 57);
    char out[8] = "keep";
    EXPECT_FALSE(FormatProtocolFileName(out, 0, "C:", t));
    EXPECT_STREQ(out, "keep");
    EXPECT_FALSE(FormatProtocolFileName(nullptr, 512, "C:", t));
    char big[64];
    EXPECT_FALSE(FormatProtocolFileName(big, sizeof big, nullptr, t));
    EXPECT_STREQ(big, "");
}

TEST(ProtocolFileName, ExtremeTimeFieldsDoNotOverflow) {
    std::tm t{};
    t.tm_year = 2147483647;
    t.tm_mon = 2147483647;
    t.tm_mday = -2147483647 - 1;
    char out[512];
    ASSERT_TRUE(FormatProtocolFileName(out, sizeof out, "C:", t));
    EXPECT_STREQ(out, "C:\\-2147483648-2147483648-2147485547-00-00-00.log");
}

TEST(ProtocolLine, DateTimeAndAlarmLevelInPercent) {
    EXPECT_EQ(Line(Moment(2026, 12, 6, 7, 12, 58), 0.4237), "06.12.2026\t07:12:58\t42.4");
}

TEST(ProtocolLine, ZeroAndFull) {
    EXPECT_EQ(Line(Moment(2026, 1, 2, 3, 4, 5), 0.0), "02.01.2026\t03:04:05\t0.0");
    EXPECT_EQ(Line(Moment(2026, 1, 2, 23, 59, 59), 1.0), "02.01.2026\t23:59:59\t100.0");
}

TEST(ProtocolLine, OneDecimal) {
    EXPECT_EQ(Line(Moment(2026, 5, 17, 12, 0, 0), 0.02), "17.05.2026\t12:00:00\t2.0");
    EXPECT_EQ(Line(Moment(2026, 5, 17, 12, 0, 0), 0.305), "17.05.2026\t12:00:00\t30.5");
    EXPECT_EQ(Line(Moment(2026, 5, 17, 12, 0, 0), 0.995), "17.05.2026\t12:00:00\t99.5");
}

TEST(ProtocolLine, TooSmallBufferFailsCleanly) {
    char out[10];
    std::memset(out, '#', sizeof out);
    EXPECT_FALSE(FormatProtocolLine(out, 8, Moment(2026, 12, 6, 7, 12, 58), 0.5));
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[8], '#');
    EXPECT_EQ(out[9], '#');
}

TEST_F(ProtocolFolder, RunWritesOneLinePerCallAndClosesTheFile) {
    const std::tm start = Moment(2026, 12, 6, 7, 12, 57);
    OpenProtocol(state, start);
    ASSERT_NE(state.protocolFile, nullptr);
    const std::string path = PathFor(start);
    EXPECT_TRUE(Exists(path));

    state.alarmLevel = 0.4237;
    WriteProtocolLine(settings, state, Moment(2026, 12, 6, 7, 12, 58));
    state.alarmLevel = 1.0;
    WriteProtocolLine(settings, state, Moment(2026, 12, 6, 7, 12, 59));
    state.alarmLevel = 0.0;
    state.tickCount = 3;
    MarkProtocolCall(state, RunMark::AlarmCall);
    WriteProtocolLine(settings, state, Moment(2026, 12, 6, 7, 13, 0));
    // The picture's record: every line, the call 0.3 s into the third, the
    // picture's name beside the file.
    const std::unique_ptr<RunRecord> run = TakeRunRecord(state);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->seconds, 3);
    EXPECT_EQ(ScaleRun(*run, 3)[1].level, 1000);
    ASSERT_EQ(run->events.size(), 1u);
    EXPECT_EQ(run->events[0].tenths, 23);
    EXPECT_EQ(run->picture, path.substr(0, path.size() - 4) + ".png");
    EXPECT_EQ(run->last.tm_min, 13);
    CloseProtocol(state);
    EXPECT_EQ(state.protocolFile, nullptr);

    EXPECT_EQ(ReadFile(path),
              "06.12.2026\t07:12:58\t42.4\n"
              "06.12.2026\t07:12:59\t100.0\n"
              "06.12.2026\t07:13:00\t0.0\n");
    // A run stopped before its first line has nothing to show.
    OpenProtocol(state, start);
    EXPECT_FALSE(TakeRunRecord(state));
}

TEST_F(ProtocolFolder, RunAcrossMidnightKeepsItsNameAndShowsTheNewDate) {
    const std::tm start = Moment(2026, 12, 31, 23, 59, 58);
    OpenProtocol(state, start);
    ASSERT_NE(state.protocolFile, nullptr);
    WriteProtocolLine(settings, state, Moment(2026, 12, 31, 23, 59, 59));
    WriteProtocolLine(settings, state, Moment(2027, 1, 1, 0, 0, 0));
    CloseProtocol(state);
    EXPECT_EQ(ReadFile(PathFor(start)), "31.12.2026\t23:59:59\t0.0\n01.01.2027\t00:00:00\t0.0\n");
}

TEST_F(ProtocolFolder, SecondStartInTheSameSecondEmptiesTheFile) {
    const std::tm start = Moment(2026, 12, 6, 7, 12, 57);
    OpenProtocol(state, start);
    ASSERT_NE(state.protocolFile, nullptr);
    WriteProtocolLine(settings, state, start);
    WriteProtocolLine(settings, state, start);
    CloseProtocol(state);
    ASSERT_FALSE(ReadFile(PathFor(start)).empty());

    OpenProtocol(state, start);
    ASSERT_NE(state.protocolFile, nullptr);
    CloseProtocol(state);
    EXPECT_TRUE(Exists(PathFor(start)));
    EXPECT_EQ(ReadFile(PathFor(start)), "");
}

TEST_F(ProtocolFolder, NoLinesWhileLoggingIsOff) {
    const std::tm start = Moment(2026, 12, 6, 7, 12, 57);
    OpenProtocol(state, start);
    ASSERT_NE(state.protocolFile, nullptr);
    settings.logging = 0;
    WriteProtocolLine(settings, state, start);
    settings.logging = 1;
    state.alarmLevel = 0.5;
    WriteProtocolLine(settings, state, start);
    CloseProtocol(state);
    EXPECT_EQ(ReadFile(PathFor(start)), "06.12.2026\t07:12:57\t50.0\n");
}

TEST_F(ProtocolFolder, WithoutAFileNothingIsWrittenAndCloseIsHarmless) {
    WriteProtocolLine(settings, state, Moment(2026, 12, 6, 7, 12, 57));
    CloseProtocol(state);
    CloseProtocol(state);
    EXPECT_EQ(state.protocolFile, nullptr);
}

TEST_F(ProtocolFolder, OpeningAgainClosesTheEarlierFileFirst) {
    const std::tm first = Moment(2026, 12, 6, 7, 12, 57);
    const std::tm second = Moment(2026, 12, 6, 7, 13, 30);
    OpenProtocol(state, first);
    ASSERT_NE(state.protocolFile, nullptr);
    WriteProtocolLine(settings, state, first);
    OpenProtocol(state, second);
    ASSERT_NE(state.protocolFile, nullptr);
    // The first file was closed, so its line has reached the disk.
    EXPECT_EQ(ReadFile(PathFor(first)), "06.12.2026\t07:12:57\t0.0\n");
    CloseProtocol(state);
    EXPECT_EQ(ReadFile(PathFor(second)), "");
}

TEST_F(ProtocolFolder, FolderThatIsNotAFolderLeavesNoFile) {
    // A plain file in place of the folder: no user, root included, may create
    // anything beneath it.
    const std::string notAFolder = folder + "/plain-file";
    std::FILE* plain = std::fopen(notAFolder.c_str(), "w");
    ASSERT_NE(plain, nullptr);
    std::fclose(plain);
    const std::string child = notAFolder + "/sub";
    ASSERT_LT(child.size(), sizeof state.protocolFolder);
    std::strcpy(state.protocolFolder, child.c_str());
    OpenProtocol(state, Moment(2026, 12, 6, 7, 12, 57));
    EXPECT_EQ(state.protocolFile, nullptr);
    WriteProtocolLine(settings, state, Moment(2026, 12, 6, 7, 12, 58));
    CloseProtocol(state);
    EXPECT_EQ(state.protocolFile, nullptr);
}

TEST_F(ProtocolFolder, MissingFolderLeavesNoFile) {
    std::strcpy(state.protocolFolder, "/nonexistent-folder-of-the-protocol-test/x");
    OpenProtocol(state, Moment(2026, 12, 6, 7, 12, 57));
    EXPECT_EQ(state.protocolFile, nullptr);
}

TEST_F(ProtocolFolder, UnterminatedFolderFieldIsReadOnlyToItsEnd) {
    std::memset(state.protocolFolder, 'q', sizeof state.protocolFolder);
    OpenProtocol(state, Moment(2026, 12, 6, 7, 12, 57));
    // 260 characters of folder plus the name: fits the 512 bytes; the file
    // lands beneath the working folder's name space or fails, but never
    // reads past the field (the sanitizers watch that).
    if (state.protocolFile) {
        CloseProtocol(state);
        const std::string made = std::string(260, 'q') + "\\06-12-02026-07-12-57.log";
        EXPECT_EQ(::unlink(made.c_str()), 0);
    }
}
