// An open registry key, closed on destruction.
#pragma once

#include <windows.h>

class RegKey {
public:
    RegKey() = default;
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    LONG Open(HKEY parent, const char* path, REGSAM access) {
        HKEY opened = nullptr;
        const LONG rc = ::RegOpenKeyExA(parent, path, 0, access, &opened);
        Keep(rc, opened);
        return rc;
    }
    LONG Create(HKEY parent, const char* path, REGSAM access) {
        HKEY created = nullptr;
        const LONG rc = ::RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                          nullptr, &created, nullptr);
        Keep(rc, created);
        return rc;
    }
    HKEY Get() const { return key; }
    void Close() {
        if (key) ::RegCloseKey(key);
        key = nullptr;
    }

private:
    // A key that failed to open is never kept, whatever the call left behind.
    void Keep(LONG rc, HKEY opened) {
        Close();
        if (rc == ERROR_SUCCESS) key = opened;
    }

    HKEY key = nullptr;
};
