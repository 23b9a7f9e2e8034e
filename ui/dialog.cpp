#include "ui/dialog.h"

#include "ui/control.h"

Dialog::Dialog(const char* templateName, HWND parent)
    : templateName_(templateName), parent_(parent) {}

Dialog::~Dialog() = default;

INT_PTR Dialog::DoModal() {
    return ::DialogBoxParamA(::GetModuleHandleA(nullptr), templateName_, parent_,
                             &Dialog::StaticProc, reinterpret_cast<LPARAM>(this));
}

void Dialog::EndDialog(INT_PTR result) {
    if (hwnd_) ::EndDialog(hwnd_, result);
}

BOOL Dialog::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

bool Dialog::Bind(Control& control, int id) {
    HWND child = Item(id);
    if (!child || !control.Attach(child)) return false;
    bound_.push_back(&control);
    return true;
}

Control* Dialog::FindBound(HWND child) const {
    if (!child) return nullptr;
    for (Control* c : bound_)
        if (c->Hwnd() == child) return c;
    return nullptr;
}

bool Dialog::OnNotify(int controlId, NMHDR* header, LRESULT* result) {
    Control* control = header ? FindBound(header->hwndFrom) : nullptr;
    return control && control->OnReflectedNotify(header, result);
}

INT_PTR CALLBACK Dialog::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        ::SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    INT_PTR r = self->Proc(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        for (Control* c : self->bound_) c->Detach();
        self->bound_.clear();
        ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return r;
}

INT_PTR Dialog::Proc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_NOTIFY: {
        NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
        LRESULT result = 0;
        if (OnNotify(static_cast<int>(wParam), header, &result)) {
            ::SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result);
            return TRUE;
        }
        return FALSE;
    }
    case WM_CTLCOLORSTATIC: {
        Control* control = FindBound(reinterpret_cast<HWND>(lParam));
        if (control) {
            HBRUSH brush = control->OnReflectedCtlColor(reinterpret_cast<HDC>(wParam));
            if (brush) return reinterpret_cast<INT_PTR>(brush);
        }
        return FALSE;
    }
    default:
        break;
    }
    LRESULT result = 0;
    if (DispatchMessageTable(message, wParam, lParam, &result)) {
        ::SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result);
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == 0) {
        if (LOWORD(wParam) == IDOK) { OnOK(); return TRUE; }
        if (LOWORD(wParam) == IDCANCEL) { OnCancel(); return TRUE; }
    }
    return FALSE;
}
