#include "hotspot/HotSpotRemoval.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "base/KelvoError.h"
#include "hotspot/HotSpotKernels.h"
#include "support/RasterPatterns.h"
#include "tone/PixelFunctions.h"

namespace {

TColor32 Rgb(int r, int g, int b, int a = 0) {
    return TColor32(a) << 24 | TColor32(r) << 16 | TColor32(g) << 8 | TColor32(b);
}

TBitmap32 Random(int w, int h, std::mt19937& random) {
    TBitmap32 image;
    image.SetSize(w, h);
    for (std::size_t i = 0; i < image.PixelCount(); ++i)
        image.Bits()[i] = TColor32(random());
    return image;
}

// The factor straight from the formula, for one hot-spot pixel.
double PlainFactor(TColor32 hotSpot, double offset, double multiplier) {
    const int s = Intensity(hotSpot);
    return (768.0 - s) * multiplier / 768.0 + offset / 100.0;
}

// The smoothed grid cell by cell, with nothing shared between cells.
double BruteForceFactor(const TBitmap32& hotSpot, double offset, double multiplier, int n, int x,
                        int y) {
    // Only blocks of 2 to 5 smooth; any other choice leaves the factors as they are.
    const bool smoothed = n >= 2 && n <= 5 && x <= hotSpot.Width() - n && y <= hotSpot.Height() - n;
    if (!smoothed) return PlainFactor(hotSpot.GetPixel(x, y), offset, multiplier);
    double sum = 0;
    for (int k = 0; k < n; ++k)
        for (int l = 0; l < n; ++l)
            sum += PlainFactor(hotSpot.GetPixel(x + k, y + l), offset, multiplier);
    return sum / (n * n);
}

}  // namespace

// Each row runs over a strip long enough for the vector loop and its scalar tail.
TEST(HotSpotRemoval, WorkedValues) {
    const struct {
        TColor32 hotSpot;
        double offset, multiplier;
        TColor32 target, expected;
    } cases[] = {
        {Rgb(0, 0, 0), 0, 1, Rgb(10, 20, 30), Rgb(10, 20, 30)},
        {Rgb(128, 128, 128), 0, 1, Rgb(5, 7, 255), Rgb(2, 4, 128)},  // 2.5 -> 2, 3.5 -> 4
        {Rgb(200, 180, 160), 0, 1, Rgb(100, 150, 250), Rgb(30, 45, 74)},
        {Rgb(200, 180, 160), 50, 2, Rgb(100, 150, 250), Rgb(109, 164, 255)},
        {Rgb(255, 255, 255), 0, 1, Rgb(200, 200, 200), Rgb(1, 1, 1)},
        {Rgb(255, 255, 255), -10, 1, Rgb(200, 200, 200), Rgb(0, 0, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.hotSpot << " over " << c.target);
        TBitmap32 hotSpot = Filled(67, 2, c.hotSpot);
        TBitmap32 target = Filled(67, 2, c.target | 0xFF000000u);
        RemoveHotSpots(std::move(hotSpot), {c.offset, c.multiplier, 1, false}, target);
        for (std::size_t i = 0; i < target.PixelCount(); ++i)
            ASSERT_EQ(target.Bits()[i], c.expected) << "pixel " << i;
    }
}

TEST(HotSpotRemoval, OffsetHundredWithMultiplierZeroKeepsEveryColour) {
    std::mt19937 random(5);
    TBitmap32 hotSpot = Random(53, 9, random);
    const TBitmap32 original = Random(53, 9, random);
    TBitmap32 target;
    target.Assign(original);
    RemoveHotSpots(std::move(hotSpot), {100, 0, 3, false}, target);
    for (std::size_t i = 0; i < target.PixelCount(); ++i)
        ASSERT_EQ(target.Bits()[i], original.Bits()[i] & 0x00FFFFFFu) << "pixel " << i;
}

TEST(HotSpotRemoval, BarsHaveNineLevelsAndTheLastIsWider) {
    const struct {
        int width;
        int barWidth;
        int lastBarStart;
    } cases[] = {{90, 10, 80}, {100, 11, 88}, {9, 1, 8}, {17, 1, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        TBitmap32 image = Filled(c.width, 3, Rgb(1, 2, 3, 255));
        MakeBars(image);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < c.width; ++x) {
                const int level = x >= c.lastBarStart ? 255 : 32 * (x / c.barWidth);
                ASSERT_EQ(image.GetPixel(x, y), Rgb(level, level, level)) << x << "," << y;
            }
    }
}

TEST(HotSpotRemoval, BarsOnAnImageNarrowerThanNineChangeNothing) {
    for (int width : {1, 8}) {
        TBitmap32 hotSpot = Filled(width, 4, Rgb(9, 9, 9, 255));
        TBitmap32 target = Filled(width, 4, Rgb(50, 60, 70, 255));
        try {
            RemoveHotSpots(std::move(hotSpot), {0, 1, 1, true}, target);
            ADD_FAILURE() << width << " pixels wide: no error";
        } catch (const KelvoError& error) {
            EXPECT_EQ(error.Message(), QString::fromLatin1(kTooNarrowForBars));
        }
        EXPECT_EQ(hotSpot.GetPixel(width - 1, 3), Rgb(9, 9, 9, 255));
        EXPECT_EQ(target.GetPixel(width - 1, 3), Rgb(50, 60, 70, 255));
    }
}

// Offsets and multipliers that make the factors inexact, so that any other order of summation
// or a running sum shows in the last bits; sizes below, at and above each block size, and wide
// enough for every vector width and its tail.
TEST(HotSpotRemoval, SmoothedFactorsEqualTheBlockMeanToTheLastBit) {
    std::mt19937 random(99);
    const double offset = -3.3, multiplier = 1.37;
    const std::pair<int, int> sizes[] = {{1, 1}, {4, 7}, {5, 5}, {6, 2}, {131, 9}, {70, 6}};
    for (const auto& [w, h] : sizes) {
        const TBitmap32 hotSpot = Random(w, h, random);
        for (int n = 1; n <= 6; ++n) {
            SCOPED_TRACE(testing::Message() << w << "x" << h << ", n = " << n);
            THotSpotMask mask(hotSpot, offset, multiplier);
            mask.SmoothMask(n);
            std::vector<double> row(static_cast<std::size_t>(w));
            for (int y = 0; y < h; ++y) {
                mask.FactorRow(y, row.data());
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(row[x], BruteForceFactor(hotSpot, offset, multiplier, n, x, y))
                        << x << "," << y;
            }
        }
    }
}

TEST(HotSpotRemoval, CorrectionUsesTheSmoothedFactorsAndOnlyInsideTheHotSpotImage) {
    std::mt19937 random(3);
    const double offset = 12.5, multiplier = 0.8;
    const TBitmap32 hotSpot = Random(75, 12, random);
    const std::pair<int, int> targets[] = {{75, 12}, {80, 15}, {40, 7}, {75, 3}};
    for (int n : {1, 2, 5}) {
        for (const auto& [w, h] : targets) {
            SCOPED_TRACE(testing::Message() << "n = " << n << ", target " << w << "x" << h);
            const TBitmap32 original = Random(w, h, random);
            TBitmap32 target;
            target.Assign(original);
            THotSpotMask mask(hotSpot, offset, multiplier);
            mask.SmoothMask(n);
            mask.Apply(target);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const TColor32 before = original.GetPixel(x, y);
                    const TColor32 expected =
                        x < hotSpot.Width() && y < hotSpot.Height()
                            ? ScaleColor(before,
                                         BruteForceFactor(hotSpot, offset, multiplier, n, x, y))
                            : before;
                    ASSERT_EQ(target.GetPixel(x, y), expected) << x << "," << y;
                }
        }
    }
}

// The kernel that smooths several rows at once, against the block mean summed cell by cell, on
// every count around its vector steps and on values whose sums round differently in another
// order.
TEST(HotSpotRemoval, GroupSmoothingMatchesTheBlockMeanToTheLastBit) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(-1.0, 3.0);
    for (int n = 2; n <= 5; ++n)
        for (int count = 0; count <= 70; ++count) {
            SCOPED_TRACE(testing::Message() << "n = " << n << ", count " << count);
            const int rowCount = kSmoothGroupRows + n - 1;
            const std::size_t width = std::size_t(count + n - 1);
            std::vector<std::vector<double>> cells(static_cast<std::size_t>(rowCount),
                                                   std::vector<double>(width));
            for (auto& row : cells)
                for (double& cell : row)
                    cell = random() % 4 ? value(random) / 3.0 : std::ldexp(value(random), 40);
            const double* rows[kSmoothGroupRows + 4];
            for (int j = 0; j < rowCount; ++j)
                rows[j] = cells[std::size_t(j)].data();
            std::vector<std::vector<double>> out(kSmoothGroupRows, std::vector<double>(width, -7));
            double* outs[kSmoothGroupRows];
            for (int r = 0; r < kSmoothGroupRows; ++r)
                outs[r] = out[std::size_t(r)].data();
            SmoothFactorRows(rows, n, count, outs);
            for (int r = 0; r < kSmoothGroupRows; ++r)
                for (int x = 0; x < count; ++x) {
                    double sum = 0;
                    for (int k = 0; k < n; ++k)
                        for (int l = 0; l < n; ++l)
                            sum += cells[std::size_t(r + l)][std::size_t(x + k)];
                    ASSERT_EQ(out[std::size_t(r)][std::size_t(x)], sum / (n * n))
                        << "row " << r << ", x " << x;
                }
        }
}

// Whole runs on random sizes: the hot-spot image's height cut into groups of smoothed rows at
// every remainder, targets smaller and larger than it.
TEST(HotSpotRemoval, RandomRunsMatchTheFormulaPixelForPixel) {
    std::mt19937 random(4242);
    std::uniform_int_distribution<int> size(1, 45);
    std::uniform_real_distribution<double> offset(-20, 60), multiplier(0, 2.5);
    for (int trial = 0; trial < 40; ++trial) {
        const int n = 1 + trial % 5;
        const double off = offset(random), mul = multiplier(random);
        const TBitmap32 hotSpot = Random(size(random), size(random), random);
        const TBitmap32 original = Random(size(random), size(random), random);
        SCOPED_TRACE(testing::Message()
                     << "n = " << n << ", hot spot " << hotSpot.Width() << "x" << hotSpot.Height()
                     << ", target " << original.Width() << "x" << original.Height());
        TBitmap32 target;
        target.Assign(original);
        THotSpotMask mask(hotSpot, off, mul);
        mask.SmoothMask(n);
        mask.Apply(target);
        for (int y = 0; y < target.Height(); ++y)
            for (int x = 0; x < target.Width(); ++x) {
                const TColor32 before = original.GetPixel(x, y);
                const TColor32 expected =
                    x < hotSpot.Width() && y < hotSpot.Height()
                        ? ScaleColor(before, BruteForceFactor(hotSpot, off, mul, n, x, y))
                        : before;
                ASSERT_EQ(target.GetPixel(x, y), expected) << x << "," << y;
            }
    }
}

TEST(HotSpotRemoval, VectorScalingMatchesScaleColorOnEveryKindOfFactor) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double special[] = {0.0,  -0.0, 0.5, 1.0, 1.5,    2.0 / 3, 255.5 / 255, 1e12,
                              -0.5, -inf, inf, nan, 1e-300, 0.998,   1.0 + 1e-15, 254.5};
    std::mt19937 random(21);
    std::uniform_real_distribution<double> ordinary(-0.2, 2.5);
    for (int count = 0; count <= 70; ++count) {
        std::vector<TColor32> row(static_cast<std::size_t>(count));
        std::vector<double> factors(row.size());
        for (int x = 0; x < count; ++x) {
            row[x] = TColor32(random());
            factors[x] = random() % 2 ? special[random() % std::size(special)] : ordinary(random);
        }
        // Every channel value at every exact half: v * 0.5 for odd v.
        if (count == 70)
            for (int x = 0; x < count; ++x) {
                row[x] = Rgb(2 * x + 1, 2 * x + 3, 255 - 2 * x);
                factors[x] = 0.5;
            }
        std::vector<TColor32> scaled = row;
        ScaleRowByFactors(scaled.data(), factors.data(), count);
        for (int x = 0; x < count; ++x)
            ASSERT_EQ(scaled[x], ScaleColor(row[x], factors[x]))
                << "count " << count << ", x " << x << ", factor " << factors[x] << ", pixel "
                << std::hex << row[x];
    }
}

TEST(HotSpotRemoval, OffsetAndMultiplierTexts) {
    const struct {
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {"0", 0.0},
        {"1", 1.0},
        {"-10", -10.0},
        {"2.5", 2.5},
        {"", std::nullopt},
        {"  ", std::nullopt},
        {"abc", std::nullopt},
        {"1x", std::nullopt},
        {"1e5", std::nullopt},
        {"1.2.3", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HotSpotNumber(QString::fromLatin1(c.text)), c.value) << '"' << c.text << '"';
}
