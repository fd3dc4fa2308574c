#include "image/QuarterTurns.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/RasterPatterns.h"

TEST(FlipMirror, MoveWholePixelsAndReverse) {
    TBitmap32 source;
    FillPattern(source, 5, 3);
    TBitmap32 flipped, mirrored, back;
    FlipVertical(source, flipped);
    MirrorHorizontal(source, mirrored);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(flipped.GetPixel(x, y), source.GetPixel(x, 2 - y));
            EXPECT_EQ(mirrored.GetPixel(x, y), source.GetPixel(4 - x, y));
        }
    FlipVertical(flipped, back);
    EXPECT_TRUE(std::equal(back.Bits(), back.Bits() + back.PixelCount(), source.Bits()));
    MirrorHorizontal(mirrored, back);
    EXPECT_TRUE(std::equal(back.Bits(), back.Bits() + back.PixelCount(), source.Bits()));

    TBitmap32 empty, target;
    FillPattern(target, 2, 2);
    FlipVertical(empty, target);
    EXPECT_TRUE(target.Empty());
}
