// An open registry key, closed on destruction.
#pragma once

#include <windows.h>

#include <cstring>
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
        const DWORD bytes = TextBytes(name);
        return bytes != MAXDWORD && bytes <= maxBytes && ReadWhole(name, bytes, text);
    }

    // The text of a string value, cut to fit `out` (`size` bytes with the
    // terminator). A value of up to `wholeBytes` is read whole and cut; a
    // longer one is read straight into a buffer of `size` bytes, and the
    // system's "more data" answer counts as the cut: what it handed over, which
    // may be the beginning or nothing. False when the value is absent or not a
    // string; `out` is then left as it was.
    bool ReadTextCut(const char* name, char* out, std::size_t size, DWORD wholeBytes) const {
        if (!out || size == 0) return false;
        const DWORD bytes = TextBytes(name);
        if (bytes == MAXDWORD) return false;
        std::vector<char> value;
        if (bytes <= wholeBytes) {
            if (!ReadWhole(name, bytes, value)) return false;
        } else {
            // Never more room than a whole read would have had.
            const DWORD room = size - 1 < wholeBytes ? static_cast<DWORD>(size - 1) : wholeBytes;
            value.assign(static_cast<std::size_t>(room) + 1, '\0');
            DWORD type = 0;
            DWORD got = room;
            const LONG rc = ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &got);
            if ((rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) || !IsText(type)) return false;
            value[room] = '\0';
        }
        const std::size_t length = std::strlen(value.data());
        const std::size_t kept = length < size ? length : size - 1;
        std::memcpy(out, value.data(), kept);
        out[kept] = '\0';
        return true;
    }
    void Close() {
        if (key) ::RegCloseKey(key);
        key = nullptr;
    }

private:
    static bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

    // The stored size of a string value, or MAXDWORD when it is absent or no string.
    DWORD TextBytes(const char* name) const {
        DWORD type = 0;
        DWORD bytes = 0;
        if (!key || ::RegQueryValueExA(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
            !IsText(type))
            return MAXDWORD;
        return bytes;
    }

    bool ReadWhole(const char* name, DWORD bytes, std::vector<char>& text) const {
        std::vector<char> value(static_cast<std::size_t>(bytes) + 1, '\0');  // room for a terminator
        DWORD type = 0;
        DWORD got = bytes;
        if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &got) !=
                ERROR_SUCCESS ||
            !IsText(type))
            return false;
        value[got < bytes ? got : bytes] = '\0';
        text.swap(value);
        return true;
    }

    // A key that failed to open is never kept, whatever the call left behind.
    void Keep(LONG rc, HKEY opened) {
        Close();
        if (rc == ERROR_SUCCESS) key = opened;
    }

    HKEY key = nullptr;
};
