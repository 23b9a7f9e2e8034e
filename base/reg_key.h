// An open registry key, closed on destruction.
#pragma once

#include <windows.h>

#include <vector>

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

    // The text of a string value (REG_SZ or REG_EXPAND_SZ) of this key (a
    // null name: its default value), terminated also when it is stored
    // without. False when the value is absent, not a string, or holds more
    // than maxBytes bytes; `text` is then left as it was.
    bool ReadText(const char* name, std::vector<char>& text, DWORD maxBytes) const {
        DWORD type = 0;
        DWORD bytes = 0;
        if (!key || ::RegQueryValueExA(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
            !IsText(type) || bytes > maxBytes || bytes == MAXDWORD)
            return false;
        std::vector<char> value(static_cast<std::size_t>(bytes) + 1, '\0');  // room for a terminator
        DWORD got = bytes;
        if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &got) !=
                ERROR_SUCCESS ||
            !IsText(type))
            return false;
        value[got < bytes ? got : bytes] = '\0';
        text.swap(value);
        return true;
    }
    void Close() {
        if (key) ::RegCloseKey(key);
        key = nullptr;
    }

private:
    static bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

    // A key that failed to open is never kept, whatever the call left behind.
    void Keep(LONG rc, HKEY opened) {
        Close();
        if (rc == ERROR_SUCCESS) key = opened;
    }

    HKEY key = nullptr;
};
