#include "controls/gradient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

namespace {

struct Rgb {
    int r, g, b;
};

Rgb Split(RgbColor c) { return Rgb{RedOf(c), GreenOf(c), BlueOf(c)}; }

std::vector<RgbColor> Levels(RgbColor start, bool hasFirstStep, int firstStep, int count) {
    std::vector<RgbColor> out;
    for (int i = 0; i < count; ++i) out.push_back(GradientLevelColor(start, hasFirstStep, firstStep, i));
    return out;
}

// The full nested sequence, level by level, as the plain recursion would
// draw it: level 0 always, then every level while its rectangle is not empty.
std::vector<IntRect> FullLevels(const IntRect& r, GradientShrink first, GradientShrink shrink) {
    std::vector<IntRect> out{r};
    for (long long level = 1;; ++level) {
        IntRect next = GradientLevelRect(r, first, shrink, level);
        if (IsEmptyRect(next)) break;
        out.push_back(next);
    }
    return out;
}

bool Intersects(const IntRect& a, const IntRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

TEST(GradientColor, BackgroundSilverSequence) {
    // First step +5 with the cap, then +10 while the component is at most 245.
    const int expected[] = {192, 197, 207, 217, 227, 237, 247, 247, 247};
    std::vector<RgbColor> levels = Levels(0xC0C0C0, true, kBackgroundFirstStep, 9);
    for (size_t i = 0; i < levels.size(); ++i) {
        Rgb c = Split(levels[i]);
        EXPECT_EQ(c.r, expected[i]) << "level " << i;
        EXPECT_EQ(c.g, expected[i]) << "level " << i;
        EXPECT_EQ(c.b, expected[i]) << "level " << i;
    }
}

TEST(GradientColor, MeterDarkRedSequence) {
    std::vector<RgbColor> levels = Levels(0x000080, true, kMeterFirstStep, 4);
    const Rgb expected[] = {{128, 0, 0}, {148, 20, 20}, {158, 30, 30}, {168, 40, 40}};
    for (size_t i = 0; i < levels.size(); ++i) {
        Rgb c = Split(levels[i]);
        EXPECT_EQ(c.r, expected[i].r) << "level " << i;
        EXPECT_EQ(c.g, expected[i].g) << "level " << i;
        EXPECT_EQ(c.b, expected[i].b) << "level " << i;
    }
}

TEST(GradientColor, ComponentCapRules) {
    // 250 stays 250 in the +10 steps but becomes 255 in a first step of 20.
    EXPECT_EQ(LightenStep(MakeRgb(250, 250, 250)), MakeRgb(250, 250, 250));
    EXPECT_EQ(LightenFirst(MakeRgb(250, 250, 250), 20), MakeRgb(255, 255, 255));
    // 245 still grows (to 255), 246 does not.
    EXPECT_EQ(LightenStep(MakeRgb(245, 246, 0)), MakeRgb(255, 246, 10));
    // A first-step sum of exactly 255 gives 255, below that the plain sum.
    EXPECT_EQ(LightenFirst(MakeRgb(235, 234, 0), 20), MakeRgb(255, 254, 20));
    EXPECT_EQ(LightenFirst(MakeRgb(10, 0, 255), 5), MakeRgb(15, 5, 255));
    // Components are independent: red in the low byte.
    EXPECT_EQ(LightenStep(0x0000FF), 0x0A0AFFu);
}

TEST(GradientColor, PlainGradientStartsWithTenStep) {
    std::vector<RgbColor> levels = Levels(0x808080, false, 0, 3);
    EXPECT_EQ(levels[0], 0x808080u);
    EXPECT_EQ(levels[1], 0x8A8A8Au);
    EXPECT_EQ(levels[2], 0x949494u);
}

TEST(GradientColor, DeepLevelsMatchStepByStep) {
    RgbColor c = LightenFirst(0x102030, 5);
    for (int level = 1; level < 200; ++level) {
        EXPECT_EQ(GradientLevelColor(0x102030, true, 5, level), c) << level;
        c = LightenStep(c);
    }
    EXPECT_EQ(GradientLevelColor(0x102030, true, 5, LLONG_MAX), c);
}

TEST(GradientRect, LevelShrinkRules) {
    IntRect r{0, 0, 20, 10};
    EXPECT_EQ(GradientLevelRect(r, GradientShrink::AllSides, GradientShrink::TopBottom, 0), r);
    EXPECT_EQ(GradientLevelRect(r, GradientShrink::AllSides, GradientShrink::TopBottom, 1),
              (IntRect{1, 1, 19, 9}));
    EXPECT_EQ(GradientLevelRect(r, GradientShrink::AllSides, GradientShrink::TopBottom, 3),
              (IntRect{1, 3, 19, 7}));
    EXPECT_EQ(GradientLevelRect(r, GradientShrink::LeftRight, GradientShrink::LeftRight, 2),
              (IntRect{2, 0, 18, 10}));
    // No overflow near the int range.
    IntRect huge{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    EXPECT_EQ(GradientLevelRect(huge, GradientShrink::AllSides, GradientShrink::AllSides, 5),
              (IntRect{INT_MIN + 5, INT_MIN + 5, INT_MAX - 5, INT_MAX - 5}));
}

TEST(GradientPlan, SmallRectsDrawTheFullSequence) {
    const IntRect clip{-50, -50, 500, 500};
    const GradientShrink shrinks[] = {GradientShrink::AllSides, GradientShrink::LeftRight,
                                      GradientShrink::TopBottom};
    const IntRect rects[] = {{0, 0, 100, 24}, {0, 0, 24, 100}, {3, 4, 8, 7},
                             {0, 0, 1, 1},   {9, 2, 9, 20},    {20, 5, 10, 10},
                             {0, 0, 2, 2},   {0, 0, 3, 3}};
    for (const IntRect& r : rects) {
        for (GradientShrink first : shrinks) {
            for (GradientShrink shrink : shrinks) {
                std::vector<IntRect> full = FullLevels(r, first, shrink);
                GradientPlan plan = PlanGradient(r, first, shrink, clip);
                EXPECT_EQ(plan.firstInner, 1);
                EXPECT_EQ(plan.lastInner, static_cast<long long>(full.size()) - 1);
            }
        }
    }
}

TEST(GradientPlan, EmptyOrInvertedRectIssuesOnlyTheOuterLevel) {
    const IntRect clip{0, 0, 400, 30};
    // A meter value of 0: fill from 9 to 9.
    GradientPlan plan = PlanGradient(IntRect{9, 3, 9, 20}, GradientShrink::AllSides,
                                     GradientShrink::TopBottom, clip);
    EXPECT_LT(plan.lastInner, plan.firstInner);
    // Inverted (a negative value).
    plan = PlanGradient(IntRect{9, 3, -500, 20}, GradientShrink::AllSides,
                        GradientShrink::TopBottom, clip);
    EXPECT_LT(plan.lastInner, plan.firstInner);
    plan = PlanGradient(IntRect{INT_MAX, INT_MAX, INT_MIN, INT_MIN}, GradientShrink::AllSides,
                        GradientShrink::LeftRight, clip);
    EXPECT_LT(plan.lastInner, plan.firstInner);
}

TEST(GradientPlan, HugeRectStaysBoundedAndKeepsVisibleLevels) {
    const IntRect clip{0, 0, 300, 40};
    const GradientShrink shrinks[] = {GradientShrink::AllSides, GradientShrink::LeftRight,
                                      GradientShrink::TopBottom};
    const IntRect rects[] = {{INT_MIN, INT_MIN, INT_MAX, INT_MAX},
                             {9, 5, INT_MAX, 25},
                             {5, 9, 25, INT_MAX},
                             {INT_MIN, 10, INT_MAX, 12},
                             {-1000000, 10, 1000000, 12},
                             {1000, -1000000, 1001000, 1000000},
                             {-5000, -5000, 150, 20}};
    for (const IntRect& r : rects) {
        for (GradientShrink first : shrinks) {
            for (GradientShrink shrink : shrinks) {
                GradientPlan plan = PlanGradient(r, first, shrink, clip);
                ASSERT_GE(plan.firstInner, 1);
                // Never more inner levels than the clip box is wide plus a margin.
                EXPECT_LE(plan.lastInner - plan.firstInner + 1, 300 + 8);
                if (plan.lastInner < plan.firstInner) continue;
                // The level after the last is empty or out of sight.
                IntRect after = GradientLevelRect(r, first, shrink, plan.lastInner + 1);
                EXPECT_TRUE(IsEmptyRect(after) || !Intersects(after, clip));
                IntRect last = GradientLevelRect(r, first, shrink, plan.lastInner);
                EXPECT_FALSE(IsEmptyRect(last));
                EXPECT_TRUE(Intersects(last, clip));
            }
        }
    }
}

TEST(GradientPlan, SkippedLevelsAreExactlyTheHiddenOnes) {
    // A tall rectangle in a control that shrinks top and bottom: its outer
    // levels all reach past the 40-pixel-high clip box at top and bottom.
    const IntRect clip{0, 0, 300, 40};
    GradientPlan plan = PlanGradient(IntRect{-100, -1000, 400, 2000}, GradientShrink::TopBottom,
                                     GradientShrink::TopBottom, clip);
    // Level k spans -1000+k .. 2000-k; level k+1 reaches past -2 and 42
    // while k <= 997, so 1..997 are painted over.
    EXPECT_EQ(plan.firstInner, 998);
    // Level k meets 0..40 while -1000+k < 40, i.e. up to k = 1039.
    EXPECT_EQ(plan.lastInner, 1039);
    // Along the axis that does not shrink the levels are alike, so the
    // left and right ends do not matter.
    plan = PlanGradient(IntRect{100, -1000, 200, 2000}, GradientShrink::TopBottom,
                        GradientShrink::TopBottom, clip);
    EXPECT_EQ(plan.firstInner, 998);
    EXPECT_EQ(plan.lastInner, 1039);
}

namespace {

// A small pixel model of the drawing: each level paints its rectangle
// (normalised, as GDI does) except its four corner pixels with its level
// number, the plain way and the planned way, and the two pictures must
// agree inside the clip box.
class Canvas {
public:
    static constexpr int kLow = -40;
    static constexpr int kHigh = 120;
    Canvas() : pixels_((kHigh - kLow) * (kHigh - kLow), -1) {}

    void Paint(IntRect r, int value) {
        if (r.left > r.right) std::swap(r.left, r.right);
        if (r.top > r.bottom) std::swap(r.top, r.bottom);
        for (long long y = std::max<long long>(r.top, kLow); y < std::min<long long>(r.bottom, kHigh); ++y) {
            for (long long x = std::max<long long>(r.left, kLow); x < std::min<long long>(r.right, kHigh); ++x) {
                bool cornerX = x == r.left || x == r.right - 1;
                bool cornerY = y == r.top || y == r.bottom - 1;
                if (cornerX && cornerY) continue;
                pixels_[Index(static_cast<int>(x), static_cast<int>(y))] = value;
            }
        }
    }
    int At(int x, int y) const { return pixels_[Index(x, y)]; }

private:
    static size_t Index(int x, int y) {
        return static_cast<size_t>(y - kLow) * (kHigh - kLow) + static_cast<size_t>(x - kLow);
    }
    std::vector<int> pixels_;
};

}  // namespace

TEST(GradientPlan, PlannedDrawingLooksLikeTheFullOne) {
    const GradientShrink shrinks[] = {GradientShrink::AllSides, GradientShrink::LeftRight,
                                      GradientShrink::TopBottom};
    const IntRect clips[] = {{10, 5, 40, 25}, {0, 0, 60, 12}, {20, 20, 21, 70}};
    unsigned seed = 12345;
    auto next = [&seed](int range) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % static_cast<unsigned>(range));
    };
    for (int n = 0; n < 1500; ++n) {
        const IntRect clip = clips[n % 3];
        IntRect r{next(90) - 35, next(90) - 35, 0, 0};
        r.right = r.left + next(140) - 10;
        r.bottom = r.top + next(140) - 10;
        GradientShrink first = shrinks[next(3)];
        GradientShrink shrink = shrinks[next(3)];

        Canvas full;
        std::vector<IntRect> levels = FullLevels(r, first, shrink);
        for (size_t i = 0; i < levels.size(); ++i) full.Paint(levels[i], static_cast<int>(i));

        Canvas planned;
        GradientPlan plan = PlanGradient(r, first, shrink, clip);
        planned.Paint(ClampRectNear(r, clip, 4), 0);
        for (long long level = plan.firstInner; level <= plan.lastInner; ++level)
            planned.Paint(ClampRectNear(GradientLevelRect(r, first, shrink, level), clip, 4),
                          static_cast<int>(level));

        for (int y = clip.top; y < clip.bottom; ++y)
            for (int x = clip.left; x < clip.right; ++x)
                ASSERT_EQ(planned.At(x, y), full.At(x, y))
                    << "pixel " << x << "," << y << " rect " << r.left << "," << r.top << ","
                    << r.right << "," << r.bottom << " shrink " << static_cast<int>(first) << "/"
                    << static_cast<int>(shrink);
        if (levels.size() > 1 && plan.lastInner < plan.firstInner) {
            // Nothing inner drawn: then no inner level can show at all.
            for (size_t i = 1; i < levels.size(); ++i) EXPECT_FALSE(Intersects(levels[i], clip));
        }
    }
}

TEST(GradientPlan, ClampKeepsCoordinatesNearTheClip) {
    const IntRect clip{0, 0, 100, 20};
    EXPECT_EQ(ClampRectNear(IntRect{9, 3, INT_MAX, 17}, clip, 4), (IntRect{9, 3, 104, 17}));
    EXPECT_EQ(ClampRectNear(IntRect{INT_MIN, -7, 50, 90}, clip, 4), (IntRect{-4, -4, 50, 24}));
    // Inverted stays inverted.
    EXPECT_EQ(ClampRectNear(IntRect{50, 3, -900, 17}, clip, 4), (IntRect{50, 3, -4, 17}));
}

TEST(ChannelFill, EndForHorizontalAndVertical) {
    // The inner width of a 100-pixel channel inside its 2-pixel edge is 96.
    EXPECT_EQ(ChannelFillEnd(96, 50, 100), 57);
    IntRect fill = ChannelFillRect(IntRect{2, 4, 98, 20}, true, 50, 100);
    EXPECT_EQ(fill, (IntRect{9, 4, 57, 20}));
    IntRect vertical = ChannelFillRect(IntRect{4, 2, 20, 202}, false, 25, 100);
    EXPECT_EQ(vertical, (IntRect{4, 9, 20, 59}));
}

TEST(ChannelFill, ZeroMaximumOrValue) {
    EXPECT_EQ(ChannelFillEnd(96, 50, 0), 9);
    EXPECT_EQ(ChannelFillEnd(96, 0, 100), 9);
    EXPECT_EQ(ChannelFillRect(IntRect{2, 4, 98, 20}, true, 70, 0), (IntRect{9, 4, 9, 20}));
    EXPECT_EQ(ChannelFillRect(IntRect{4, 2, 20, 98}, false, 0, 100), (IntRect{4, 9, 20, 9}));
}

TEST(ChannelFill, ValueAboveMaximumRunsPastTheEnd) {
    EXPECT_EQ(ChannelFillEnd(96, 150, 100), 153);
    EXPECT_EQ(ChannelFillRect(IntRect{2, 4, 98, 20}, true, 200, 100).right, 201);
}

TEST(ChannelFill, TruncatesTowardZero) {
    EXPECT_EQ(ChannelFillEnd(96, 33, 100), 40);   // 31.68 -> 31
    EXPECT_EQ(ChannelFillEnd(96, -33, 100), -22);  // -31.68 -> -31
    EXPECT_EQ(ChannelFillEnd(96, 33, -100), -22);
}

TEST(ChannelFill, NoOverflow) {
    EXPECT_EQ(ChannelFillEnd(INT_MAX, INT_MAX, INT_MAX), INT_MAX);  // 2^31-1 + 9, clamped
    EXPECT_EQ(ChannelFillEnd(INT_MAX, INT_MAX, 1), INT_MAX);
    EXPECT_EQ(ChannelFillEnd(INT_MIN, INT_MAX, 1), INT_MIN);
    EXPECT_EQ(ChannelFillEnd(INT_MIN, 1, -1), INT_MAX);
    EXPECT_EQ(ChannelFillEnd(100000, 100000, 1000), 10000009);  // product beyond 32 bits
    EXPECT_EQ(ChannelFillEnd(INT_MAX, 1, INT_MAX), 10);
}

TEST(ChannelFill, Orientation) {
    EXPECT_TRUE(IsHorizontalChannel(IntRect{0, 0, 10, 10}));
    EXPECT_TRUE(IsHorizontalChannel(IntRect{0, 0, 100, 4}));
    EXPECT_FALSE(IsHorizontalChannel(IntRect{0, 0, 4, 100}));
    EXPECT_TRUE(IsHorizontalChannel(IntRect{INT_MIN, 0, INT_MAX, 10}));
    EXPECT_EQ(GrowAcross(IntRect{10, 10, 100, 14}, true, 5), (IntRect{10, 5, 100, 19}));
    EXPECT_EQ(GrowAcross(IntRect{10, 10, 14, 100}, false, 1), (IntRect{9, 10, 15, 100}));
    EXPECT_EQ(GrowAcross(IntRect{0, INT_MIN, 10, INT_MAX}, true, 5),
              (IntRect{0, INT_MIN, 10, INT_MAX}));
}

TEST(CustomDraw, StageTable) {
    struct Row {
        std::uint32_t stage;
        std::uintptr_t item;
        CustomDrawAction action;
        long result;
    };
    const Row rows[] = {
        {0x1, 0, CustomDrawAction::None, 0x20},
        {0x1, 2, CustomDrawAction::None, 0x20},
        {0x2, 0, CustomDrawAction::None, 0},
        {0x3, 0, CustomDrawAction::None, 4},
        {0x4, 0, CustomDrawAction::None, 4},
        {0x10001, 1, CustomDrawAction::None, 0},
        {0x10001, 2, CustomDrawAction::DrawThumb, 4},
        {0x10001, 3, CustomDrawAction::DrawBackgroundAndChannel, 4},
        {0x10001, 0, CustomDrawAction::None, 0},
        {0x10001, 4, CustomDrawAction::None, 0},
        {0x10002, 2, CustomDrawAction::None, 0},  // item post-paint
        {0x10003, 3, CustomDrawAction::None, 0},  // item pre-erase
        {0, 0, CustomDrawAction::None, 0},
        {0xFFFFFFFF, 3, CustomDrawAction::None, 0},
    };
    for (const Row& row : rows) {
        CustomDrawAnswer a = AnswerCustomDraw(row.stage, row.item);
        EXPECT_EQ(a.action, row.action) << std::hex << row.stage << " " << row.item;
        EXPECT_EQ(a.result, row.result) << std::hex << row.stage << " " << row.item;
    }
}

TEST(ThumbHover, WidenedAndNarrowed) {
    const IntRect thumb{50, 4, 61, 24};
    EXPECT_EQ(ThumbHoverRect(thumb), (IntRect{48, 6, 63, 22}));
    EXPECT_TRUE(ThumbHoverContains(thumb, 48, 10));
    EXPECT_FALSE(ThumbHoverContains(thumb, 47, 10));
    EXPECT_TRUE(ThumbHoverContains(thumb, 62, 10));
    EXPECT_FALSE(ThumbHoverContains(thumb, 63, 10));
    EXPECT_TRUE(ThumbHoverContains(thumb, 55, 6));
    EXPECT_FALSE(ThumbHoverContains(thumb, 55, 5));
    EXPECT_TRUE(ThumbHoverContains(thumb, 55, 21));
    EXPECT_FALSE(ThumbHoverContains(thumb, 55, 22));
    // A thumb of 4 pixels height or less has no hover area.
    EXPECT_FALSE(ThumbHoverContains(IntRect{0, 0, 10, 4}, 5, 2));
    // Extreme rectangles do not overflow.
    EXPECT_TRUE(ThumbHoverContains(IntRect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, 0, 0));
    EXPECT_FALSE(ThumbHoverContains(IntRect{0, 0, 0, 0}, 0, 0));
}

TEST(Blink, AlternatesStartingWithLightGrey) {
    int phase = 0;
    BlinkStepResult first = BlinkStep(phase);
    EXPECT_EQ(first.color, 0xCCCCCCu);
    EXPECT_EQ(first.nextPhase, 1);
    BlinkStepResult second = BlinkStep(first.nextPhase);
    EXPECT_EQ(second.color, 0xCC6666u);
    EXPECT_EQ(second.nextPhase, 0);
    EXPECT_EQ(BlinkStep(-7).color, 0xCC6666u);  // any set phase
}

TEST(MeterRange, SixteenBitSignedWidening) {
    EXPECT_EQ(SignExtend16(0), 0);
    EXPECT_EQ(SignExtend16(100), 100);
    EXPECT_EQ(SignExtend16(32767), 32767);
    EXPECT_EQ(SignExtend16(32768), -32768);
    EXPECT_EQ(SignExtend16(65535), -1);
    EXPECT_EQ(SignExtend16(65536 + 100), 100);
    EXPECT_EQ(SignExtend16(-1), -1);
    EXPECT_EQ(SignExtend16(INT_MIN), 0);
    EXPECT_EQ(SignExtend16(INT_MAX), -1);
}
