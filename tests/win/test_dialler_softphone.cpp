// The dialler's softphone channel against the stand-in softphone
// (fakephone.exe), which logs every command it receives.
//
// CRIB_TEST_FAKEPHONE names fakephone.exe (a Windows path);
// without it the tests are skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/shared_record.h"
#include "base/bounded_copy.h"
#include "calling/dialler.h"

namespace {

const char* FakePhone() {
    const char* v = std::getenv("CRIB_TEST_FAKEPHONE");
    return (v != nullptr && *v != '\0') ? v : nullptr;
}

#define REQUIRE_FAKEPHONE()                                                               \
    do {                                                                                  \
        if (FakePhone() == nullptr) {                                                     \
            GTEST_SKIP() << "CRIB_TEST_FAKEPHONE (the path of fakephone.exe) is not set"; \
        }                                                                                 \
    } while (0)

HWND FindPhone() { return ::FindWindowA("#32770", "1&1 Softphone"); }

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// The commands of the log from line `from` on, without start, window and
// exit lines and without the controls' own notifications.
std::vector<std::string> Commands(const std::vector<std::string>& lines, std::size_t from = 0) {
    std::vector<std::string> out;
    for (std::size_t i = from; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (l.rfind("CB_SETCURSEL", 0) == 0) out.push_back(l);
        if (l.rfind("COMMAND", 0) == 0 && l.size() > 2 && l.compare(l.size() - 2, 2, " 0") == 0) {
            out.push_back(l);
        }
    }
    return out;
}

bool WaitFor(bool (*condition)(void*), void* context, DWORD deadlineMs) {
    const DWORD start = ::GetTickCount();
    do {
        if (condition(context)) return true;
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
        ::Sleep(50);
    } while (::GetTickCount() - start < deadlineMs);
    return condition(context);
}

class SoftPhoneChannel : public ::testing::Test {
public:
    std::string log;
    DialRequest request = {};

    // A call to `number` through the request's channel and program.
    DialOutcome DialNumber(const char* number) {
        std::strcpy(request.number, number);
        return Dial(request);
    }

    int Starts() const {
        int n = 0;
        for (const std::string& l : ReadLines(log)) n += l.rfind("START", 0) == 0;
        return n;
    }

protected:

    void SetUp() override {
        request.channel = kConnectSoftPhone;
        char dir[MAX_PATH];
        ::GetTempPathA(sizeof dir, dir);
        char name[MAX_PATH];
        ::GetTempFileNameA(dir, "fph", 0, name);
        log = name;
        ::DeleteFileA(name);
    }

    void TearDown() override {
        // End every phone this test started, by its process id.
        for (const std::string& l : ReadLines(log)) {
            unsigned long pid = 0;
            if (std::sscanf(l.c_str(), "START %lu", &pid) != 1) continue;
            HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
            if (process == nullptr) continue;
            if (::WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
                ::TerminateProcess(process, 1);
                ::WaitForSingleObject(process, 10000);
            }
            ::CloseHandle(process);
        }
        ::DeleteFileA(log.c_str());
    }

    // The softphone's command line: the program, options, then the log.
    std::string PhoneCommand(const std::string& options = "") const {
        std::string line = "\"" + std::string(FakePhone()) + "\" ";
        if (!options.empty()) line += options + " ";
        return line + "\"" + log + "\"";
    }

    void SetPath(const std::string& commandLine) {
        ASSERT_LT(commandLine.size(), sizeof request.program);
        std::strcpy(request.program, commandLine.c_str());
    }
};

TEST_F(SoftPhoneChannel, StartsTheMissingPhoneAndDialsTheNumber) {
    REQUIRE_FAKEPHONE();
    ASSERT_EQ(nullptr, FindPhone()) << "a softphone window is already open";
    SetPath(PhoneCommand());

    EXPECT_EQ(DialOutcome::Dialled, DialNumber("0301-234 567"));
    ASSERT_NE(nullptr, FindPhone());
    const std::vector<std::string> expected = {
        "CB_SETCURSEL -1 0", "COMMAND 1019 0 0", "COMMAND 1011 0 0", "COMMAND 1019 0 0",
        "COMMAND 1009 0 0",  "COMMAND 1010 0 0", "COMMAND 1011 0 0", "COMMAND 1012 0 0",
        "COMMAND 1013 0 0",  "COMMAND 1014 0 0", "COMMAND 1015 0 0", "COMMAND 1006 0 0"};
    // Each command is sent synchronously, so the log is complete on return.
    EXPECT_EQ(expected, Commands(ReadLines(log)));
    EXPECT_TRUE(::IsWindowVisible(FindPhone()));

    // The running phone is used as it is.
    const std::size_t before = ReadLines(log).size();
    EXPECT_EQ(DialOutcome::Dialled, DialNumber("?"));
    const std::vector<std::string> onlyDial = {"CB_SETCURSEL -1 0", "COMMAND 1006 0 0"};
    EXPECT_EQ(onlyDial, Commands(ReadLines(log), before));
    EXPECT_EQ(1, Starts());
}

TEST_F(SoftPhoneChannel, AMinimisedPhoneIsShownNormally) {
    REQUIRE_FAKEPHONE();
    ASSERT_EQ(nullptr, FindPhone());
    SetPath(PhoneCommand());
    ASSERT_EQ(DialOutcome::Dialled, DialNumber("1"));
    HWND phone = FindPhone();
    ASSERT_NE(nullptr, phone);
    ::ShowWindow(phone, SW_MINIMIZE);
    ASSERT_TRUE(::IsIconic(phone));
    EXPECT_EQ(DialOutcome::Dialled, DialNumber("2"));
    EXPECT_FALSE(::IsIconic(phone));
    EXPECT_TRUE(::IsWindowVisible(phone));
}

TEST_F(SoftPhoneChannel, AProgramThatCannotBeStartedIsNotFoundAndNothingIsSent) {
    REQUIRE_FAKEPHONE();
    ASSERT_EQ(nullptr, FindPhone());
    SetPath("C:\\no\\such\\folder\\softphone.exe");
    EXPECT_EQ(DialOutcome::SoftPhoneNotFound, DialNumber("555"));
    SetPath("");
    EXPECT_EQ(DialOutcome::SoftPhoneNotFound, DialNumber("555"));
    EXPECT_EQ(nullptr, FindPhone());
}

TEST_F(SoftPhoneChannel, APhoneThatIsSlowToOpenItsWindowIsStartingAndARetryStartsNoSecond) {
    REQUIRE_FAKEPHONE();
    ASSERT_EQ(nullptr, FindPhone());
    SetPath(PhoneCommand("--delay-window 3000"));
    EXPECT_EQ(DialOutcome::SoftPhoneStarting, DialNumber("555"));
    request.retry = true;
    EXPECT_EQ(DialOutcome::SoftPhoneStarting, DialNumber("555"));
    EXPECT_TRUE(Commands(ReadLines(log)).empty());
    // Once its window is there, the retry dials it.
    ASSERT_TRUE(WaitFor([](void*) { return FindPhone() != nullptr; }, nullptr, 20000));
    EXPECT_EQ(DialOutcome::Dialled, DialNumber("5"));
    const std::vector<std::string> expected = {"CB_SETCURSEL -1 0", "COMMAND 1013 0 0",
                                               "COMMAND 1006 0 0"};
    EXPECT_EQ(expected, Commands(ReadLines(log)));
    EXPECT_EQ(1, Starts());
}

TEST_F(SoftPhoneChannel, OtherChannelsDoNotTouchThePhone) {
    REQUIRE_FAKEPHONE();
    ASSERT_EQ(nullptr, FindPhone());
    SetPath(PhoneCommand());
    request.channel = kConnectTelephonyApp;  // no app registered for tel: links
    EXPECT_EQ(DialOutcome::NoTelephonyApp, DialNumber("555"));
    request.channel = -3;
    EXPECT_EQ(DialOutcome::NothingToDo, DialNumber("555"));
    request.channel = kConnectModem;  // no modem port open: nothing
    EXPECT_EQ(DialOutcome::NoPort, DialNumber("555"));
    ::Sleep(500);
    EXPECT_EQ(nullptr, FindPhone());
    EXPECT_EQ(0, Starts());
}

}  // namespace
