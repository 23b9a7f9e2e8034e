// The level slider in a real dialog: the dialog reflects the trackbar's
// custom-draw notifications to the slider object, which paints background,
// channel, meter fill and thumb itself, into a memory picture that goes to
// the window in one blit. The checks read the painted pixels back from the
// window. The dialog "ProSliderTestDlg" comes from
// tests/win/test_pro_slider.rc.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "controls/pro_slider.h"
#include "ui/dialog.h"

namespace {

const int kHorizontal = 200;
const int kVertical = 201;
const UINT kRunChecks = WM_APP + 1;

const COLORREF kSilver = kLevelSliderBackground;
const COLORREF kDarkRed = 0x000080;
const COLORREF kDarkGreen = 0x008000;
const COLORREF kMarker = RGB(255, 0, 255);

// A slider that counts the custom-draw notifications reflected to it, and
// the paints among them.
class CountingSlider : public CProSliderCtrl {
public:
    int customDraws = 0;
    int prePaints = 0;
    bool OnReflectedNotify(NMHDR* header, LRESULT* result) override {
        if (header->code == static_cast<UINT>(NM_CUSTOMDRAW)) {
            ++customDraws;
            if (reinterpret_cast<NMCUSTOMDRAW*>(header)->dwDrawStage == CDDS_PREPAINT) ++prePaints;
        }
        return CProSliderCtrl::OnReflectedNotify(header, result);
    }
};

class SliderDialog : public Dialog {
public:
    SliderDialog() : Dialog("ProSliderTestDlg", nullptr) {}

    CountingSlider slider;
    CProSliderCtrl vertical;
    bool bound = false;
    std::function<void(SliderDialog&)> checks;

protected:
    void DoDataExchange() override {
        bound = Bind(slider, kHorizontal) && Bind(vertical, kVertical);
    }
    BOOL OnInitDialog() override {
        BOOL r = Dialog::OnInitDialog();
        ::PostMessageA(Hwnd(), kRunChecks, 0, 0);
        return r;
    }
    bool DispatchMessageTable(UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT* result) override {
        static const MessageEntry<SliderDialog> table[] = {
            MessageRow(kRunChecks, &SliderDialog::OnRunChecks),
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

// Runs `checks` inside the dialog's message loop, once it is up and shown.
void RunInDialog(const std::function<void(SliderDialog&)>& checks) {
    SliderDialog dlg;
    dlg.checks = checks;
    ASSERT_EQ(0, dlg.DoModal());
    EXPECT_TRUE(dlg.bound);
}

void PaintNow(HWND h) { ::RedrawWindow(h, nullptr, nullptr, RDW_UPDATENOW); }

COLORREF Pixel(HWND h, int x, int y) {
    HDC dc = ::GetDC(h);
    COLORREF c = ::GetPixel(dc, x, y);
    ::ReleaseDC(h, dc);
    return c;
}

// Exact on a true-colour display; a display of fewer bits rounds colours.
int Tolerance() {
    HDC dc = ::GetDC(nullptr);
    int bits = ::GetDeviceCaps(dc, BITSPIXEL);
    ::ReleaseDC(nullptr, dc);
    return bits >= 24 ? 0 : 8;
}

std::string Describe(COLORREF c) {
    char text[48];
    std::snprintf(text, sizeof text, "rgb(%d,%d,%d)", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
}

bool Near(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

bool RedFamily(COLORREF c) {
    int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    return r >= 100 && r > g + 60 && r > b + 60 && std::abs(g - b) <= 12;
}

bool GreenFamily(COLORREF c) {
    int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    return g >= 100 && g > r + 60 && g > b + 60 && std::abs(r - b) <= 12;
}

bool GreyFamily(COLORREF c) {
    int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    return std::abs(r - g) <= 10 && std::abs(g - b) <= 10 && std::abs(r - b) <= 10;
}

// The colour of gradient level `level`, worked out here step by step: a
// first step of `first` per component capped at 255, then +10 for each
// component that is at most 245.
COLORREF LevelColor(COLORREF start, int first, int level) {
    int c[3] = {GetRValue(start), GetGValue(start), GetBValue(start)};
    for (int k = 1; k <= level; ++k)
        for (int& v : c) v = (k == 1) ? (v + first >= 255 ? 255 : v + first) : (v <= 245 ? v + 10 : v);
    return RGB(c[0], c[1], c[2]);
}

RECT ChannelRect(HWND h) {
    RECT r = {0, 0, 0, 0};
    ::SendMessageA(h, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&r));
    return r;
}

RECT ThumbRect(HWND h) {
    RECT r = {0, 0, 0, 0};
    ::SendMessageA(h, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&r));
    return r;
}

// Covers the control's picture with a marker colour without asking for a
// repaint, so that only a repaint makes the marker disappear.
void CoverWithMarker(HWND h) {
    RECT client;
    ::GetClientRect(h, &client);
    HDC dc = ::GetDC(h);
    HBRUSH brush = ::CreateSolidBrush(kMarker);
    ::FillRect(dc, &client, brush);
    ::DeleteObject(brush);
    ::ReleaseDC(h, dc);
    ::ValidateRect(h, nullptr);
}

// A custom-draw notification as the trackbar sends it, into a memory DC.
LRESULT SendCustomDraw(HWND dialog, HWND slider, DWORD stage, DWORD_PTR item, UINT state,
                       HDC dc, const RECT& rc) {
    NMCUSTOMDRAW nmcd;
    ZeroMemory(&nmcd, sizeof nmcd);
    nmcd.hdr.hwndFrom = slider;
    nmcd.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(slider));
    nmcd.hdr.code = NM_CUSTOMDRAW;
    nmcd.dwDrawStage = stage;
    nmcd.hdc = dc;
    nmcd.rc = rc;
    nmcd.dwItemSpec = item;
    nmcd.uItemState = state;
    return ::SendMessageA(dialog, WM_NOTIFY, nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&nmcd));
}

// The last x (from 12 on) of the unbroken run of pixels of `family` along
// row y, scanning up to `limit` (exclusive); 11 when x = 12 is not in it.
int LastRunX(HWND h, int y, int limit, bool (*family)(COLORREF)) {
    int x = 12;
    while (x < limit && family(Pixel(h, x, y))) ++x;
    return x - 1;
}

int LastRunY(HWND h, int x, int limit, bool (*family)(COLORREF)) {
    int y = 12;
    while (y < limit && family(Pixel(h, x, y))) ++y;
    return y - 1;
}

TEST(ProSlider, FillLengthFollowsTheMeterValue) {
    RunInDialog([](SliderDialog& d) {
        CProSliderCtrl& s = d.slider;
        HWND h = s.Hwnd();
        ASSERT_NE(nullptr, h);
        s.SetUpLevelSlider(100);  // thumb at the far end, out of the way
        s.SetMeterColor(kDarkRed);
        PaintNow(h);
        const RECT channel = ChannelRect(h);
        const RECT thumb = ThumbRect(h);
        ASSERT_GT(channel.right - channel.left, 100);
        const int inner = (channel.right - channel.left) - 4;  // inside the 2-pixel sunken edge
        const int y = (channel.top + channel.bottom) / 2;
        const int limit = thumb.left - 1;

        int values[] = {20, 50, 75};
        for (int v : values) {
            s.SetMeterValue(v);
            PaintNow(h);
            const int end = inner * v / 100 + 9;  // first x after the fill
            ASSERT_LT(end + 3, limit) << "value " << v;
            EXPECT_EQ(end - 1, LastRunX(h, y, limit, RedFamily)) << "value " << v;
            // Beyond the fill the channel shows the background's grey.
            EXPECT_TRUE(GreyFamily(Pixel(h, end + 2, y))) << Describe(Pixel(h, end + 2, y));
        }
        // A longer value gives a longer fill.
        s.SetMeterValue(10);
        PaintNow(h);
        int shortEnd = LastRunX(h, y, limit, RedFamily);
        s.SetMeterValue(60);
        PaintNow(h);
        EXPECT_GT(LastRunX(h, y, limit, RedFamily), shortEnd + inner / 3);
        // Value 0: nothing of the fill shows.
        s.SetMeterValue(0);
        PaintNow(h);
        EXPECT_FALSE(RedFamily(Pixel(h, 12, y)));
        EXPECT_FALSE(RedFamily(Pixel(h, 40, y)));
    });
}

TEST(ProSlider, FillColourComesFromTheMeterColour) {
    RunInDialog([](SliderDialog& d) {
        CProSliderCtrl& s = d.slider;
        HWND h = s.Hwnd();
        s.SetUpLevelSlider(100);
        const RECT channel = ChannelRect(h);
        const int y = (channel.top + channel.bottom) / 2;
        const int x = 30;
        const int tolerance = Tolerance();
        // The fill rectangle spans the channel grown by 5, less the 2-pixel
        // edge, grown by 1 again: its level at row y is its distance from
        // the nearer of its top and bottom rows.
        const int top = channel.top - 4;
        const int bottom = channel.bottom + 4;
        const int level = (y - top < bottom - 1 - y) ? y - top : bottom - 1 - y;

        s.SetMeterValue(60);
        s.SetMeterColor(kDarkRed);
        PaintNow(h);
        COLORREF red = Pixel(h, x, y);
        EXPECT_TRUE(RedFamily(red)) << Describe(red);
        EXPECT_TRUE(Near(red, LevelColor(kDarkRed, 20, level), tolerance))
            << Describe(red) << " level " << level;
        // The fill's outer row is the meter colour itself.
        EXPECT_TRUE(Near(Pixel(h, x, top), kDarkRed, tolerance)) << Describe(Pixel(h, x, top));

        s.SetMeterColor(kDarkGreen);
        PaintNow(h);
        COLORREF green = Pixel(h, x, y);
        EXPECT_TRUE(GreenFamily(green)) << Describe(green);
        EXPECT_TRUE(Near(green, LevelColor(kDarkGreen, 20, level), tolerance)) << Describe(green);
    });
}

TEST(ProSlider, BackgroundIsASilverGradient) {
    RunInDialog([](SliderDialog& d) {
        CProSliderCtrl& s = d.slider;
        HWND h = s.Hwnd();
        s.SetUpLevelSlider(100);
        PaintNow(h);
        const int tolerance = Tolerance();
        const int x = 60;  // away from the thumb
        // Rows 0, 1, 2 from the top are the levels 0, 1 and 2: 192, 197, 207.
        EXPECT_TRUE(Near(Pixel(h, x, 0), RGB(192, 192, 192), tolerance)) << Describe(Pixel(h, x, 0));
        EXPECT_TRUE(Near(Pixel(h, x, 1), RGB(197, 197, 197), tolerance)) << Describe(Pixel(h, x, 1));
        EXPECT_TRUE(Near(Pixel(h, x, 2), RGB(207, 207, 207), tolerance)) << Describe(Pixel(h, x, 2));
        // The same at the bottom.
        RECT client;
        ::GetClientRect(h, &client);
        EXPECT_TRUE(Near(Pixel(h, x, client.bottom - 2), RGB(197, 197, 197), tolerance))
            << Describe(Pixel(h, x, client.bottom - 2));
    });
}

TEST(ProSlider, ThumbIsAGreyGradient) {
    RunInDialog([](SliderDialog& d) {
        CProSliderCtrl& s = d.slider;
        HWND h = s.Hwnd();
        s.SetUpLevelSlider(50);
        PaintNow(h);
        const RECT thumb = ThumbRect(h);
        const int tolerance = Tolerance();
        const int cx = (thumb.left + thumb.right) / 2;
        const int cy = (thumb.top + thumb.bottom) / 2;
        // Outer row of the thumb: 0x808080; one in: +10.
        EXPECT_TRUE(Near(Pixel(h, cx, thumb.top), RGB(128, 128, 128), tolerance))
            << Describe(Pixel(h, cx, thumb.top));
        EXPECT_TRUE(Near(Pixel(h, cx, thumb.top + 1), RGB(138, 138, 138), tolerance))
            << Describe(Pixel(h, cx, thumb.top + 1));
        EXPECT_TRUE(GreyFamily(Pixel(h, cx, cy))) << Describe(Pixel(h, cx, cy));
    });
}

TEST(ProSlider, ValueAboveTheMaximumRunsPastTheChannel) {
    RunInDialog([](SliderDialog& d) {
        CProSliderCtrl& s = d.slider;
        HWND h = s.Hwnd();
        s.SetUpLevelSlider(0);  // thumb at the start
        s.SetMeterColor(kDarkRed);
        const RECT channel = ChannelRect(h);
        const RECT thumb = ThumbRect(h);
        RECT client;
        ::GetClientRect(h, &client);
        const int y = (channel.top + channel.bottom) / 2;
        const int pastEnd = channel.right + 1;
        ASSERT_LT(pastEnd, client.right - 1);
        ASSERT_GT(pastEnd, thumb.right);

        s.SetMeterValue(100);
        PaintNow(h);
        EXPECT_FALSE(RedFamily(Pixel(h, pastEnd, y))) << Describe(Pixel(h, pastEnd, y));
        EXPECT_TRUE(RedFamily(Pixel(h, (channel.left + channel.right) / 2, y)));
        s.SetMeterValue(200);
        PaintNow(h);
        EXPECT_TRUE(RedFamily(Pixel(h, pastEnd, y))) << Describe(Pixel(h, pastEnd, y));
        EXPECT_TRUE(RedFamily(Pixel(h, client.right - 2, y)));
    });
}

TEST(ProSlider, MeterRangeIsTakenAsSixteenBits) {
    RunInDialog([](SliderDialog& d) {
        CProSliderCtrl& s = d.slider;
        HWND h = s.Hwnd();
        s.SetUpLevelSlider(100);
        s.SetMeterColor(kDarkRed);
        const RECT channel = ChannelRect(h);
        const RECT thumb = ThumbRect(h);
        const int y = (channel.top + channel.bottom) / 2;
        const int inner = (channel.right - channel.left) - 4;
        s.SetMeterValue(50);
        PaintNow(h);
        const int half = LastRunX(h, y, thumb.left - 1, RedFamily);
        EXPECT_EQ(inner * 50 / 100 + 8, half);
        // 65536 + 100 is 100 in 16 bits: the same fill after a repaint.
        s.SetMeterRange(0, 65536 + 100);
        s.SetMeterValue(50);
        PaintNow(h);
        EXPECT_EQ(half, LastRunX(h, y, thumb.left - 1, RedFamily));
        // A maximum of 0 shows no fill.
        s.SetMeterRange(0, 65536);
        s.SetMeterValue(50);
        PaintNow(h);
        EXPECT_FALSE(RedFamily(Pixel(h, 20, y))) << Describe(Pixel(h, 20, y));
    });
}

TEST(ProSlider, VerticalSliderFillsDownwards) {
    RunInDialog([](SliderDialog& d) {
        CProSliderCtrl& s = d.vertical;
        HWND h = s.Hwnd();
        ASSERT_NE(nullptr, h);
        s.SetUpLevelSlider(100);  // thumb at the bottom
        s.SetMeterColor(kDarkGreen);
        const RECT channel = ChannelRect(h);
        const RECT thumb = ThumbRect(h);
        ASSERT_GT(channel.bottom - channel.top, channel.right - channel.left);
        const int inner = (channel.bottom - channel.top) - 4;
        const int x = (channel.left + channel.right) / 2;
        s.SetMeterValue(40);
        PaintNow(h);
        const int end = inner * 40 / 100 + 9;
        ASSERT_LT(end + 3, thumb.top - 1);
        EXPECT_EQ(end - 1, LastRunY(h, x, thumb.top - 1, GreenFamily));
        // Across a vertical slider the background steps from the left.
        const int tolerance = Tolerance();
        EXPECT_TRUE(Near(Pixel(h, 1, end + 2), RGB(197, 197, 197), tolerance))
            << Describe(Pixel(h, 1, end + 2));
    });
}

TEST(ProSlider, SettersRepaintEvenWhenNothingChanged) {
    RunInDialog([](SliderDialog& d) {
        CProSliderCtrl& s = d.slider;
        HWND h = s.Hwnd();
        s.SetUpLevelSlider(100);
        s.SetMeterValue(40);
        s.SetMeterColor(kDarkRed);
        PaintNow(h);
        const int x = 60;
        const int y = 1;

        // Without a setter the marker stays: nothing else repaints.
        CoverWithMarker(h);
        PaintNow(h);
        ASSERT_EQ(kMarker, Pixel(h, x, y));

        struct Step {
            const char* name;
            std::function<void()> run;
        };
        const Step steps[] = {
            {"SetMeterValue", [&s] { EXPECT_EQ(40, s.SetMeterValue(40)); }},
            {"SetMeterColor", [&s] { EXPECT_EQ(kDarkRed, s.SetMeterColor(kDarkRed)); }},
            {"SetBackgroundColor", [&s] { EXPECT_EQ(kSilver, s.SetBackgroundColor(kSilver)); }},
            {"SetThumbColor", [&s] { s.SetThumbColor(0x808080); }},
            {"WM_MOUSEMOVE", [h] { ::SendMessageA(h, WM_MOUSEMOVE, 0, MAKELPARAM(5, 1)); }},
        };
        for (const Step& step : steps) {
            CoverWithMarker(h);
            int before = d.slider.customDraws;
            step.run();
            PaintNow(h);
            EXPECT_NE(kMarker, Pixel(h, x, y)) << step.name;
            EXPECT_TRUE(GreyFamily(Pixel(h, x, y))) << step.name;
            EXPECT_GT(d.slider.customDraws, before) << step.name;
        }
        // The meter range alone does not repaint.
        CoverWithMarker(h);
        s.SetMeterRange(0, 100);
        PaintNow(h);
        EXPECT_EQ(kMarker, Pixel(h, x, y));
        // The trackbar's own range and position are untouched.
        EXPECT_EQ(0, ::SendMessageA(h, TBM_GETRANGEMIN, 0, 0));
        EXPECT_EQ(100, ::SendMessageA(h, TBM_GETRANGEMAX, 0, 0));
        EXPECT_EQ(100, ::SendMessageA(h, TBM_GETPOS, 0, 0));
    });
}

TEST(ProSlider, SettersReturnThePreviousValues) {
    RunInDialog([](SliderDialog& d) {
        CProSliderCtrl& s = d.slider;
        EXPECT_EQ(0, s.GetMeterValue());
        EXPECT_EQ(0, s.SetMeterValue(33));
        EXPECT_EQ(33, s.GetMeterValue());
        EXPECT_EQ(33, s.SetMeterValue(-5));
        EXPECT_EQ(-5, s.GetMeterValue());
        EXPECT_EQ(static_cast<COLORREF>(0xCC6666), s.SetMeterColor(kDarkGreen));
        EXPECT_EQ(kDarkGreen, s.SetMeterColor(kDarkRed));
        EXPECT_EQ(static_cast<COLORREF>(0x333333), s.SetBackgroundColor(kSilver));
        EXPECT_EQ(kSilver, s.SetBackgroundColor(kSilver));
    });
}

TEST(ProSlider, CustomDrawAnswersThroughTheDialog) {
    RunInDialog([](SliderDialog& d) {
        HWND dialog = d.Hwnd();
        HWND h = d.slider.Hwnd();
        HDC screen = ::GetDC(h);
        HDC mem = ::CreateCompatibleDC(screen);
        HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 400, 60);
        HGDIOBJ old = ::SelectObject(mem, bitmap);
        RECT rc = {10, 10, 30, 30};
        EXPECT_EQ(CDRF_NOTIFYITEMDRAW, SendCustomDraw(dialog, h, CDDS_PREPAINT, 0, 0, mem, rc));
        EXPECT_EQ(CDRF_DODEFAULT, SendCustomDraw(dialog, h, CDDS_POSTPAINT, 0, 0, mem, rc));
        EXPECT_EQ(CDRF_SKIPDEFAULT, SendCustomDraw(dialog, h, CDDS_PREERASE, 0, 0, mem, rc));
        EXPECT_EQ(CDRF_SKIPDEFAULT, SendCustomDraw(dialog, h, CDDS_POSTERASE, 0, 0, mem, rc));
        EXPECT_EQ(CDRF_DODEFAULT,
                  SendCustomDraw(dialog, h, CDDS_ITEMPREPAINT, TBCD_TICS, 0, mem, rc));
        EXPECT_EQ(CDRF_SKIPDEFAULT,
                  SendCustomDraw(dialog, h, CDDS_ITEMPREPAINT, TBCD_THUMB, 0, mem, rc));
        EXPECT_EQ(CDRF_SKIPDEFAULT,
                  SendCustomDraw(dialog, h, CDDS_ITEMPREPAINT, TBCD_CHANNEL, 0, mem, rc));
        EXPECT_EQ(CDRF_DODEFAULT, SendCustomDraw(dialog, h, CDDS_ITEMPREPAINT, 7, 0, mem, rc));
        EXPECT_EQ(CDRF_DODEFAULT,
                  SendCustomDraw(dialog, h, CDDS_ITEMPOSTPAINT, TBCD_THUMB, 0, mem, rc));
        // The thumb was drawn into the memory DC in its grey.
        EXPECT_TRUE(GreyFamily(::GetPixel(mem, 20, 20))) << Describe(::GetPixel(mem, 20, 20));

        // Pressed: the thumb takes the pressed colour, dark red.
        EXPECT_EQ(CDRF_SKIPDEFAULT, SendCustomDraw(dialog, h, CDDS_ITEMPREPAINT, TBCD_THUMB,
                                                   CDIS_SELECTED, mem, rc));
        EXPECT_TRUE(Near(::GetPixel(mem, 20, 10), kDarkRed, Tolerance()))
            << Describe(::GetPixel(mem, 20, 10));
        EXPECT_TRUE(RedFamily(::GetPixel(mem, 20, 20))) << Describe(::GetPixel(mem, 20, 20));

        // The pressed colour stays for the next repaints without a pointer movement.
        RECT thumb = ThumbRect(h);
        d.slider.SetMeterValue(0);
        PaintNow(h);
        const int cx = (thumb.left + thumb.right) / 2;
        const int cy = (thumb.top + thumb.bottom) / 2;
        EXPECT_TRUE(RedFamily(Pixel(h, cx, cy))) << Describe(Pixel(h, cx, cy));
        // A pointer movement away from the thumb brings back the normal grey.
        ::SendMessageA(h, WM_MOUSEMOVE, 0, MAKELPARAM(thumb.right + 20 < 300 ? thumb.right + 20 : 2, 1));
        PaintNow(h);
        EXPECT_TRUE(GreyFamily(Pixel(h, cx, cy))) << Describe(Pixel(h, cx, cy));

        // Other notifications of the slider are not the slider's business.
        NMHDR other = {h, static_cast<UINT_PTR>(kHorizontal), static_cast<UINT>(NM_RELEASEDCAPTURE)};
        EXPECT_EQ(0, ::SendMessageA(dialog, WM_NOTIFY, kHorizontal, reinterpret_cast<LPARAM>(&other)));

        ::SelectObject(mem, old);
        ::DeleteObject(bitmap);
        ::DeleteDC(mem);
        ::ReleaseDC(h, screen);
    });
}

TEST(ProSlider, TimerEventsBlinkThumbAndBackground) {
    RunInDialog([](SliderDialog& d) {
        CProSliderCtrl& s = d.slider;
        HWND h = s.Hwnd();
        s.SetUpLevelSlider(50);
        PaintNow(h);
        const RECT thumb = ThumbRect(h);
        const int tolerance = Tolerance();
        const int cx = (thumb.left + thumb.right) / 2;
        const int x = 20;

        // First event: light grey 0xCCCCCC for both.
        ::SendMessageA(h, WM_TIMER, 77, 0);
        PaintNow(h);
        EXPECT_TRUE(Near(Pixel(h, x, 0), RGB(204, 204, 204), tolerance)) << Describe(Pixel(h, x, 0));
        EXPECT_TRUE(Near(Pixel(h, x, 1), RGB(209, 209, 209), tolerance)) << Describe(Pixel(h, x, 1));
        EXPECT_TRUE(Near(Pixel(h, cx, thumb.top), RGB(204, 204, 204), tolerance))
            << Describe(Pixel(h, cx, thumb.top));
        // Second event: 0xCC6666 (blue 0xCC) for both.
        ::SendMessageA(h, WM_TIMER, 77, 0);
        PaintNow(h);
        EXPECT_TRUE(Near(Pixel(h, x, 0), RGB(0x66, 0x66, 0xCC), tolerance)) << Describe(Pixel(h, x, 0));
        EXPECT_TRUE(Near(Pixel(h, cx, thumb.top), RGB(0x66, 0x66, 0xCC), tolerance))
            << Describe(Pixel(h, cx, thumb.top));
        // Third: light grey again.
        ::SendMessageA(h, WM_TIMER, 77, 0);
        PaintNow(h);
        EXPECT_TRUE(Near(Pixel(h, x, 0), RGB(204, 204, 204), tolerance)) << Describe(Pixel(h, x, 0));
        // The trackbar itself is unharmed.
        EXPECT_EQ(50, ::SendMessageA(h, TBM_GETPOS, 0, 0));
    });
}

// ---- the way to the window: each repaint is drawn into a memory picture
// and blitted once, and must look exactly like the trackbar painting
// straight into a device context.

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

TEST(ProSlider, WindowShowsExactlyWhatPaintingStraightGives) {
    RunInDialog([](SliderDialog& d) {
        CProSliderCtrl& s = d.slider;
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

TEST(ProSlider, CombinedMeterSetterRepaintsOnce) {
    RunInDialog([](SliderDialog& d) {
        CountingSlider& s = d.slider;
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
