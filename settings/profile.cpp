#include "settings/profile.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "base/bounded_copy.h"
#include "base/reg_key.h"

namespace {

char g_keyPath[MAX_PATH + 64];  // Software\<company>\<application>

// A value is read whole up to this size and then cut to the caller's buffer;
// a longer one (only ever written by something else) is read straight into
// the buffer, so that its size never decides what is allocated.
constexpr DWORD kMaxWholeValueBytes = 64 * 1024;

void ApplicationName(char* out, std::size_t size) {
    char path[MAX_PATH + 1] = {};
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    path[n < MAX_PATH ? n : MAX_PATH] = '\0';
    const char* base = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') base = p + 1;
    CopyTruncated(out, size, base);
    char* dot = std::strrchr(out, '.');
    if (dot && dot != out) *dot = '\0';
    if (out[0] == '\0') CopyTruncated(out, size, "Cribwatch");
}

bool SectionPath(const char* section, char* out, std::size_t size) {
    if (g_keyPath[0] == '\0') return false;
    int n = std::snprintf(out, size, "%s\\%s", g_keyPath, section ? section : "");
    return n > 0 && static_cast<std::size_t>(n) < size;
}

}  // namespace

void ProfileSetRegistryKey(const char* company) {
    char application[MAX_PATH];
    ApplicationName(application, sizeof application);
    int n = std::snprintf(g_keyPath, sizeof g_keyPath, "Software\\%s\\%s", company, application);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof g_keyPath) g_keyPath[0] = '\0';
}

void ProfileGetText(const char* section, const char* key, const char* defaultText, char* out,
                    std::size_t size) {
    CopyTruncated(out, size, defaultText);
    char path[sizeof g_keyPath + 64];
    if (!SectionPath(section, path, sizeof path)) return;
    RegKey hkey;
    if (hkey.Open(HKEY_CURRENT_USER, path, KEY_QUERY_VALUE) != ERROR_SUCCESS) return;
    hkey.ReadTextCut(key, out, size, kMaxWholeValueBytes);
}

bool ProfileWriteText(const char* section, const char* key, const char* value) {
    char path[sizeof g_keyPath + 64];
    if (!SectionPath(section, path, sizeof path) || !value) return false;
    RegKey hkey;
    if (hkey.Create(HKEY_CURRENT_USER, path, KEY_SET_VALUE) != ERROR_SUCCESS) return false;
    return ::RegSetValueExA(hkey.Get(), key, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS;
}
