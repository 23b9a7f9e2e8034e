// The level slider's drawing rules as plain arithmetic: colour steps of the
// nested rounded-rectangle gradients, which levels of a gradient can show,
// the meter fill's end, the custom-draw answers, the thumb's hover area and
// the blink. No platform headers.
#pragma once

#include <cstdint>

// Colours are 0x00BBGGRR, red in the low byte.
using RgbColor = std::uint32_t;

constexpr RgbColor kSliderDefaultBackground = 0x333333;
constexpr RgbColor kSliderDefaultMeter = 0xCC6666;
constexpr RgbColor kSliderDefaultThumb = 0x808080;
constexpr RgbColor kSliderPressedThumb = 0x000080;
constexpr RgbColor kBlinkColorA = 0xCCCCCC;  // set when the blink phase is clear
constexpr RgbColor kBlinkColorB = 0xCC6666;  // set when the blink phase is set

constexpr int kGradientStep = 10;          // per component, while the component is <= 245
constexpr int kBackgroundFirstStep = 5;    // first step of the background gradient
constexpr int kMeterFirstStep = 20;        // first step of the meter fill
constexpr int kChannelGrow = 5;            // the channel grows by this across before its edge
constexpr int kFillStart = 9;              // absolute client coordinate where the fill starts

inline int RedOf(RgbColor c) { return static_cast<int>(c & 0xFF); }
inline int GreenOf(RgbColor c) { return static_cast<int>((c >> 8) & 0xFF); }
inline int BlueOf(RgbColor c) { return static_cast<int>((c >> 16) & 0xFF); }
inline RgbColor MakeRgb(int r, int g, int b) {
    return static_cast<RgbColor>(r & 0xFF) | (static_cast<RgbColor>(g & 0xFF) << 8) |
           (static_cast<RgbColor>(b & 0xFF) << 16);
}

// One step inward: every component of 245 or less grows by 10, the others stay.
RgbColor LightenStep(RgbColor color);

// The first step of an "Ex" gradient: every component grows by `step`; a sum
// of 255 or more gives 255 (a negative step cannot go below 0).
RgbColor LightenFirst(RgbColor color, int step);

// Colour of gradient level `level` (0 = outermost = `start`). With
// `hasFirstStep` level 1 is LightenFirst(start, firstStep), else LightenStep;
// every further level is one LightenStep more. Any level count is fine: the
// steps stop changing anything after a few dozen levels.
RgbColor GradientLevelColor(RgbColor start, bool hasFirstStep, int firstStep, long long level);

// ---------------------------------------------------------------------------
// Rectangles: left/top inclusive, right/bottom exclusive, like a Win32 RECT.
struct IntRect {
    int left;
    int top;
    int right;
    int bottom;
};

inline bool operator==(const IntRect& a, const IntRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Empty in the Win32 sense: no width or no height, or inverted.
bool IsEmptyRect(const IntRect& r);

// How a gradient level shrinks into the next one.
enum class GradientShrink {
    AllSides,     // 1 on each of the four sides
    LeftRight,    // 1 on the left and the right (vertical slider)
    TopBottom,    // 1 at the top and the bottom (horizontal slider)
};

// The rectangle of level `level`: level 0 is `r`; level 1 shrinks it by
// `firstShrink`, every further level by `shrink`. Coordinates that would
// leave the int range are clamped to it.
IntRect GradientLevelRect(const IntRect& r, GradientShrink firstShrink, GradientShrink shrink,
                          long long level);

// Which levels of a gradient need drawing. The full gradient draws level 0
// and then every level while its rectangle is not empty. Within `clip` (the
// part of the device that can show anything) drawing level 0 and then the
// levels `firstInner` to `lastInner` gives the same pixels as the full
// sequence: each level from 1 to firstInner - 1 lies, inside `clip`, wholly
// under the next one, and the levels after `lastInner` are empty or lie
// outside `clip`. No inner level is drawn when lastInner < firstInner. The
// number of inner levels is bounded by the size of `clip`, however large
// `r` is.
struct GradientPlan {
    long long firstInner;
    long long lastInner;
};
GradientPlan PlanGradient(const IntRect& r, GradientShrink firstShrink, GradientShrink shrink,
                          const IntRect& clip);

// `r` with each coordinate clamped into `clip` grown by `margin` on every
// side: within `clip`, a shape drawn over the result looks the same as over
// `r` when the shape's outline details lie within `margin` of its edges.
IntRect ClampRectNear(const IntRect& r, const IntRect& clip, int margin);

// ---------------------------------------------------------------------------
// The meter fill.

// A channel is horizontal when it is at least as wide as it is high.
bool IsHorizontalChannel(const IntRect& channel);

// `r` grown by `amount` across the channel: at the top and the bottom of a
// horizontal channel, on the left and the right of a vertical one. Clamped
// to the int range.
IntRect GrowAcross(const IntRect& r, bool horizontal, int amount);

// (extent * meterValue) / meterMax + 9 with truncation toward zero; 9 when
// meterMax is 0. Computed in 64 bits, so no product overflows; a result
// outside the int range is clamped to it.
int ChannelFillEnd(int extent, int meterValue, int meterMax);

// The fill rectangle inside a channel rectangle that already has its edge
// taken off and its one-pixel regrowth applied: from the absolute coordinate
// 9 to ChannelFillEnd along the channel, across the whole channel.
IntRect ChannelFillRect(const IntRect& inner, bool horizontal, int meterValue, int meterMax);

// The low 16 bits of `value` as a signed 16-bit number, widened to int.
int SignExtend16(int value);

// ---------------------------------------------------------------------------
// Custom draw: the trackbar's stages and items and the answers to them.
constexpr std::uint32_t kStagePrePaint = 0x1;
constexpr std::uint32_t kStagePostPaint = 0x2;
constexpr std::uint32_t kStagePreErase = 0x3;
constexpr std::uint32_t kStagePostErase = 0x4;
constexpr std::uint32_t kStageItemPrePaint = 0x10001;
constexpr std::uintptr_t kItemTics = 1;
constexpr std::uintptr_t kItemThumb = 2;
constexpr std::uintptr_t kItemChannel = 3;
constexpr long kResultDoDefault = 0x0;
constexpr long kResultSkipDefault = 0x4;
constexpr long kResultNotifyItemDraw = 0x20;

enum class CustomDrawAction {
    None,
    DrawThumb,
    DrawBackgroundAndChannel,
};

struct CustomDrawAnswer {
    CustomDrawAction action;
    long result;
};

CustomDrawAnswer AnswerCustomDraw(std::uint32_t stage, std::uintptr_t item);

// ---------------------------------------------------------------------------
// Pointer and timer.

// The thumb counts as hovered inside its rectangle widened by 2 on the left
// and the right and narrowed by 2 at the top and the bottom.
IntRect ThumbHoverRect(const IntRect& thumb);
bool ThumbHoverContains(const IntRect& thumb, int x, int y);

// One timer event of the blink: the colour that thumb and background take
// and the phase after it.
struct BlinkStepResult {
    RgbColor color;
    int nextPhase;
};
BlinkStepResult BlinkStep(int phase);
