#include "controls/gradient.h"

#include <algorithm>
#include <climits>

namespace {

constexpr int kComponentStepLimit = 245;  // a component above this no longer grows
// After this many steps every component is above the limit and stays put.
constexpr long long kStepsUntilSteady = 26;

int ClampToInt(long long v) {
    if (v < INT_MIN) return INT_MIN;
    if (v > INT_MAX) return INT_MAX;
    return static_cast<int>(v);
}

int StepComponent(int c) { return c <= kComponentStepLimit ? c + kGradientStep : c; }

int FirstStepComponent(int c, int step) {
    long long sum = static_cast<long long>(c) + step;
    if (sum >= 255) return 255;
    if (sum < 0) return 0;
    return static_cast<int>(sum);
}

// 64-bit copy of a rectangle so that shrinking and growing cannot overflow.
struct WideRect {
    long long left;
    long long top;
    long long right;
    long long bottom;
};

WideRect Widen(const IntRect& r) { return WideRect{r.left, r.top, r.right, r.bottom}; }

IntRect Narrow(const WideRect& r) {
    return IntRect{ClampToInt(r.left), ClampToInt(r.top), ClampToInt(r.right),
                   ClampToInt(r.bottom)};
}

int ShrinkX(GradientShrink s) { return s == GradientShrink::TopBottom ? 0 : 1; }
int ShrinkY(GradientShrink s) { return s == GradientShrink::LeftRight ? 0 : 1; }

WideRect Shrunk(const WideRect& r, GradientShrink s, long long times) {
    long long dx = ShrinkX(s) * times;
    long long dy = ShrinkY(s) * times;
    return WideRect{r.left + dx, r.top + dy, r.right - dx, r.bottom - dy};
}

// Tracks the largest m >= 0 for which every added condition holds; the
// conditions are of the form a - b*m > 0 (strict) or a - b*m >= 0, b >= 0.
class LargestM {
public:
    void Strict(long long a, long long b) { AtLeastZero(a - 1, b); }
    void AtLeastZero(long long a, long long b) {
        if (a < 0) {
            noValue = true;
            return;
        }
        if (b == 0) return;
        long long m = a / b;  // a >= 0, b > 0: floor
        if (!bounded || m < largest) largest = m;
        bounded = true;
    }
    bool None() const { return noValue; }
    bool Bounded() const { return bounded; }
    long long Max() const { return largest; }

private:
    bool noValue = false;
    bool bounded = false;
    long long largest = 0;
};

}  // namespace

RgbColor LightenStep(RgbColor color) {
    return MakeRgb(StepComponent(RedOf(color)), StepComponent(GreenOf(color)),
                   StepComponent(BlueOf(color)));
}

RgbColor LightenFirst(RgbColor color, int step) {
    return MakeRgb(FirstStepComponent(RedOf(color), step),
                   FirstStepComponent(GreenOf(color), step),
                   FirstStepComponent(BlueOf(color), step));
}

RgbColor GradientLevelColor(RgbColor start, bool hasFirstStep, int firstStep, long long level) {
    start &= 0xFFFFFF;
    if (level <= 0) return start;
    RgbColor c = hasFirstStep ? LightenFirst(start, firstStep) : LightenStep(start);
    long long steps = std::min(level - 1, kStepsUntilSteady);
    for (long long i = 0; i < steps; ++i) c = LightenStep(c);
    return c;
}

bool IsEmptyRect(const IntRect& r) { return r.right <= r.left || r.bottom <= r.top; }

IntRect GradientLevelRect(const IntRect& r, GradientShrink firstShrink, GradientShrink shrink,
                          long long level) {
    if (level <= 0) return r;
    WideRect w = Shrunk(Widen(r), firstShrink, 1);
    return Narrow(Shrunk(w, shrink, level - 1));
}

GradientPlan PlanGradient(const IntRect& r, GradientShrink firstShrink, GradientShrink shrink,
                          const IntRect& clip) {
    GradientPlan plan{1, 0};  // level 0 only
    const WideRect r1 = Shrunk(Widen(r), firstShrink, 1);
    const WideRect v = Widen(clip);
    const long long dx = ShrinkX(shrink);
    const long long dy = ShrinkY(shrink);

    // Level 1 + m is drawn while it is not empty; it can show only while it
    // meets the clip box. Both hold for every m up to some largest value.
    LargestM last;
    last.Strict(r1.right - r1.left, 2 * dx);
    last.Strict(r1.bottom - r1.top, 2 * dy);
    last.Strict(v.right - r1.left, dx);
    last.Strict(r1.right - v.left, dx);
    last.Strict(v.bottom - r1.top, dy);
    last.Strict(r1.bottom - v.top, dy);
    if (last.None()) return plan;
    // The emptiness conditions always bound m, as every shrink moves an axis.
    plan.lastInner = 1 + last.Max();

    // Level 1 + m lies under level 2 + m inside the clip box when level
    // 2 + m still reaches past the clip box, with a margin for its rounded
    // corners, on both sides of every axis the levels shrink along; along
    // the other axis the two levels are alike.
    const long long margin = 2;
    LargestM hidden;
    if (dx) {
        hidden.AtLeastZero((v.left - margin) - (r1.left + 1), 1);
        hidden.AtLeastZero((r1.right - 1) - (v.right + margin), 1);
    }
    if (dy) {
        hidden.AtLeastZero((v.top - margin) - (r1.top + 1), 1);
        hidden.AtLeastZero((r1.bottom - 1) - (v.bottom + margin), 1);
    }
    if (!hidden.None() && hidden.Bounded())
        plan.firstInner = std::min(2 + hidden.Max(), plan.lastInner);
    return plan;
}

IntRect ClampRectNear(const IntRect& r, const IntRect& clip, int margin) {
    const long long lowX = static_cast<long long>(clip.left) - margin;
    const long long highX = static_cast<long long>(clip.right) + margin;
    const long long lowY = static_cast<long long>(clip.top) - margin;
    const long long highY = static_cast<long long>(clip.bottom) + margin;
    WideRect w = Widen(r);
    w.left = std::min(std::max(w.left, lowX), highX);
    w.right = std::min(std::max(w.right, lowX), highX);
    w.top = std::min(std::max(w.top, lowY), highY);
    w.bottom = std::min(std::max(w.bottom, lowY), highY);
    return Narrow(w);
}

bool IsHorizontalChannel(const IntRect& channel) {
    long long width = static_cast<long long>(channel.right) - channel.left;
    long long height = static_cast<long long>(channel.bottom) - channel.top;
    return width >= height;
}

IntRect GrowAcross(const IntRect& r, bool horizontal, int amount) {
    WideRect w = Widen(r);
    if (horizontal) {
        w.top -= amount;
        w.bottom += amount;
    } else {
        w.left -= amount;
        w.right += amount;
    }
    return Narrow(w);
}

int ChannelFillEnd(int extent, int meterValue, int meterMax) {
    if (meterMax == 0) return kFillStart;
    // |extent * meterValue| < 2^62, so neither the product nor the quotient
    // (also for a divisor of -1) can overflow in 64 bits; division truncates
    // toward zero.
    long long product = static_cast<long long>(extent) * meterValue;
    return ClampToInt(product / meterMax + kFillStart);
}

IntRect ChannelFillRect(const IntRect& inner, bool horizontal, int meterValue, int meterMax) {
    if (horizontal) {
        int width = ClampToInt(static_cast<long long>(inner.right) - inner.left);
        return IntRect{kFillStart, inner.top, ChannelFillEnd(width, meterValue, meterMax),
                       inner.bottom};
    }
    int height = ClampToInt(static_cast<long long>(inner.bottom) - inner.top);
    return IntRect{inner.left, kFillStart, inner.right,
                   ChannelFillEnd(height, meterValue, meterMax)};
}

int SignExtend16(int value) {
    // Arithmetic rather than a cast to a 16-bit type, which is
    // implementation-defined for values above 32767.
    int low = static_cast<int>(static_cast<unsigned>(value) & 0xFFFFu);
    return low >= 0x8000 ? low - 0x10000 : low;
}

CustomDrawAnswer AnswerCustomDraw(std::uint32_t stage, std::uintptr_t item) {
    switch (stage) {
    case kStagePrePaint:
        return {CustomDrawAction::None, kResultNotifyItemDraw};
    case kStagePostPaint:
        return {CustomDrawAction::None, kResultDoDefault};
    case kStagePreErase:
    case kStagePostErase:
        return {CustomDrawAction::None, kResultSkipDefault};
    case kStageItemPrePaint:
        if (item == kItemThumb) return {CustomDrawAction::DrawThumb, kResultSkipDefault};
        if (item == kItemChannel)
            return {CustomDrawAction::DrawBackgroundAndChannel, kResultSkipDefault};
        return {CustomDrawAction::None, kResultDoDefault};  // tick marks and anything else
    default:
        return {CustomDrawAction::None, kResultDoDefault};
    }
}

IntRect ThumbHoverRect(const IntRect& thumb) {
    WideRect w = Widen(thumb);
    w.left -= 2;
    w.right += 2;
    w.top += 2;
    w.bottom -= 2;
    return Narrow(w);
}

bool ThumbHoverContains(const IntRect& thumb, int x, int y) {
    WideRect w = Widen(thumb);
    return x >= w.left - 2 && x < w.right + 2 && y >= w.top + 2 && y < w.bottom - 2;
}

BlinkStepResult BlinkStep(int phase) {
    if (phase != 0) return {kBlinkColorB, 0};
    return {kBlinkColorA, 1};
}
