#include "transform/Resample.h"

#include <gtest/gtest.h>

#include "base/KelvoError.h"

namespace {

TColor32 Rgb(int r, int g, int b) {
    return TColor32(r * 65536 + g * 256 + b);
}

TBitmap32 Patterned(int width, int height) {
    TBitmap32 raster;
    raster.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            raster.SetPixel(x, y,
                            0xFF000000u | Rgb((x * 37 + y) & 255, (y * 53) & 255, (x ^ y) & 255));
    return raster;
}

}  // namespace

TEST(Resample, HalfAveragesBlocksDroppingTheFraction) {
    TBitmap32 source;
    source.SetSize(2, 2);
    source.SetPixel(0, 0, 0xFF000000u | Rgb(10, 20, 30));
    source.SetPixel(1, 0, Rgb(11, 21, 31));
    source.SetPixel(0, 1, Rgb(12, 22, 32));
    source.SetPixel(1, 1, 0x7F000000u | Rgb(13, 23, 34));
    TBitmap32 target;
    ReduceImage(source, 2, target);
    ASSERT_EQ(target.Width(), 1);
    ASSERT_EQ(target.Height(), 1);
    EXPECT_EQ(target.GetPixel(0, 0), Rgb(11, 21, 31));  // alpha 0
}

TEST(Resample, ReducedSizesDropTheRaggedEdge) {
    const struct {
        int width, height, n, reducedWidth, reducedHeight;
    } cases[] = {{5, 3, 2, 2, 1}, {3, 3, 4, 0, 0}, {9, 8, 4, 2, 2}, {1, 1, 2, 0, 0}};
    for (const auto& c : cases) {
        TBitmap32 target;
        ReduceImage(Patterned(c.width, c.height), c.n, target);
        EXPECT_EQ(target.Width(), c.reducedWidth);
        EXPECT_EQ(target.Height(), c.reducedHeight);
    }
}

TEST(Resample, QuarterOfWhiteBlockStaysWhite) {
    // The largest sums show a lane overflow between red and blue at once.
    TBitmap32 source;
    source.SetSize(4, 4);
    source.Clear(0xFFFFFFFF);
    TBitmap32 target;
    ReduceImage(source, 4, target);
    EXPECT_EQ(target.GetPixel(0, 0), 0x00FFFFFFu);
}

TEST(Resample, QuarterMatchesPlainAverage) {
    const TBitmap32 source = Patterned(17, 13);
    TBitmap32 target;
    ReduceImage(source, 4, target);
    for (int r = 0; r < target.Height(); ++r)
        for (int c = 0; c < target.Width(); ++c) {
            int sums[3] = {0, 0, 0};
            for (int y = 4 * r; y < 4 * r + 4; ++y)
                for (int x = 4 * c; x < 4 * c + 4; ++x) {
                    const TColor32 p = source.GetPixel(x, y);
                    sums[0] += (p >> 16) & 255;
                    sums[1] += (p >> 8) & 255;
                    sums[2] += p & 255;
                }
            ASSERT_EQ(target.GetPixel(c, r), Rgb(sums[0] / 16, sums[1] / 16, sums[2] / 16));
        }
}

TEST(Resample, DoubleThenHalfGivesColoursBackWithAlphaZero) {
    const TBitmap32 source = Patterned(7, 5);
    TBitmap32 doubled;
    DoubleImage(source, doubled);
    ASSERT_EQ(doubled.Width(), 14);
    ASSERT_EQ(doubled.Height(), 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 14; ++x)
            ASSERT_EQ(doubled.GetPixel(x, y), source.GetPixel(x / 2, y / 2));
    TBitmap32 back;
    ReduceImage(doubled, 2, back);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(back.GetPixel(x, y), source.GetPixel(x, y) & 0x00FFFFFFu);
}

TEST(Resample, DoubleTooLargeLeavesTargetEmpty) {
    TBitmap32 source;
    source.SetSize(20000, 14000);  // doubled, 1.1 gigapixels: more than any store we grant
    TBitmap32 target = Patterned(2, 2);
    EXPECT_THROW(DoubleImage(source, target), KelvoError);
    EXPECT_TRUE(target.Empty());
}
