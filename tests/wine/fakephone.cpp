// A stand-in for the softphone, for the tests: a dialog of class "#32770"
// titled "1&1 Softphone" with the number box (combo 1024), the digit buttons
// (1009..1017, 1019) and the dial button (1006). Every command it receives is
// appended as one line to a log file:
//   START <pid>                 at start
//   WINDOW                      once the window exists
//   CB_SETCURSEL <wparam> <lparam>   as the number box sees it
//   COMMAND <id> <code> <lparam: 0, or "ctl" for a control's notification>
//   EXIT                        at the end
//
// fakephone.exe [--delay-window MS] [--no-window] [--exit-after MS] [LOGFILE]
// Without LOGFILE the log is FAKEPHONE_LOG from the environment, else
// fakephone.log beside the program.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dialog_template.h"

namespace {

char g_logPath[MAX_PATH * 2];
WNDPROC g_comboProc = nullptr;
constexpr UINT_PTR kExitTimer = 1;

void LogLine(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::FILE* f = std::fopen(g_logPath, "ab");
    if (f == nullptr) return;
    std::fputs(text, f);
    std::fputs("\n", f);
    std::fclose(f);
}

LRESULT CALLBACK ComboProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == CB_SETCURSEL) {
        LogLine("CB_SETCURSEL %lld %lld", static_cast<long long>(static_cast<INT_PTR>(wParam)),
                static_cast<long long>(lParam));
    }
    return ::CallWindowProcA(g_comboProc, hwnd, message, wParam, lParam);
}

struct Options {
    int delayWindowMs = 0;
    bool noWindow = false;
    int exitAfterMs = -1;
};

INT_PTR CALLBACK PhoneProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const Options* options = reinterpret_cast<const Options*>(lParam);
            HWND combo = ::GetDlgItem(hwnd, 1024);
            const char* entries[] = {"0301234567", "555"};
            for (const char* e : entries) {
                ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e));
            }
            ::SendMessageA(combo, CB_SETCURSEL, 0, 0);  // before the log hook: not logged
            g_comboProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
                combo, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ComboProc)));
            if (options->exitAfterMs >= 0) {
                ::SetTimer(hwnd, kExitTimer, static_cast<UINT>(options->exitAfterMs), nullptr);
            }
            LogLine("WINDOW");
            return TRUE;
        }
        case WM_COMMAND:
            LogLine("COMMAND %u %u %s", static_cast<unsigned>(LOWORD(wParam)),
                    static_cast<unsigned>(HIWORD(wParam)), lParam == 0 ? "0" : "ctl");
            return TRUE;  // nothing closes the phone but its close box and the timer
        case WM_TIMER:
            if (wParam == kExitTimer) ::EndDialog(hwnd, 0);
            return TRUE;
        case WM_CLOSE:
            ::EndDialog(hwnd, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

// Waits `ms` while answering messages, so whoever started the phone sees it
// idle (and finds no window yet).
void PumpFor(int ms) {
    const UINT_PTR timer = ::SetTimer(nullptr, 0, static_cast<UINT>(ms), nullptr);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.wParam == timer) break;
        ::DispatchMessageA(&msg);
    }
    ::KillTimer(nullptr, timer);
}

void DefaultLogPath() {
    const char* env = std::getenv("FAKEPHONE_LOG");
    if (env != nullptr && *env != '\0') {
        std::snprintf(g_logPath, sizeof g_logPath, "%s", env);
        return;
    }
    char exe[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, exe, sizeof exe);
    char* slash = std::strrchr(exe, '\\');
    if (slash != nullptr) slash[1] = '\0';
    else exe[0] = '\0';
    std::snprintf(g_logPath, sizeof g_logPath, "%sfakephone.log", exe);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    Options options;
    g_logPath[0] = '\0';
    for (int i = 1; i < __argc; ++i) {
        const char* a = __argv[i];
        if (std::strcmp(a, "--delay-window") == 0 && i + 1 < __argc) {
            options.delayWindowMs = std::atoi(__argv[++i]);
        } else if (std::strcmp(a, "--no-window") == 0) {
            options.noWindow = true;
        } else if (std::strcmp(a, "--exit-after") == 0 && i + 1 < __argc) {
            options.exitAfterMs = std::atoi(__argv[++i]);
        } else {
            std::snprintf(g_logPath, sizeof g_logPath, "%s", a);
        }
    }
    if (g_logPath[0] == '\0') DefaultLogPath();

    LogLine("START %lu", static_cast<unsigned long>(::GetCurrentProcessId()));

    if (options.noWindow) {
        PumpFor(options.exitAfterMs >= 0 ? options.exitAfterMs : 0x7FFFFFFF);
        LogLine("EXIT");
        return 0;
    }
    if (options.delayWindowMs > 0) PumpFor(options.delayWindowMs);

    DialogTemplate t(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME, 0, 0, 200, 120,
                     L"1&1 Softphone");
    t.Item(kComboAtom, L"", 1024, CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, 10, 8, 180, 80);
    const wchar_t* digits = L"123456789";
    for (int i = 0; i < 9; ++i) {
        const wchar_t label[2] = {digits[i], L'\0'};
        t.Item(kButtonAtom, label, static_cast<WORD>(1009 + i), BS_PUSHBUTTON | WS_TABSTOP,
               static_cast<short>(10 + (i % 3) * 40), static_cast<short>(26 + (i / 3) * 18), 36, 14);
    }
    t.Item(kButtonAtom, L"0", 1019, BS_PUSHBUTTON | WS_TABSTOP, 50, 80, 36, 14);
    t.Item(kButtonAtom, L"Dial", 1006, BS_PUSHBUTTON | WS_TABSTOP, 140, 26, 50, 14);

    ::DialogBoxIndirectParamA(instance, t.Get(), nullptr, PhoneProc,
                              reinterpret_cast<LPARAM>(&options));
    LogLine("EXIT");
    return 0;
}
