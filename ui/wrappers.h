// Thin typed wrappers around a control's window: the messages of a trackbar,
// a combo box's selection and an edit box's text. (A button's check state is
// the dialog's: Dialog::IsItemChecked and CheckItem.)
// They own nothing; any of them may hold a null window (then they do nothing
// and answer 0, no selection or an empty text).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>

class WindowRef {
public:
    explicit WindowRef(HWND hwnd = nullptr) : hwnd(hwnd) {}
    HWND Hwnd() const { return hwnd; }

protected:
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return hwnd ? ::SendMessageA(hwnd, message, wParam, lParam) : 0;
    }

private:
    HWND hwnd;
};

class TrackBar : public WindowRef {
public:
    using WindowRef::WindowRef;
    int GetPos() const { return static_cast<int>(Send(TBM_GETPOS)); }
    void SetPos(int position, bool redraw = true) { Send(TBM_SETPOS, redraw, position); }
    // A 16-bit range in one message, as the trackbar takes it.
    void SetRange(int minimum, int maximum, bool redraw = false) {
        Send(TBM_SETRANGE, redraw, MAKELPARAM(minimum, maximum));
    }
    void SetPageSize(int size) { Send(TBM_SETPAGESIZE, 0, size); }
};

class ComboBox : public WindowRef {
public:
    using WindowRef::WindowRef;
    int GetCount() const { return static_cast<int>(Send(CB_GETCOUNT)); }
    // The selected item's index, CB_ERR (-1) when none is selected.
    int GetCurSel() const { return Hwnd() ? static_cast<int>(Send(CB_GETCURSEL)) : CB_ERR; }
    // An index out of range (for example -1) leaves nothing selected.
    void SetCurSel(int index) { Send(CB_SETCURSEL, static_cast<WPARAM>(index)); }
    // The first item whose text equals `text` (case aside), CB_ERR when none.
    int FindStringExact(const char* text) const {
        if (!Hwnd()) return CB_ERR;
        return static_cast<int>(Send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(text)));
    }
    int AddString(const char* text) {
        return static_cast<int>(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
};

class EditBox : public WindowRef {
public:
    using WindowRef::WindowRef;
    // At most size - 1 characters into `out`, always terminated when size > 0.
    void GetText(char* out, std::size_t size) const {
        if (!out || size == 0) return;
        out[0] = '\0';
        const int chars = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
        if (Hwnd()) ::GetWindowTextA(Hwnd(), out, chars);
        out[size - 1] = '\0';
    }
    void SetText(const char* text) {
        if (Hwnd()) ::SetWindowTextA(Hwnd(), text ? text : "");
    }
};
