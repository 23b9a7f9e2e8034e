#include "ui/control.h"

namespace {
const char kObjectProp[] = "Cribwatch.Control";
}

Control::~Control() { Detach(); }

bool Control::Attach(HWND hwnd) {
    if (hwnd_ || !hwnd || !::IsWindow(hwnd) || ::GetPropA(hwnd, kObjectProp)) return false;
    if (!::SetPropA(hwnd, kObjectProp, reinterpret_cast<HANDLE>(this))) return false;
    hwnd_ = hwnd;
    original_ = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
        hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Control::SubclassProc)));
    if (!original_) {
        ::RemovePropA(hwnd, kObjectProp);
        hwnd_ = nullptr;
        return false;
    }
    return true;
}

void Control::Detach() {
    if (!hwnd_) return;
    if (::IsWindow(hwnd_)) {
        ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        ::RemovePropA(hwnd_, kObjectProp);
    }
    hwnd_ = nullptr;
    original_ = nullptr;
}

LRESULT Control::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!original_) return ::DefWindowProcA(hwnd_, message, wParam, lParam);
    return ::CallWindowProcA(original_, hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK Control::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Control* self = reinterpret_cast<Control*>(::GetPropA(hwnd, kObjectProp));
    if (!self) return ::DefWindowProcA(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        WNDPROC original = self->original_;
        self->Detach();
        return ::CallWindowProcA(original, hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (self->WindowProc(message, wParam, lParam, &result)) return result;
    return self->DefaultProc(message, wParam, lParam);
}
