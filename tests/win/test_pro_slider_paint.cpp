// How the level slider reaches the window: each repaint is drawn into a
// memory picture and blitted once, and must look exactly like the trackbar
// painting straight into a device context. The combined meter setter
// repaints once. Uses the dialog "ProSliderTestDlg" of test_pro_slider.rc.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <vector>

#include "controls/pro_slider.h"
#include "ui/dialog.h"

namespace {

const int kHorizontal = 200;
const int kVertical = 201;
const UINT kRunChecks = WM_APP + 1;
const COLORREF kMarker = RGB(255, 0, 255);

class PaintCountingSlider : public CProSliderCtrl {
public:
    int prePaints = 0;
    bool OnReflectedNotify(NMHDR* header, LRESULT* result) override {
        if (header->code == static_cast<UINT>(NM_CUSTOMDRAW) &&
            reinterpret_cast<NMCUSTOMDRAW*>(header)->dwDrawStage == CDDS_PREPAINT)
            ++prePaints;
        return CProSliderCtrl::OnReflectedNotify(header, result);
    }
};

class PaintDialog : public Dialog {
public:
    PaintDialog() : Dialog("ProSliderTestDlg", nullptr) {}
    PaintCountingSlider horizontal;
    CProSliderCtrl vertical;
    std::function<void(PaintDialog&)> checks;

protected:
    void DoDataExchange() override {
        Bind(horizontal, kHorizontal);
        Bind(vertical, kVertical);
    }
    BOOL OnInitDialog() override {
        BOOL r = Dialog::OnInitDialog();
        ::PostMessageA(Hwnd(), kRunChecks, 0, 0);
        return r;
    }
    bool DispatchMessageTable(UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT* result) override {
        static const MessageEntry<PaintDialog> table[] = {
            MessageRow(kRunChecks, &PaintDialog::OnRunChecks),
        };
        return DispatchTable(this, table, message, wParam, lParam, result);
    }

private:
    LRESULT OnRunChecks(WPARAM, LPARAM) {
        ::ShowWindow(Hwnd(), SW_SHOWNORMAL);
        ::RedrawWindow(Hwnd(), nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        if (checks) checks(*this);
        EndDialog(0);
        return 0;
    }
};

void RunInDialog(const std::function<void(PaintDialog&)>& checks) {
    PaintDialog dlg;
    dlg.checks = checks;
    ASSERT_EQ(0, dlg.DoModal());
}

// The pixels of a w x h picture as 0x00RRGGBB, row by row.
struct Picture {
    int w = 0;
    int h = 0;
    std::vector<DWORD> pixels;
};

// Copies `source` (w x h from its origin) into a 32-bit picture.
Picture Read(HDC source, int w, int h) {
    Picture p;
    p.w = w;
    p.h = h;
    p.pixels.assign(static_cast<size_t>(w) * h, 0);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC mem = ::CreateCompatibleDC(source);
    HGDIOBJ old = ::SelectObject(mem, bitmap);
    ::BitBlt(mem, 0, 0, w, h, source, 0, 0, SRCCOPY);
    ::GdiFlush();
    const DWORD* from = static_cast<const DWORD*>(bits);
    for (size_t i = 0; i < p.pixels.size(); ++i) p.pixels[i] = from[i] & 0xFFFFFF;
    ::SelectObject(mem, old);
    ::DeleteDC(mem);
    ::DeleteObject(bitmap);
    return p;
}

// What the window shows of the control now.
Picture Shown(HWND h) {
    RECT client;
    ::GetClientRect(h, &client);
    HDC dc = ::GetDC(h);
    Picture p = Read(dc, client.right, client.bottom);
    ::ReleaseDC(h, dc);
    return p;
}

// The trackbar painting straight into a memory DC covered with the marker.
Picture PaintedStraight(HWND h) {
    RECT client;
    ::GetClientRect(h, &client);
    HDC screen = ::GetDC(h);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = ::SelectObject(mem, bitmap);
    HBRUSH marker = ::CreateSolidBrush(kMarker);
    ::FillRect(mem, &client, marker);
    ::DeleteObject(marker);
    ::SendMessageA(h, WM_PAINT, reinterpret_cast<WPARAM>(mem), 0);
    Picture p = Read(mem, client.right, client.bottom);
    ::SelectObject(mem, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(mem);
    ::ReleaseDC(h, screen);
    return p;
}

// The number of differing pixels; the first one's position in *x, *y.
int Differences(const Picture& a, const Picture& b, int* x, int* y) {
    int n = 0;
    for (int j = 0; j < a.h; ++j)
        for (int i = 0; i < a.w; ++i)
            if (a.pixels[static_cast<size_t>(j) * a.w + i] != b.pixels[static_cast<size_t>(j) * b.w + i] &&
                n++ == 0) {
                *x = i;
                *y = j;
            }
    return n;
}

void ExpectShownAsPaintedStraight(HWND h, const char* what) {
    ::RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const Picture shown = Shown(h);
    const Picture straight = PaintedStraight(h);
    ASSERT_GT(shown.w * shown.h, 0) << what;
    int x = -1, y = -1;
    EXPECT_EQ(0, Differences(shown, straight, &x, &y)) << what << ": first at " << x << "," << y;
    // The straight paint covers every pixel, so the memory picture's own
    // start (black) never shows either.
    for (DWORD c : straight.pixels) {
        ASSERT_NE(static_cast<DWORD>(0xFF00FF), c) << what << ": a pixel was left unpainted";
    }
}

TEST(ProSliderPaint, WindowShowsExactlyWhatPaintingStraightGives) {
    RunInDialog([](PaintDialog& d) {
        CProSliderCtrl& s = d.horizontal;
        s.SetUpLevelSlider(70);
        ExpectShownAsPaintedStraight(s.Hwnd(), "set up");
        s.SetMeterColorAndValue(0x000080, 45);
        ExpectShownAsPaintedStraight(s.Hwnd(), "dark red at 45");
        s.SetMeterColorAndValue(0x008000, 130);  // runs past the channel
        ExpectShownAsPaintedStraight(s.Hwnd(), "dark green past the end");
        ::SendMessageA(s.Hwnd(), WM_TIMER, 5, 0);  // blink colours
        ExpectShownAsPaintedStraight(s.Hwnd(), "blink");

        CProSliderCtrl& v = d.vertical;
        v.SetUpLevelSlider(20);
        v.SetMeterColorAndValue(0x000080, 60);
        ExpectShownAsPaintedStraight(v.Hwnd(), "vertical");
    });
}

TEST(ProSliderPaint, CombinedMeterSetterRepaintsOnce) {
    RunInDialog([](PaintDialog& d) {
        PaintCountingSlider& s = d.horizontal;
        HWND h = s.Hwnd();
        s.SetUpLevelSlider(100);
        ::UpdateWindow(h);
        EXPECT_EQ(0, s.SetMeterColorAndValue(0x000080, 30));
        EXPECT_EQ(30, s.GetMeterValue());
        // Also when nothing changes, and the repaint is one paint.
        ::UpdateWindow(h);
        const int before = s.prePaints;
        EXPECT_EQ(30, s.SetMeterColorAndValue(0x000080, 30));
        ::UpdateWindow(h);
        EXPECT_EQ(before + 1, s.prePaints);
        // It sets the colour: the next setter returns it as the previous one.
        EXPECT_EQ(static_cast<COLORREF>(0x000080), s.SetMeterColor(0x008000));
    });
}

}  // namespace
