#include <gtest/gtest.h>

#include <limits>

#include "tone/PixelFunctions.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TColor32 Argb(int a, int r, int g, int b) {
    return TColor32(a) << 24 | TColor32(r) << 16 | TColor32(g) << 8 | TColor32(b);
}

TEST(TonePixelFunctions, SplitColorIgnoresAlphaAndMakeColorGivesAlphaZero) {
    const TColor32 pixel = Argb(0xFF, 0x12, 0x34, 0x56);
    EXPECT_EQ(SplitColor(pixel), (TRgb{0x12, 0x34, 0x56}));
    EXPECT_EQ(Intensity(pixel), 0x12 + 0x34 + 0x56);
    EXPECT_EQ(MakeColor(0x12, 0x34, 0x56), 0x00123456u);
    EXPECT_EQ(Intensity(Argb(0xFF, 255, 255, 255)), 765);
}

TEST(TonePixelFunctions, MakeColorHoldsChannelsInsteadOfSpilling) {
    struct Case {
        int r, g, b;
        TColor32 expected;
    };
    const Case cases[] = {
        {-1, 0, 0, 0x000000},   // -1 would otherwise borrow from the alpha byte
        {0, -5, 10, 0x00000A},  // and here from red
        {0, 256, 0, 0x00FF00},  // 256 would otherwise carry into red
        {300, 0, 1000, 0xFF00FF},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeColor(c.r, c.g, c.b), c.expected) << c.r << "," << c.g << "," << c.b;
}

TEST(TonePixelFunctions, ScaleColorRoundsHalfToEvenAndHoldsEveryChannel) {
    struct Case {
        const char* name;
        TColor32 color;
        double factor;
        TColor32 expected;
    };
    const Case cases[] = {
        {"factor 1 keeps the channels, alpha becomes 0", Argb(255, 10, 20, 30), 1.0,
         Argb(0, 10, 20, 30)},
        {"exact halves go to the even neighbour", Argb(0, 5, 7, 9), 0.5, Argb(0, 2, 4, 4)},
        {"1.5 and 2.5 both round to 2", Argb(0, 3, 5, 1), 0.5, Argb(0, 2, 2, 0)},
        {"above 255 is held at 255", Argb(0, 100, 150, 200), 2.0, Argb(0, 200, 255, 255)},
        {"factor 0 gives black", Argb(255, 200, 100, 10), 0.0, 0},
        {"a negative factor gives black", Argb(255, 200, 100, 10), -0.01, 0},
        {"not a number gives black", Argb(255, 200, 100, 10), kNaN, 0},
        {"+infinity gives 255, black channels stay 0", Argb(255, 200, 0, 1), kInf,
         Argb(0, 255, 0, 255)},
        {"-infinity gives black", Argb(0, 200, 100, 10), -kInf, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ScaleColor(c.color, c.factor), c.expected);
    }
}

TEST(TonePixelFunctions, ScaleChannelsHoldsEachChannelOnItsOwn) {
    struct Case {
        const char* name;
        TColor32 color;
        double fr, fg, fb;
        TColor32 expected;
    };
    const Case cases[] = {
        {"independent gains", Argb(255, 80, 100, 40), 255.0 / 200, 255.0 / 100, 255.0 / 50,
         Argb(0, 102, 255, 204)},
        {"a negative gain gives 0 in its channel only", Argb(0, 100, 100, 100), -3.0, 1.0, 1.0,
         Argb(0, 0, 100, 100)},
        {"a negative blue gain does not borrow from green", Argb(0, 1, 1, 1), 1.0, 1.0, -1.0,
         Argb(0, 1, 1, 0)},
        {"not a number gives 0", Argb(0, 100, 100, 100), 1.0, kNaN, 1.0, Argb(0, 100, 0, 100)},
        {"+infinity gives 255, times 0 gives 0", Argb(0, 7, 0, 9), kInf, kInf, 0.5,
         Argb(0, 255, 0, 4)},
        {"halves to even per channel", Argb(0, 1, 3, 5), 2.5, 0.5, 0.5, Argb(0, 2, 2, 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ScaleChannels(c.color, c.fr, c.fg, c.fb), c.expected);
    }
}

}  // namespace
