#include "help/help.h"

#include <shellapi.h>

#include <cstdio>
#include <vector>

#include "base/reg_key.h"
#include "base/shared_record.h"
#include "help/browser_command.h"

namespace {

using HtmlHelpEntry = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

constexpr UINT kDisplayTopic = 0;        // HH_DISPLAY_TOPIC
constexpr WORD kHtmlHelpAOrdinal = 14;
constexpr std::size_t kHelpPathBytes = 260;
constexpr std::size_t kHelpFileBytes = 1024;
constexpr char kHelpControlKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
constexpr char kBrowserKey[] = "http\\shell\\open\\command";
// A registered browser command longer than this is not taken.
constexpr DWORD kMaxBrowserCommandBytes = 32 * 1024;
constexpr std::size_t kSystemFolderBytes = 512;

// The help loader: loaded once for the whole run, never unloaded.
HMODULE g_helpModule = nullptr;
HtmlHelpEntry g_helpEntry = nullptr;
bool g_helpFailed = false;

bool FileExists(const char* path) {
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void ShowHelp(HWND owner) {
    const int language = Settings().language;
    if (language != 0 && language != 1) return;
    // The help file beside the program, whatever the current folder is.
    char program[kHelpFileBytes];
    const DWORD n = ::GetModuleFileNameA(nullptr, program, sizeof program);
    if (n == 0 || n >= sizeof program) program[0] = '\0';
    char file[kHelpFileBytes];
    char topic[kHelpFileBytes + 32];
    BesideProgram(program, language == 0 ? "CribPC-Ger.chm" : "CribPC-Eng.chm", file, sizeof file);
    std::snprintf(topic, sizeof topic, "%s::/willkommen.htm", file);
    CallHtmlHelp(owner, file, kDisplayTopic, topic);
}

HWND CallHtmlHelp(HWND owner, const char* file, UINT command, const char* data) {
    if (!g_helpModule && !g_helpFailed) {
        char path[kHelpPathBytes];
        if (FindHelpControl(path)) g_helpModule = ::LoadLibraryA(path);
        if (!g_helpModule) g_helpModule = ::LoadLibraryA("hhctrl.ocx");
        if (!g_helpModule) {
            g_helpFailed = true;
            return nullptr;
        }
    }
    if (!g_helpModule) return nullptr;
    if (!g_helpEntry) {
        g_helpEntry = reinterpret_cast<HtmlHelpEntry>(
            ::GetProcAddress(g_helpModule, MAKEINTRESOURCEA(kHtmlHelpAOrdinal)));
        if (!g_helpEntry) {
            g_helpFailed = true;
            return nullptr;
        }
    }
    return g_helpEntry(owner, file, command, reinterpret_cast<DWORD_PTR>(data));
}

int FindHelpControl(char* path) {
    if (!path) return 0;
    path[0] = '\0';
    RegKey key;
    if (key.Open(HKEY_CLASSES_ROOT, kHelpControlKey, KEY_READ) != ERROR_SUCCESS) return 0;
    DWORD type = 0;
    DWORD bytes = kHelpPathBytes - 1;  // room for a terminator the value may lack
    if (::RegQueryValueExA(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &bytes) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        path[0] = '\0';
        return 0;
    }
    path[bytes < kHelpPathBytes ? bytes : kHelpPathBytes - 1] = '\0';
    return 1;
}

void OpenWebSite() {
    std::vector<char> command(1, '\0');
    RegKey key;
    if (key.Open(HKEY_CLASSES_ROOT, kBrowserKey, KEY_READ) == ERROR_SUCCESS)
        key.ReadText(nullptr, command, kMaxBrowserCommandBytes);
    std::vector<char> program(command.size(), '\0');
    BrowserProgramOf(command.data(), program.data(), program.size());
    ::ShellExecuteA(nullptr, nullptr, program.data(), kWebSiteUrl, nullptr, SW_SHOWNORMAL);
}

void OpenMailClient(HWND window) {
    HWND owner = window ? ::GetParent(window) : nullptr;
    ::ShellExecuteA(owner, "open", kContactMailUrl, nullptr, nullptr, SW_SHOW);
}

void StartVolumeControl() {
    char folder[kSystemFolderBytes];
    const UINT n = ::GetSystemDirectoryA(folder, sizeof folder);
    if (n == 0 || n >= sizeof folder) return;
    char path[kSystemFolderBytes + 32];
    std::snprintf(path, sizeof path, "%s\\sndvol32.exe", folder);
    // Windows since Vista has only the newer volume control.
    if (!FileExists(path)) std::snprintf(path, sizeof path, "%s\\sndvol.exe", folder);
    char command[sizeof path + 2];
    std::snprintf(command, sizeof command, "\"%s\"", path);
    ::WinExec(command, SW_SHOW);
}
