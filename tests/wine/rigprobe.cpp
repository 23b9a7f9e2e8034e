// rigprobe: a small dialog program the Wine test rig checks itself with.
//
//   rigprobe.exe            the probe window (below)
//   rigprobe.exe init-box   the same, but it shows a message box from its
//                           WM_INITDIALOG, while the window is still hidden
//   rigprobe.exe exit N     ends at once with exit code N
//   rigprobe.exe crash      writes through a null pointer
//
// The probe window "Rig Probe" (#32770) holds: static 10 "Grüße", button 11
// "Press", check box 12, trackbar 13 (0..100 at 40), edit 14, and static 15
// whose text reports what happened ("ready", "yes", "no", "key 27", ...).
// Button 11 asks "Pressed" (Yes/No, information icon, caption "Rig Probe").
// The close box ends the program with exit code 3, Escape with 4.
// At start it writes HKCU\Software\Kestrelon\RigProbe\Started = "1".
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <cstring>

#include "dialog_template.h"

namespace {

bool g_boxOnInit = false;

void Report(HWND dlg, const wchar_t* what) { ::SetDlgItemTextW(dlg, 15, what); }

INT_PTR CALLBACK ProbeProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        ::SendDlgItemMessageW(dlg, 13, TBM_SETRANGE, FALSE, MAKELPARAM(0, 100));
        ::SendDlgItemMessageW(dlg, 13, TBM_SETPOS, TRUE, 40);
        if (g_boxOnInit) ::MessageBoxW(dlg, L"Starting", L"Rig Probe", MB_OK | MB_ICONEXCLAMATION);
        Report(dlg, L"ready");
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case 11: {
            int answer = ::MessageBoxW(dlg, L"Pressed", L"Rig Probe", MB_YESNO | MB_ICONINFORMATION);
            Report(dlg, answer == IDYES ? L"yes" : answer == IDNO ? L"no" : L"other");
            return TRUE;
        }
        case IDOK:
            Report(dlg, L"ok");
            return TRUE;
        case IDCANCEL:
            ::EndDialog(dlg, 4);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
        ::EndDialog(dlg, 3);
        return TRUE;
    default:
        return FALSE;
    }
}

int RunProbe() {
    HKEY key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Kestrelon\\RigProbe", 0, nullptr, 0, KEY_WRITE, nullptr,
                          &key, nullptr) == ERROR_SUCCESS) {
        ::RegSetValueExW(key, L"Started", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1"), 2 * sizeof(wchar_t));
        ::RegCloseKey(key);
    }
    DialogTemplate t(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME, 10, 10, 200, 120,
                     L"Rig Probe");
    t.Item(kStaticAtom, L"Gr\u00fc\u00dfe", 10, SS_LEFT, 7, 7, 80, 10);
    t.Item(kButtonAtom, L"Press", 11, BS_PUSHBUTTON | WS_TABSTOP, 7, 22, 50, 14);
    t.Item(kButtonAtom, L"Check", 12, BS_AUTOCHECKBOX | WS_TABSTOP, 7, 40, 80, 10);
    t.Item(TRACKBAR_CLASSW, L"", 13, WS_TABSTOP | TBS_HORZ | TBS_NOTICKS, 7, 55, 180, 15);
    t.Item(kEditAtom, L"", 14, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 75, 100, 12);
    t.Item(kStaticAtom, L"", 15, SS_LEFT, 7, 95, 180, 10);
    INT_PTR r = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), t.Get(), nullptr, ProbeProc, 0);
    return static_cast<int>(r);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR cmdLine, int) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);
    const char* args = cmdLine ? cmdLine : "";
    if (std::strncmp(args, "exit ", 5) == 0) return std::atoi(args + 5);
    if (std::strcmp(args, "crash") == 0) {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
        return 0;
    }
    g_boxOnInit = std::strcmp(args, "init-box") == 0;
    return RunProbe();
}
