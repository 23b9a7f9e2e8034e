// The registry profile against Wine's real registry.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "settings/profile.h"

namespace {

// The largest single allocation while watched (this test program's own
// operator new, below).
std::atomic<bool> g_watchAllocations{false};
std::atomic<std::size_t> g_largestAllocation{0};

}  // namespace

void* operator new(std::size_t bytes) {
    if (g_watchAllocations.load() && bytes > g_largestAllocation.load()) g_largestAllocation.store(bytes);
    if (void* p = std::malloc(bytes ? bytes : 1)) return p;
    throw std::bad_alloc();
}
// GCC takes the pair for a mismatch: this delete frees what the new above took.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

// The test program's own profile: HKCU\Software\CribwatchTest\<exe name>\Settings.
const char kCompany[] = "CribwatchTest";

std::string KeyPath() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = path;
    name = name.substr(name.find_last_of("\\/") + 1);
    name = name.substr(0, name.rfind('.'));
    return std::string("Software\\") + kCompany + "\\" + name + "\\Settings";
}

class Profile : public ::testing::Test {
protected:
    void SetUp() override {
        ProfileSetRegistryKey(kCompany);
        ::RegDeleteKeyA(HKEY_CURRENT_USER, KeyPath().c_str());
    }
    void TearDown() override { ::RegDeleteKeyA(HKEY_CURRENT_USER, KeyPath().c_str()); }

    void SetRaw(const char* name, DWORD type, const void* data, DWORD bytes) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath().c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                    nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
        ::RegCloseKey(key);
    }
};

TEST_F(Profile, AbsentValueGivesTheDefaultAndWritesReadBack) {
    char out[512];
    ProfileGetText("Settings", "Language", "-1", out, sizeof out);
    EXPECT_STREQ(out, "-1");
    ASSERT_TRUE(ProfileWriteText("Settings", "Language", "1"));
    ProfileGetText("Settings", "Language", "-1", out, sizeof out);
    EXPECT_STREQ(out, "1");
    ASSERT_TRUE(ProfileWriteText("Settings", "Language", "0"));  // replaces
    ProfileGetText("Settings", "Language", "-1", out, sizeof out);
    EXPECT_STREQ(out, "0");
}

TEST_F(Profile, StoredAsAStringValueUnderTheApplicationsKey) {
    ASSERT_TRUE(ProfileWriteText("Settings", "Reaction", "75,50,30"));
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath().c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    char data[64] = {};
    DWORD type = 0, bytes = sizeof data;
    EXPECT_EQ(::RegQueryValueExA(key, "Reaction", nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(data, "75,50,30");
}

TEST_F(Profile, LongValuesAreCutToTheBuffer) {
    const std::string huge(2000, '7');
    SetRaw("CallParams", REG_SZ, huge.c_str(), static_cast<DWORD>(huge.size() + 1));
    char out[512];
    std::memset(out, 'x', sizeof out);
    ProfileGetText("Settings", "CallParams", " ,1,10", out, sizeof out);
    EXPECT_EQ(std::string(out), std::string(511, '7'));
    char tiny[4];
    ProfileGetText("Settings", "CallParams", " ,1,10", tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "777");
}

// A value far beyond any setting is not read whole: its size never decides
// what is allocated. The cut is what the system hands over with its "more
// data" answer, the beginning or nothing.
TEST_F(Profile, HugeValueIsCutWithoutBeingReadWhole) {
    const std::string huge(16u << 20, '7');
    SetRaw("Modem", REG_SZ, huge.c_str(), static_cast<DWORD>(huge.size() + 1));
    char out[512];
    g_largestAllocation = 0;
    g_watchAllocations = true;
    ProfileGetText("Settings", "Modem", "1,115200,ATD", out, sizeof out);
    g_watchAllocations = false;
    EXPECT_LE(g_largestAllocation.load(), 64u * 1024 + 1);
    const std::string got = out;
    EXPECT_TRUE(got.empty() || got == std::string(511, '7')) << got.size() << " characters";
}

TEST_F(Profile, ValueWithoutTerminatorAndNonStringValues) {
    const char raw[3] = {'4', '2', '7'};  // no terminating NUL stored
    SetRaw("Logging", REG_SZ, raw, sizeof raw);
    char out[512];
    ProfileGetText("Settings", "Logging", "0", out, sizeof out);
    EXPECT_STREQ(out, "427");

    DWORD number = 5;
    SetRaw("Connect", REG_DWORD, &number, sizeof number);
    ProfileGetText("Settings", "Connect", "1", out, sizeof out);
    EXPECT_STREQ(out, "1");

    SetRaw("Modem", REG_BINARY, "\x01\x02", 2);
    ProfileGetText("Settings", "Modem", "1,115200,ATD", out, sizeof out);
    EXPECT_STREQ(out, "1,115200,ATD");

    SetRaw("SoftPhone", REG_SZ, "", 0);  // an empty value is a value
    ProfileGetText("Settings", "SoftPhone", "default", out, sizeof out);
    EXPECT_STREQ(out, "");
}

}  // namespace
