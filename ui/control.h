// A control object bound to one window of a dialog. Binding subclasses the
// window, so WindowProc sees its messages first; the owning dialog reflects
// WM_NOTIFY and WM_CTLCOLORSTATIC back to OnReflectedNotify / OnReflectedCtlColor.
#pragma once

#include <windows.h>

class Control {
public:
    Control() = default;
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    bool Attach(HWND hwnd);
    void Detach();
    HWND Hwnd() const { return hwnd_; }

    // A notification this control sent to its parent, handed back.
    virtual bool OnReflectedNotify(NMHDR* header, LRESULT* result) { return false; }
    // The parent's colour request for this static; a brush means handled.
    virtual HBRUSH OnReflectedCtlColor(HDC dc) { return nullptr; }

protected:
    // Messages of the subclassed window; return true with *result to handle one.
    virtual bool WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
        return false;
    }
    // The window's original handling.
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    WNDPROC original_ = nullptr;
};
