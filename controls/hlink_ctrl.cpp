#include "controls/hlink_ctrl.h"

#include <windowsx.h>

#ifndef IDC_HAND
#define IDC_HAND MAKEINTRESOURCE(32649)
#endif

namespace {

// The command a link posts to itself for a press; it then posts its own id
// to the parent.
constexpr WPARAM kLinkActivateCommand = 32776;
// The types of a static that hold text: left-aligned, centred, right-aligned.
constexpr LONG kLastTextType = SS_RIGHT;

HCURSOR LinkCursor() {
    HCURSOR hand = ::LoadCursor(nullptr, IDC_HAND);
    return hand ? hand : ::LoadCursor(nullptr, IDC_ARROW);
}

}  // namespace

CHLinkCtrl::CHLinkCtrl()
    : linkCursor(LinkCursor()),
      normalColor(0xFF0000),
      visitedColor(0x800080),
      hoverColor(0x0000FF),
      linkState(kNormal),
      savedState(kNormal) {}

void CHLinkCtrl::SetHover(bool on) {
    if (on) {
        if (linkState == kHover) return;
        savedState = linkState;
        linkState = kHover;
    } else {
        if (linkState != kHover) return;
        linkState = savedState;
    }
    ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

HBRUSH CHLinkCtrl::OnReflectedCtlColor(UINT message, HDC dc) {
    HWND hwnd = Hwnd();
    const LONG style = ::GetWindowLongA(hwnd, GWL_STYLE);
    // Pointer input reaches a static only with SS_NOTIFY.
    if (!(style & SS_NOTIFY)) ::SetWindowLongA(hwnd, GWL_STYLE, style | SS_NOTIFY);
    if ((style & 0xFF) > kLastTextType) return nullptr;  // a picture: the parent's colours

    if (!underlineFont) {
        LOGFONTA font = {};
        HFONT current = reinterpret_cast<HFONT>(::SendMessageA(hwnd, WM_GETFONT, 0, 0));
        if (current) ::GetObjectA(current, sizeof font, &font);
        font.lfUnderline = TRUE;
        underlineFont.Reset(::CreateFontIndirectA(&font));
        // A static may select its own font after asking for its colours (Wine's
        // does): it gets the underlined one too, so the link is drawn
        // underlined either way.
        if (underlineFont) ::SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(underlineFont.Get()), FALSE);
    }
    ::SelectObject(dc, underlineFont.Get());
    const COLORREF colors[] = {normalColor, visitedColor, hoverColor};
    ::SetTextColor(dc, colors[linkState]);
    ::SetBkMode(dc, TRANSPARENT);
    return static_cast<HBRUSH>(::GetStockObject(HOLLOW_BRUSH));
}

bool CHLinkCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
    case WM_CONTEXTMENU:
        *result = 0;
        return true;
    case WM_SETCURSOR:
        ::SetCursor(linkCursor);
        *result = TRUE;
        return true;
    case WM_LBUTTONDOWN:
        ::PostMessageA(Hwnd(), WM_COMMAND, kLinkActivateCommand, 0);
        *result = 0;
        return true;
    case WM_MOUSEMOVE:
        OnMouseMove(lParam);
        return false;  // the static's own handling follows
    case WM_CAPTURECHANGED:
        // The pointer went to another window (the browser the click started
        // took the foreground): the link is no longer under it.
        if (reinterpret_cast<HWND>(lParam) != Hwnd()) SetHover(false);
        return false;
    case WM_COMMAND:
        if (wParam != kLinkActivateCommand) return false;
        Activate();
        *result = 0;
        return true;
    default:
        return false;
    }
}

void CHLinkCtrl::OnMouseMove(LPARAM position) {
    HWND hwnd = Hwnd();
    RECT client;
    ::GetClientRect(hwnd, &client);
    const POINT point = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (::PtInRect(&client, point)) {
        if (linkState != kHover) {
            ::SetCapture(hwnd);
            SetHover(true);
        }
    } else if (linkState == kHover) {
        SetHover(false);
        ::ReleaseCapture();
    }
}

void CHLinkCtrl::Activate() {
    HWND hwnd = Hwnd();
    ::PostMessageA(::GetParent(hwnd), WM_COMMAND, static_cast<WPARAM>(::GetDlgCtrlID(hwnd)) & 0xFFFF, 0);
    if (linkState == kHover)
        savedState = kVisited;
    else
        linkState = kVisited;
}
