#include "ui/control.h"

#include <commctrl.h>

namespace {
// One subclass per window is ours; its reference data is the Control. The
// property marks a bound window, so that no second object binds it.
constexpr UINT_PTR kSubclassId = 1;
const char kBoundProp[] = "Cribwatch.Control";
}

Control::~Control() { Detach(); }

bool Control::Attach(HWND window) {
    if (hwnd || !window || !::IsWindow(window) || ::GetPropA(window, kBoundProp)) return false;
    if (!::SetPropA(window, kBoundProp, reinterpret_cast<HANDLE>(this))) return false;
    if (!::SetWindowSubclass(window, &Control::SubclassProc, kSubclassId,
                             reinterpret_cast<DWORD_PTR>(this))) {
        ::RemovePropA(window, kBoundProp);
        return false;
    }
    hwnd = window;
    return true;
}

void Control::Detach() {
    if (!hwnd) return;
    ::RemoveWindowSubclass(hwnd, &Control::SubclassProc, kSubclassId);
    ::RemovePropA(hwnd, kBoundProp);
    hwnd = nullptr;
}

LRESULT Control::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

bool Control::OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
    case WM_COMMAND:
        return OnReflectedCommand(HIWORD(wParam), result);
    case WM_NOTIFY:
        return lParam && OnReflectedNotify(reinterpret_cast<NMHDR*>(lParam), result);
    case WM_HSCROLL:
    case WM_VSCROLL:
        return OnReflectedScroll(message, LOWORD(wParam), result);
    case WM_DRAWITEM:
        if (!lParam || !OnReflectedDrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam))) return false;
        *result = TRUE;
        return true;
    default:
        if (!IsCtlColorMessage(message)) return false;
        HBRUSH brush = OnReflectedCtlColor(message, reinterpret_cast<HDC>(wParam));
        if (!brush) return false;
        *result = reinterpret_cast<LRESULT>(brush);
        return true;
    }
}

LRESULT CALLBACK Control::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR data) {
    Control* self = reinterpret_cast<Control*>(data);
    if (message == WM_NCDESTROY) {
        self->Detach();
        return ::DefSubclassProc(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (self->WindowProc(message, wParam, lParam, &result)) return result;
    return ::DefSubclassProc(window, message, wParam, lParam);
}
