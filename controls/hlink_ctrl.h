// A static text that acts as a link: underlined, blue until first clicked,
// purple after a click, red under the pointer, with the hand pointer. A click
// reaches the parent as the command of the control's id; the link itself
// opens nothing.
#pragma once

#include <windows.h>

#include "ui/control.h"
#include "ui/gdi.h"

class CHLinkCtrl : public Control {
public:
    enum LinkState { kNormal = 0, kVisited = 1, kHover = 2 };

    CHLinkCtrl();

    void SetHover(bool on);

    HBRUSH OnReflectedCtlColor(UINT message, HDC dc) override;

protected:
    bool WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    void OnMouseMove(LPARAM position);
    void Activate();

    HCURSOR linkCursor;
    COLORREF normalColor;
    COLORREF visitedColor;
    COLORREF hoverColor;
    int linkState;
    int savedState;
    GdiObject<HFONT> underlineFont;
};
