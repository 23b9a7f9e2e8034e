#include "controls/pro_slider.h"

#include <commctrl.h>

#include "controls/gradient.h"
#include "ui/gdi.h"
#include "ui/wrappers.h"

// The answers of the drawing rules must be the platform's own codes.
static_assert(kStagePrePaint == CDDS_PREPAINT, "custom-draw stage");
static_assert(kStagePostPaint == CDDS_POSTPAINT, "custom-draw stage");
static_assert(kStagePreErase == CDDS_PREERASE, "custom-draw stage");
static_assert(kStagePostErase == CDDS_POSTERASE, "custom-draw stage");
static_assert(kStageItemPrePaint == CDDS_ITEMPREPAINT, "custom-draw stage");
static_assert(kItemTics == TBCD_TICS, "trackbar item");
static_assert(kItemThumb == TBCD_THUMB, "trackbar item");
static_assert(kItemChannel == TBCD_CHANNEL, "trackbar item");
static_assert(kResultDoDefault == CDRF_DODEFAULT, "custom-draw result");
static_assert(kResultSkipDefault == CDRF_SKIPDEFAULT, "custom-draw result");
static_assert(kResultNotifyItemDraw == CDRF_NOTIFYITEMDRAW, "custom-draw result");

namespace {

// How far beyond the visible area a level's rectangle may be cut off: its
// one-pixel outline and 2 x 2 corners stay out of sight.
constexpr int kClipMargin = 4;
constexpr int kCornerSize = 2;

IntRect FromRect(const RECT& r) {
    return IntRect{static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right),
                   static_cast<int>(r.bottom)};
}

RECT ToRect(const IntRect& r) {
    RECT out;
    out.left = r.left;
    out.top = r.top;
    out.right = r.right;
    out.bottom = r.bottom;
    return out;
}

// One level: a rounded rectangle outlined and filled in `color`. The DC's
// own brush and pen are selected (DrawLevels), so a level only sets their
// colour instead of making, selecting and deleting objects of its own.
void DrawLevel(HDC dc, const IntRect& r, COLORREF color) {
    ::SetDCBrushColor(dc, color);
    ::SetDCPenColor(dc, color);
    ::RoundRect(dc, r.left, r.top, r.right, r.bottom, kCornerSize, kCornerSize);
}

// Selects the DC's own brush and pen for the levels of one gradient and
// gives the DC its previous objects and colours back afterwards.
class LevelPainter {
public:
    explicit LevelPainter(HDC dc)
        : dc(dc),
          brush(dc, ::GetStockObject(DC_BRUSH)),
          pen(dc, ::GetStockObject(DC_PEN)),
          brushColor(::GetDCBrushColor(dc)),
          penColor(::GetDCPenColor(dc)) {}
    ~LevelPainter() {
        ::SetDCBrushColor(dc, brushColor);
        ::SetDCPenColor(dc, penColor);
    }
    LevelPainter(const LevelPainter&) = delete;
    LevelPainter& operator=(const LevelPainter&) = delete;

private:
    HDC dc;
    SelectGuard brush;
    SelectGuard pen;
    COLORREF brushColor;
    COLORREF penColor;
};

// A memory DC with a 32-bit DIB section of a given size selected, for one
// paint: it is made when the paint starts and gone when it ends.
class OffScreen {
public:
    OffScreen(HDC reference, int width, int height) {
        if (width <= 0 || height <= 0) return;
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap.Reset(::CreateDIBSection(reference, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!bitmap) return;
        memory = ::CreateCompatibleDC(reference);
        if (memory) previous = ::SelectObject(memory, bitmap.Get());
    }
    ~OffScreen() {
        if (!memory) return;
        if (previous) ::SelectObject(memory, previous);
        ::DeleteDC(memory);
    }
    OffScreen(const OffScreen&) = delete;
    OffScreen& operator=(const OffScreen&) = delete;

    HDC Dc() const { return previous ? memory : nullptr; }

private:
    GdiObject<HBITMAP> bitmap;
    HDC memory = nullptr;
    HGDIOBJ previous = nullptr;
};

}  // namespace

CProSliderCtrl::CProSliderCtrl()
    : backgroundColor(kSliderDefaultBackground),
      meterColor(kSliderDefaultMeter),
      meterMin(0),
      meterMax(0),
      meterValue(0),
      thumbHoverColor(kSliderDefaultThumb),
      thumbNormalColor(kSliderDefaultThumb),
      thumbPressedColor(kSliderPressedThumb),
      thumbColor(kSliderDefaultThumb),
      blinkPhase(0) {}

void CProSliderCtrl::SetUpLevelSlider(int position) {
    TrackBar bar(Hwnd());
    bar.SetRange(0, 100);
    bar.SetPageSize(10);
    bar.SetPos(position);
    SetMeterRange(0, 100);
    SetMeterValue(0);
    SetBackgroundColor(kLevelSliderBackground);
}

template <class T>
T CProSliderCtrl::ReplaceAndRepaint(T& field, T value) {
    const T previous = field;
    field = value;
    Repaint();
    return previous;
}

COLORREF CProSliderCtrl::SetBackgroundColor(COLORREF color) {
    return ReplaceAndRepaint(backgroundColor, color);
}

COLORREF CProSliderCtrl::SetMeterColor(COLORREF color) { return ReplaceAndRepaint(meterColor, color); }

void CProSliderCtrl::SetMeterRange(int minimum, int maximum) {
    meterMin = SignExtend16(minimum);
    meterMax = SignExtend16(maximum);
}

int CProSliderCtrl::SetMeterValue(int value) { return ReplaceAndRepaint(meterValue, value); }

int CProSliderCtrl::SetMeterColorAndValue(COLORREF color, int value) {
    meterColor = color;
    return ReplaceAndRepaint(meterValue, value);
}

void CProSliderCtrl::SetThumbColor(COLORREF color) {
    thumbColor = color;
    Repaint();
}

// Setting the trackbar's own range again, with its redraw flag, makes it
// repaint the whole control, also when nothing changed.
void CProSliderCtrl::Repaint() {
    HWND hwnd = Hwnd();
    if (!hwnd) return;
    LRESULT minimum = ::SendMessageA(hwnd, TBM_GETRANGEMIN, 0, 0);
    LRESULT maximum = ::SendMessageA(hwnd, TBM_GETRANGEMAX, 0, 0);
    if (minimum >= -32768 && minimum <= 32767 && maximum >= -32768 && maximum <= 32767) {
        ::SendMessageA(hwnd, TBM_SETRANGE, TRUE,
                       MAKELPARAM(static_cast<WORD>(minimum & 0xFFFF),
                                  static_cast<WORD>(maximum & 0xFFFF)));
    } else {
        // A range beyond 16 bits would be cut by TBM_SETRANGE; set its ends
        // one by one instead, redrawing with the second.
        ::SendMessageA(hwnd, TBM_SETRANGEMIN, FALSE, minimum);
        ::SendMessageA(hwnd, TBM_SETRANGEMAX, TRUE, maximum);
    }
}

bool CProSliderCtrl::OnReflectedNotify(NMHDR* header, LRESULT* result) {
    if (!header || header->code != static_cast<UINT>(NM_CUSTOMDRAW)) return false;
    NMCUSTOMDRAW* draw = reinterpret_cast<NMCUSTOMDRAW*>(header);
    CustomDrawAnswer answer = AnswerCustomDraw(static_cast<std::uint32_t>(draw->dwDrawStage),
                                               static_cast<std::uintptr_t>(draw->dwItemSpec));
    switch (answer.action) {
    case CustomDrawAction::DrawThumb:
        DrawThumb(draw->hdc, draw->rc, draw->uItemState);
        break;
    case CustomDrawAction::DrawBackgroundAndChannel:
        DrawBackground(draw->hdc);
        DrawChannel(draw->hdc, draw->rc);
        break;
    case CustomDrawAction::None:
        break;
    }
    *result = answer.result;
    return true;
}

bool CProSliderCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
    case WM_MOUSEMOVE: {
        RECT thumb = {0, 0, 0, 0};
        ::SendMessageA(Hwnd(), TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
        // Client coordinates are signed 16-bit values in the message.
        int x = SignExtend16(static_cast<int>(LOWORD(lParam)));
        int y = SignExtend16(static_cast<int>(HIWORD(lParam)));
        SetThumbColor(ThumbHoverContains(FromRect(thumb), x, y) ? thumbHoverColor
                                                                : thumbNormalColor);
        return false;  // the trackbar's own handling (dragging) follows
    }
    case WM_PAINT:
        if (wParam) return false;  // painting into a given DC: the trackbar's own way
        PaintOffScreen();
        *result = 0;
        return true;
    case WM_TIMER: {
        BlinkStepResult blink = BlinkStep(blinkPhase);
        thumbColor = blink.color;
        backgroundColor = blink.color;
        blinkPhase = blink.nextPhase;
        Repaint();
        return false;  // the trackbar's own timer handling follows
    }
    default:
        return false;
    }
}

// The trackbar paints into a memory picture of the whole control (its
// custom-draw notifications carry the memory DC), and the picture goes to
// the window in one blit. The picture is made for this paint only.
void CProSliderCtrl::PaintOffScreen() {
    HWND hwnd = Hwnd();
    PAINTSTRUCT paint;
    HDC windowDc = ::BeginPaint(hwnd, &paint);
    if (!windowDc) return;
    RECT client = {0, 0, 0, 0};
    ::GetClientRect(hwnd, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    OffScreen picture(windowDc, width, height);
    if (HDC memory = picture.Dc()) {
        DefaultProc(WM_PAINT, reinterpret_cast<WPARAM>(memory), 0);
        ::BitBlt(windowDc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    } else {
        DefaultProc(WM_PAINT, reinterpret_cast<WPARAM>(windowDc), 0);  // no memory: straight on
    }
    ::EndPaint(hwnd, &paint);
}

bool CProSliderCtrl::IsVertical() const {
    return (::GetWindowLongA(Hwnd(), GWL_STYLE) & TBS_VERT) != 0;
}

void CProSliderCtrl::DrawLevels(HDC dc, const RECT& rect, COLORREF color, bool hasFirstStep,
                                int firstStep, bool deflateAll) const {
    const GradientShrink inner = IsVertical() ? GradientShrink::LeftRight
                                              : GradientShrink::TopBottom;
    const GradientShrink first = deflateAll ? GradientShrink::AllSides : inner;

    // Only the levels that can show are drawn; the others would be painted
    // over or fall outside the device. This also keeps the work bounded by
    // the visible area however large the rectangle is.
    RECT clipBox;
    if (::GetClipBox(dc, &clipBox) == ERROR) ::GetClientRect(Hwnd(), &clipBox);
    const IntRect clip = FromRect(clipBox);
    const IntRect r = FromRect(rect);
    const GradientPlan plan = PlanGradient(r, first, inner, clip);
    const RgbColor start = static_cast<RgbColor>(color) & 0xFFFFFF;
    LevelPainter painter(dc);
    DrawLevel(dc, ClampRectNear(r, clip, kClipMargin), start);
    for (long long level = plan.firstInner; level <= plan.lastInner; ++level) {
        IntRect shape = ClampRectNear(GradientLevelRect(r, first, inner, level), clip, kClipMargin);
        DrawLevel(dc, shape, GradientLevelColor(start, hasFirstStep, firstStep, level));
    }
}

// Nested rounded rectangles, each 1 smaller and 10 lighter per component
// than the one around it, down to an empty rectangle.
void CProSliderCtrl::DrawGradientRect(HDC dc, const RECT& rect, COLORREF color,
                                      bool deflateAll) const {
    DrawLevels(dc, rect, color, false, 0, deflateAll);
}

// The same with a first step of `firstStep` per component from the outer
// level (shrinking on all four sides) to the next.
void CProSliderCtrl::DrawGradientRectEx(HDC dc, const RECT& rect, COLORREF color,
                                        int firstStep) const {
    DrawLevels(dc, rect, color, true, firstStep, true);
}

void CProSliderCtrl::DrawBackground(HDC dc) const {
    RECT client = {0, 0, 0, 0};
    ::GetClientRect(Hwnd(), &client);
    DrawGradientRectEx(dc, client, backgroundColor, kBackgroundFirstStep);
}

void CProSliderCtrl::DrawChannel(HDC dc, const RECT& channel) const {
    const IntRect original = FromRect(channel);
    const bool horizontal = IsHorizontalChannel(original);
    RECT r = ToRect(GrowAcross(original, horizontal, kChannelGrow));
    ::DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    const IntRect inner = GrowAcross(FromRect(r), horizontal, 1);
    // The fill starts at an absolute coordinate and is not held inside the
    // channel: a value above the meter's maximum runs past its end.
    const RECT fill = ToRect(ChannelFillRect(inner, horizontal, meterValue, meterMax));
    DrawGradientRectEx(dc, fill, meterColor, kMeterFirstStep);
}

void CProSliderCtrl::DrawThumb(HDC dc, const RECT& thumb, UINT itemState) {
    if (itemState & CDIS_SELECTED) thumbColor = thumbPressedColor;
    DrawGradientRect(dc, thumb, thumbColor, true);
}
