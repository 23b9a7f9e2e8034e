// A thin dialog base: modal run, initialisation, OK/Cancel, a message table of
// (message or command, control id, handler), and reflection of WM_NOTIFY and
// WM_CTLCOLORSTATIC back to the bound control objects.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <vector>

class Control;

// One row of a dialog's message table. For WM_COMMAND the row matches the
// command's control id; for any other message `id` is not looked at.
template <class T>
struct MessageEntry {
    UINT message;
    UINT id;
    LRESULT (T::*handler)(WPARAM, LPARAM);
};

// Runs the first matching row of `table`; returns whether one matched.
template <class T, std::size_t N>
bool DispatchTable(T* self, const MessageEntry<T> (&table)[N], UINT message, WPARAM wParam,
                   LPARAM lParam, LRESULT* result) {
    for (std::size_t i = 0; i < N; ++i) {
        const MessageEntry<T>& e = table[i];
        if (e.message != message) continue;
        if (message == WM_COMMAND && e.id != LOWORD(wParam)) continue;
        *result = (self->*e.handler)(wParam, lParam);
        return true;
    }
    return false;
}

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

    HWND Hwnd() const { return hwnd_; }
    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
    void SetItemText(int id, const char* text) { ::SetDlgItemTextA(hwnd_, id, text); }
    LRESULT SendItem(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendDlgItemMessageA(hwnd_, id, message, wParam, lParam);
    }

protected:
    // Binds the controls (DoDataExchange); returns TRUE so the system sets the focus.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange() {}
    virtual void OnOK() { EndDialog(0); }
    virtual void OnCancel() { EndDialog(-1); }
    // WM_NOTIFY. The default hands the notification back to the bound control
    // that sent it; returns whether it was handled, with the result in *result.
    virtual bool OnNotify(int controlId, NMHDR* header, LRESULT* result);
    // The derived class's message table; see DispatchTable.
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
    Control* FindBound(HWND child) const;

    const char* templateName_;
    HWND parent_;
    HWND hwnd_ = nullptr;
    std::vector<Control*> bound_;
};
