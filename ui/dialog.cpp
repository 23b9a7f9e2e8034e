#include "ui/dialog.h"

#include "ui/control.h"
#include "ui/dlg_init.h"

namespace {

// The window that sent a message the parent may reflect, or null.
HWND SenderOf(UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
        return reinterpret_cast<HWND>(lParam);
    case WM_NOTIFY:
        return lParam ? reinterpret_cast<const NMHDR*>(lParam)->hwndFrom : nullptr;
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        return item && item->CtlType != ODT_MENU ? item->hwndItem : nullptr;
    }
    default:
        return IsCtlColorMessage(message) ? reinterpret_cast<HWND>(lParam) : nullptr;
    }
}

// The resource type of a dialog's list items.
constexpr WORD kDlgInitResource = 240;

void AddInitialItem(const DlgInitItem& item, void* context) {
    UINT message = 0;
    if (item.message == kDlgInitComboAddString) message = CB_ADDSTRING;
    if (item.message == kDlgInitListAddString) message = LB_ADDSTRING;
    if (message == 0) return;
    ::SendDlgItemMessageA(static_cast<HWND>(context), static_cast<int>(item.controlId), message, 0,
                          reinterpret_cast<LPARAM>(item.text));
}

}  // namespace

MessageKey KeyOfMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        return {LOWORD(wParam), HIWORD(wParam)};
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (!header) return {kAnyId, kAnyCode};
        return {static_cast<UINT>(header->idFrom), header->code};
    }
    case WM_HSCROLL:
    case WM_VSCROLL: {
        HWND sender = reinterpret_cast<HWND>(lParam);
        return {sender ? static_cast<UINT>(::GetDlgCtrlID(sender)) : kAnyId, LOWORD(wParam)};
    }
    case WM_SYSCOMMAND:
        return {static_cast<UINT>(wParam & 0xFFF0), kAnyCode};
    default:
        return {kAnyId, kAnyCode};
    }
}

Dialog::Dialog(const char* templateName, HWND parent) : templateName(templateName), parent(parent) {}

Dialog::~Dialog() = default;

INT_PTR Dialog::DoModal() {
    return ::DialogBoxParamA(::GetModuleHandleA(nullptr), templateName, parent, &Dialog::StaticProc,
                             reinterpret_cast<LPARAM>(this));
}

void Dialog::EndDialog(INT_PTR result) {
    if (hwnd) ::EndDialog(hwnd, result);
}

BOOL Dialog::OnInitDialog() {
    AddInitialListItems();
    DoDataExchange();
    return TRUE;
}

void Dialog::AddInitialListItems() {
    HMODULE module = ::GetModuleHandleA(nullptr);
    HRSRC found = ::FindResourceA(module, templateName, MAKEINTRESOURCEA(kDlgInitResource));
    if (!found) return;
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return;
    ForEachDlgInitItem(data, ::SizeofResource(module, found), &AddInitialItem, hwnd);
}

bool Dialog::Bind(Control& control, int id) {
    HWND child = Item(id);
    if (!child || !control.Attach(child)) return false;
    bound.push_back(&control);
    return true;
}

Control* Dialog::FindBound(HWND child) const {
    if (!child) return nullptr;
    for (Control* c : bound)
        if (c->Hwnd() == child) return c;
    return nullptr;
}

bool Dialog::Reflect(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    Control* control = FindBound(SenderOf(message, wParam, lParam));
    return control && control->OnReflected(message, wParam, lParam, result);
}

INT_PTR CALLBACK Dialog::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        ::SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->hwnd = hwnd;
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    INT_PTR r = self->Proc(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        for (Control* c : self->bound) c->Detach();
        self->bound.clear();
        ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        self->hwnd = nullptr;
    }
    return r;
}

INT_PTR Dialog::Proc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return OnInitDialog();
    LRESULT result = 0;
    if (Reflect(message, wParam, lParam, &result) ||
        DispatchMessageTable(message, wParam, lParam, &result)) {
        // A colour request's brush is the procedure's own result; every
        // other result goes through DWLP_MSGRESULT.
        if (IsCtlColorMessage(message)) return static_cast<INT_PTR>(result);
        ::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == 0) {
        if (LOWORD(wParam) == IDOK) { OnOK(); return TRUE; }
        if (LOWORD(wParam) == IDCANCEL) { OnCancel(); return TRUE; }
    }
    return FALSE;
}
