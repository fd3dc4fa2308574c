#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "hotspot/CommandLineCorrection.h"
#include "support/RasterPatterns.h"

namespace {

TColor32 Rgb(int r, int g, int b, int a = 0) {
    return TColor32(a) << 24 | TColor32(r) << 16 | TColor32(g) << 8 | TColor32(b);
}

struct ScaleCase {
    const char* name;
    TColor32 color;
    double factor;
    TColor32 expected;
};

TEST(CommandLineCorrection, ScaleColorRoundsHalfToEvenCapsAndDropsAlpha) {
    const ScaleCase cases[] = {
        {"factor 1 keeps the channels, alpha becomes 0", Rgb(10, 20, 30, 255), 1.0,
         Rgb(10, 20, 30)},
        {"halves go to the even neighbour", Rgb(5, 7, 9), 0.5, Rgb(2, 4, 4)},
        {"above 255 is held at 255", Rgb(200, 100, 10), 2.0, Rgb(255, 200, 20)},
        {"factor 0 gives black", Rgb(200, 100, 10), 0.0, Rgb(0, 0, 0)},
        {"a negative factor gives black", Rgb(200, 100, 10, 255), -0.01, 0},
        {"not a number gives black", Rgb(200, 100, 10), std::numeric_limits<double>::quiet_NaN(),
         0},
        {"+infinity gives 255 where the channel is lit, 0 where it is black", Rgb(200, 0, 10),
         std::numeric_limits<double>::infinity(), Rgb(255, 0, 255)},
    };
    for (const ScaleCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ScaleColorByFactor(c.color, c.factor), c.expected);
    }
}

TEST(CommandLineCorrection, FactorsComeFromTheHotSpotBrightness) {
    TBitmap32 hotSpot = Filled(3, 2, Rgb(0, 0, 0));
    hotSpot.SetPixel(1, 0, Rgb(128, 128, 128, 255));  // S = 384
    hotSpot.SetPixel(2, 1, Rgb(255, 255, 255));       // S = 765
    hotSpot.SetPixel(0, 1, Rgb(1, 0, 0));             // S = 1
    const THotSpotFactorGrid grid(hotSpot);
    ASSERT_EQ(grid.Width(), 3);
    ASSERT_EQ(grid.Height(), 2);
    EXPECT_DOUBLE_EQ(grid.Factor(0, 0), 1.0);
    EXPECT_DOUBLE_EQ(grid.Factor(1, 0), 0.5);
    EXPECT_DOUBLE_EQ(grid.Factor(2, 1), 3.0 / 768.0);
    EXPECT_DOUBLE_EQ(grid.Factor(0, 1), 767.0 / 768.0);
}

TEST(CommandLineCorrection, BlackHotSpotLeavesTheColoursAsTheyWere) {
    const THotSpotFactorGrid grid(Filled(4, 3, Rgb(0, 0, 0, 255)));
    TBitmap32 target;
    target.SetSize(4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            target.SetPixel(x, y, Rgb(x * 60, y * 100, 255 - x, 255));
    ApplyHotSpotFactors(grid, target);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(target.GetPixel(x, y), Rgb(x * 60, y * 100, 255 - x)) << x << "," << y;
}

TEST(CommandLineCorrection, BrightHotSpotDarkensTheTargetAtTheSamePlace) {
    TBitmap32 hotSpot = Filled(2, 2, Rgb(0, 0, 0));
    hotSpot.SetPixel(1, 1, Rgb(128, 128, 128));
    const THotSpotFactorGrid grid(hotSpot);
    TBitmap32 target = Filled(2, 2, Rgb(200, 101, 3, 255));
    ApplyHotSpotFactors(grid, target);
    EXPECT_EQ(target.GetPixel(1, 1), Rgb(100, 50, 2));  // 50.5 -> 50, 1.5 -> 2
    EXPECT_EQ(target.GetPixel(0, 0), Rgb(200, 101, 3));
    EXPECT_EQ(target.GetPixel(1, 0), Rgb(200, 101, 3));
}

TEST(CommandLineCorrection, TargetLargerThanTheHotSpotImageKeepsTheRest) {
    const THotSpotFactorGrid grid(Filled(2, 1, Rgb(255, 255, 255)));
    const TColor32 original = Rgb(90, 90, 90, 255);
    TBitmap32 target = Filled(3, 2, original);
    ApplyHotSpotFactors(grid, target);
    EXPECT_EQ(target.GetPixel(0, 0), Rgb(0, 0, 0));  // 90 * 3/768 = 0.35 -> 0
    EXPECT_EQ(target.GetPixel(1, 0), Rgb(0, 0, 0));
    EXPECT_EQ(target.GetPixel(2, 0), original);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(target.GetPixel(x, 1), original);
}

TEST(CommandLineCorrection, TargetSmallerThanTheHotSpotImageUsesItsCorner) {
    TBitmap32 hotSpot = Filled(6000, 2, Rgb(0, 0, 0));  // wider than any fixed grid would hold
    hotSpot.SetPixel(5999, 1, Rgb(255, 255, 255));
    const THotSpotFactorGrid grid(hotSpot);
    EXPECT_DOUBLE_EQ(grid.Factor(5999, 1), 3.0 / 768.0);
    TBitmap32 target = Filled(1, 1, Rgb(10, 20, 30, 255));
    ApplyHotSpotFactors(grid, target);
    EXPECT_EQ(target.GetPixel(0, 0), Rgb(10, 20, 30));
}

TEST(CommandLineCorrection, EmptyHotSpotImageChangesNothing) {
    const THotSpotFactorGrid grid{TBitmap32()};
    TBitmap32 target = Filled(2, 2, Rgb(1, 2, 3, 255));
    ApplyHotSpotFactors(grid, target);
    EXPECT_EQ(target.GetPixel(1, 1), Rgb(1, 2, 3, 255));
}

}  // namespace
