// A control object bound to one window of a dialog. Binding subclasses the
// window (SetWindowSubclass), so WindowProc sees its messages first; the
// owning dialog reflects the notifications the window sends to its parent
// back to the object (OnReflected and its typed handlers).
#pragma once

#include <windows.h>

class Control {
public:
    Control() = default;
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // False when the window is missing, this object is bound already, or
    // the window is bound to another object.
    bool Attach(HWND hwnd);
    void Detach();
    HWND Hwnd() const { return hwnd; }

    // A message the parent received from this control and hands back:
    // WM_COMMAND, WM_NOTIFY, WM_HSCROLL, WM_VSCROLL, WM_DRAWITEM or any
    // WM_CTLCOLOR* message, with the parent's parameters. Returns true with
    // *result (for WM_CTLCOLOR*, the brush) when the control handled it.
    // The default hands each kind to the typed handler below.
    virtual bool OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    virtual bool OnReflectedCommand(UINT code, LRESULT* result) { return false; }
    virtual bool OnReflectedNotify(NMHDR* header, LRESULT* result) { return false; }
    virtual bool OnReflectedScroll(UINT message, UINT code, LRESULT* result) { return false; }
    virtual bool OnReflectedDrawItem(DRAWITEMSTRUCT* item) { return false; }
    // A colour request (`message` is the WM_CTLCOLOR* kind); a brush means handled.
    virtual HBRUSH OnReflectedCtlColor(UINT message, HDC dc) { return nullptr; }

protected:
    // Messages of the subclassed window; return true with *result to handle one.
    virtual bool WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
        return false;
    }
    // The window's own handling.
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);

    HWND hwnd = nullptr;
};

// Whether `message` is one of the WM_CTLCOLOR* colour requests.
inline bool IsCtlColorMessage(UINT message) {
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}
