// A thin dialog base: modal run, initialisation, OK/Cancel, reflection of the
// controls' notifications to the bound control objects, and a message table
// of (message, control id, notification code, handler) rows.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <vector>

class Control;

// A row's id or code that matches any.
constexpr UINT kAnyId = 0xFFFFFFFFu;
constexpr UINT kAnyCode = 0xFFFFFFFFu;

// One row of a dialog's message table. `id` and `code` are the control id and
// notification code of WM_COMMAND, WM_NOTIFY, WM_HSCROLL and WM_VSCROLL (for
// the scroll messages, the sender's id and the scroll code); `id` of
// WM_SYSCOMMAND is the command (its low four bits cleared); rows of any
// other message leave both at kAnyId/kAnyCode.
template <class T>
struct MessageEntry {
    UINT message;
    UINT id;
    UINT code;
    LRESULT (T::*handler)(WPARAM, LPARAM);
};

template <class T>
constexpr MessageEntry<T> MessageRow(UINT message, LRESULT (T::*handler)(WPARAM, LPARAM)) {
    return {message, kAnyId, kAnyCode, handler};
}
template <class T>
constexpr MessageEntry<T> CommandRow(UINT id, LRESULT (T::*handler)(WPARAM, LPARAM),
                                     UINT code = kAnyCode) {
    return {WM_COMMAND, id, code, handler};
}
// A command of the window's system menu; the commands no row names keep
// their default handling.
template <class T>
constexpr MessageEntry<T> SysCommandRow(UINT command, LRESULT (T::*handler)(WPARAM, LPARAM)) {
    return {WM_SYSCOMMAND, command, kAnyCode, handler};
}
template <class T>
constexpr MessageEntry<T> NotifyRow(UINT id, UINT code, LRESULT (T::*handler)(WPARAM, LPARAM)) {
    return {WM_NOTIFY, id, code, handler};
}

// The control id and notification code a message carries (kAnyId/kAnyCode
// for messages without them).
struct MessageKey {
    UINT id;
    UINT code;
};
MessageKey KeyOfMessage(UINT message, WPARAM wParam, LPARAM lParam);

// Runs the first row of `table` that matches; returns whether one matched.
template <class T, std::size_t N>
bool DispatchTable(T* self, const MessageEntry<T> (&table)[N], UINT message, WPARAM wParam,
                   LPARAM lParam, LRESULT* result) {
    const MessageKey key = KeyOfMessage(message, wParam, lParam);
    for (const MessageEntry<T>& e : table) {
        if (e.message != message) continue;
        if (e.id != kAnyId && e.id != key.id) continue;
        if (e.code != kAnyCode && e.code != key.code) continue;
        *result = (self->*e.handler)(wParam, lParam);
        return true;
    }
    return false;
}

// A control of a dialog and the id of the text it shows.
struct ItemLabel {
    int control;
    unsigned text;
};

class Dialog {
public:
    Dialog(const char* templateName, HWND parent);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; returns the value given to EndDialog, or -1
    // when the dialog could not be created.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    HWND Hwnd() const { return hwnd; }
    HWND Item(int id) const { return ::GetDlgItem(hwnd, id); }
    void SetItemText(int id, const char* text) { ::SetDlgItemTextA(hwnd, id, text); }
    // Sets each control's text to lookup(its text id), in the table's order.
    template <std::size_t N>
    void SetItemTexts(const ItemLabel (&labels)[N], const char* (*lookup)(unsigned)) {
        for (const ItemLabel& label : labels) SetItemText(label.control, lookup(label.text));
    }
    // The check state of a button of the dialog (radio button, check box).
    bool IsItemChecked(int id) const { return SendItem(id, BM_GETCHECK) == BST_CHECKED; }
    void CheckItem(int id, bool checked) { SendItem(id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED); }
    LRESULT SendItem(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendDlgItemMessageA(hwnd, id, message, wParam, lParam);
    }

protected:
    // Fills the lists with the items of the template's dialog-initialisation
    // resource (type 240, when there is one), then binds the controls
    // (DoDataExchange); returns TRUE so the system sets the focus.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange() {}
    virtual void OnOK() { EndDialog(0); }
    virtual void OnCancel() { EndDialog(-1); }
    // The derived class's message table (see DispatchTable). It sees what
    // the bound controls did not handle.
    virtual bool DispatchMessageTable(UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT* result) {
        return false;
    }

    // Attaches `control` to the dialog's control `id` (subclassing it) and
    // registers it for reflected notifications. Call from DoDataExchange.
    bool Bind(Control& control, int id);

private:
    static INT_PTR CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Proc(UINT message, WPARAM wParam, LPARAM lParam);
    bool Reflect(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    void AddInitialListItems();
    Control* FindBound(HWND child) const;

    const char* templateName;
    HWND parent;
    HWND hwnd = nullptr;
    std::vector<Control*> bound;
};
