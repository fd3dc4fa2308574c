#include "transform/AffineTransform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "image/QuarterTurns.h"

namespace {

// Every pixel distinct and never the fill: the low 24 bits number the pixel, the alpha is a
// translucent 0x40 so that copying must carry it over unchanged.
TBitmap32 Numbered(int width, int height) {
    TBitmap32 image;
    image.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.SetPixel(x, y, 0x40000000u | TColor32(y * width + x));
    return image;
}

bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() &&
           std::equal(a.Bits(), a.Bits() + a.PixelCount(), b.Bits());
}

// The per-pixel formula with nothing hoisted: two 64-bit products per coordinate, the bounds
// tested on every pixel.
void ReferenceTransform(TBitmap32& destination, const TBitmap32& source,
                        TAffineTransformation& map) {
    const TFixedInverse k = map.FixedInverse();
    const TPixelRect area = map.DestinationArea(destination.Width(), destination.Height());
    for (std::int64_t y = area.Top; y <= area.Bottom; ++y)
        for (std::int64_t x = area.Left; x <= area.Right; ++x) {
            const std::int64_t u = (k.U1 * x + k.U2 * y + k.U3 + 2047) >> 12;
            const std::int64_t v = (k.V1 * x + k.V2 * y + k.V3 + 2047) >> 12;
            if (u >= 0 && u < source.Width() && v >= 0 && v < source.Height())
                destination.SetPixel(int(x), int(y), source.GetPixel(int(u), int(v)));
        }
}

TBitmap32 ReferenceRotation(const TBitmap32& source, double degrees) {
    TBitmap32 target;
    target.SetSize(source.Width(), source.Height());
    target.Clear(kRotationFill);
    TAffineTransformation map = CentredRotation(source.Width(), source.Height(), degrees);
    ReferenceTransform(target, source, map);
    return target;
}

TBitmap32 Rotated(const TBitmap32& source, double degrees) {
    TBitmap32 target;
    RotateImage(source, degrees, target);
    return target;
}

}  // namespace

TEST(AffineTransform, StepsApplyInTheOrderAppended) {
    const struct {
        const char* name;
        void (*build)(TAffineTransformation&);
        float x, y, expectedX, expectedY;
    } cases[] = {
        {"translate, then turn about the origin",
         [](TAffineTransformation& m) {
             m.Translate(1, 0);
             m.Rotate(0, 0, 90);
         },
         0, 0, 0, -1},
        {"turn, then translate",
         [](TAffineTransformation& m) {
             m.Rotate(0, 0, 90);
             m.Translate(1, 0);
         },
         0, 0, 1, 0},
        {"a turn about a centre keeps the centre",
         [](TAffineTransformation& m) { m.Rotate(5, 3, 30); }, 5, 3, 5, 3},
        {"a turn about a centre", [](TAffineTransformation& m) { m.Rotate(5, 3, 90); }, 6, 3, 5, 2},
        {"Clear forgets the steps before it",
         [](TAffineTransformation& m) {
             m.Translate(7, 7);
             m.Clear();
             m.Translate(0, 2);
         },
         1, 1, 1, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TAffineTransformation map;
        c.build(map);
        const TFloatPoint p = map.Map(c.x, c.y);
        EXPECT_NEAR(p.X, c.expectedX, 1e-5);
        EXPECT_NEAR(p.Y, c.expectedY, 1e-5);
    }
}

TEST(AffineTransform, FixedInverseFollowsTheMatrix) {
    // Translations only: the inverse is exact, so the coefficients are plain multiples of 4096.
    TAffineTransformation map;
    map.Translate(2.5f, -3);
    TFixedInverse k = map.FixedInverse();
    EXPECT_EQ(k.U1, 4096);
    EXPECT_EQ(k.U2, 0);
    EXPECT_EQ(k.U3, -10240);
    EXPECT_EQ(k.V1, 0);
    EXPECT_EQ(k.V2, 4096);
    EXPECT_EQ(k.V3, 12288);
    // A further step must not leave the old inverse in use.
    map.Rotate(0, 0, 180);
    k = map.FixedInverse();
    EXPECT_EQ(k.U1, -4096);
    EXPECT_EQ(k.V2, -4096);
    EXPECT_EQ(k.U3, -10240);
    EXPECT_EQ(k.V3, 12288);
}

TEST(AffineTransform, ZeroDegreesGivesBackTheSourceExactly) {
    for (const auto& [w, h] : {std::pair{1, 1}, {7, 5}, {64, 3}, {2, 9}}) {
        const TBitmap32 source = Numbered(w, h);
        EXPECT_TRUE(SamePixels(Rotated(source, 0), source)) << w << "x" << h;
    }
}

TEST(AffineTransform, HalfTurnEqualsFlipAndMirrorWithoutGrey) {
    for (const auto& [w, h] : {std::pair{1, 1}, {6, 4}, {7, 5}, {8, 3}, {1, 9}}) {
        const TBitmap32 source = Numbered(w, h);
        TBitmap32 flipped, expected;
        FlipVertical(source, flipped);
        MirrorHorizontal(flipped, expected);
        EXPECT_TRUE(SamePixels(Rotated(source, 180), expected)) << w << "x" << h;
        EXPECT_TRUE(SamePixels(Rotated(source, -180), expected)) << w << "x" << h;
    }
}

// Wide enough that x times the fixed-point step leaves the 32-bit range.
TEST(AffineTransform, WideImagesNeedSixtyFourBitSums) {
    const TBitmap32 source = Numbered(600000, 2);
    EXPECT_TRUE(SamePixels(Rotated(source, 0), source));
    TBitmap32 flipped, expected;
    FlipVertical(source, flipped);
    MirrorHorizontal(flipped, expected);
    EXPECT_TRUE(SamePixels(Rotated(source, 180), expected));
}

TEST(AffineTransform, QuarterTurnOnALandscapeImageTurnsCounterClockwiseBetweenGreyBars) {
    // With W - H even the centre lands on whole pixels; with it odd every inverse position is
    // an exact half, which rounds down.
    const struct {
        int width, height;
        int firstColumn, lastColumn;  // the columns the picture covers; the rest is grey
        int sourceX0;                 // source column shown in the top row
    } cases[] = {{8, 4, 2, 5, 5}, {10, 6, 2, 7, 7}, {7, 4, 2, 5, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        const TBitmap32 source = Numbered(c.width, c.height);
        const TBitmap32 result = Rotated(source, 90);
        ASSERT_EQ(result.Width(), c.width);
        ASSERT_EQ(result.Height(), c.height);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                // Counter-clockwise: the source's top row runs up the picture's left column.
                const TColor32 expected = x < c.firstColumn || x > c.lastColumn
                                              ? kRotationFill
                                              : source.GetPixel(c.sourceX0 - y, x - c.firstColumn);
                EXPECT_EQ(result.GetPixel(x, y), expected) << x << "," << y;
            }
    }
}

TEST(AffineTransform, FortyFiveDegreesLeavesTheCornersGreyAndTheCentreInPlace) {
    for (const auto& [w, h] : {std::pair{51, 51}, {81, 61}}) {
        const TBitmap32 source = Numbered(w, h);
        for (double degrees : {45.0, -45.0}) {
            const TBitmap32 result = Rotated(source, degrees);
            for (const auto& [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}})
                EXPECT_EQ(result.GetPixel(x, y), kRotationFill)
                    << degrees << " at " << x << "," << y;
            EXPECT_EQ(result.GetPixel(w / 2, h / 2), source.GetPixel(w / 2, h / 2));
        }
    }
}

// Each drawn pixel must be the source pixel nearest to where the exact turn (in double) takes
// the destination pixel back to, and each grey pixel must have come from outside the source.
// This catches a wrong sign, a wrong centre or a box that cuts off drawn pixels, at any angle.
TEST(AffineTransform, EveryPixelComesFromWhereTheExactTurnPutsIt) {
    const int w = 37, h = 23;
    const TBitmap32 source = Numbered(w, h);
    const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0;
    const double slack = 0.5 + 0.02;  // the nearest pixel, plus the 1/4096 steps over 37 pixels
    for (int degrees = -180; degrees <= 180; degrees += 7) {
        const TBitmap32 result = Rotated(source, degrees);
        ASSERT_EQ(result.Width(), w);
        ASSERT_EQ(result.Height(), h);
        const double t = degrees * std::numbers::pi / 180;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                // Inverse of x' - cx = cos t (x - cx) + sin t (y - cy), y' - cy = -sin t (x -
                // cx) + cos t (y - cy).
                const double u = cx + std::cos(t) * (x - cx) - std::sin(t) * (y - cy);
                const double v = cy + std::sin(t) * (x - cx) + std::cos(t) * (y - cy);
                const TColor32 pixel = result.GetPixel(x, y);
                if (pixel == kRotationFill) {
                    // A source pixel covers positions up to half a pixel around it.
                    const bool clearlyInside =
                        u > -0.48 && u < w - 0.52 && v > -0.48 && v < h - 0.52;
                    EXPECT_FALSE(clearlyInside) << degrees << " at " << x << "," << y;
                    continue;
                }
                ASSERT_EQ(pixel >> 24, 0x40u) << "alpha copied from the source";
                const int index = int(pixel & 0xFFFFFF);
                EXPECT_LE(std::abs(index % w - u), slack) << degrees << " at " << x << "," << y;
                EXPECT_LE(std::abs(index / w - v), slack) << degrees << " at " << x << "," << y;
            }
    }
}

TEST(AffineTransform, FillIsOpaqueGreyAndCopiedPixelsKeepTheirAlpha) {
    TBitmap32 source;
    source.SetSize(9, 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x)
            source.SetPixel(x, y, TColor32((x + y) % 3 == 0 ? 0x00 : 0xC0) << 24 | 0x123456);
    const TBitmap32 result = Rotated(source, 30);
    int grey = 0, copied = 0;
    for (std::size_t i = 0; i < result.PixelCount(); ++i) {
        const TColor32 pixel = result.Bits()[i];
        if (pixel == 0xFF7F7F7Fu) {
            ++grey;
        } else {
            EXPECT_TRUE(pixel == 0x00123456u || pixel == 0xC0123456u) << std::hex << pixel;
            ++copied;
        }
    }
    EXPECT_GT(grey, 0);
    EXPECT_GT(copied, 0);
}

// The row walk against the per-pixel formula, on random sizes and angles, both for the fused
// rendering and for Transform drawing over a picture it must otherwise leave alone.
TEST(AffineTransform, RowWalkMatchesThePerPixelFormula) {
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> size(1, 300);
    std::uniform_real_distribution<double> angle(-180, 180);
    for (int trial = 0; trial < 60; ++trial) {
        const int w = trial == 0 ? 1 : size(random);
        const int h = trial == 1 ? 1 : size(random);
        const double degrees = trial % 3 == 0 ? std::round(angle(random)) : angle(random);
        SCOPED_TRACE(testing::Message() << w << "x" << h << " at " << degrees);
        const TBitmap32 source = Numbered(w, h);
        EXPECT_TRUE(SamePixels(Rotated(source, degrees), ReferenceRotation(source, degrees)));

        // Different sizes on both sides, over a background that must survive.
        const int dw = size(random), dh = size(random);
        TBitmap32 fast, slow;
        fast.SetSize(dw, dh);
        fast.Clear(0x11223344);
        slow.Assign(fast);
        TAffineTransformation map = CentredRotation(w, h, degrees);
        map.Translate(float(size(random) - 150), float(size(random) - 150));
        Transform(fast, source, map);
        ReferenceTransform(slow, source, map);
        EXPECT_TRUE(SamePixels(fast, slow)) << "onto " << dw << "x" << dh;
    }
}

// Rasters spanning several of the tiles the rendering walks in, with spans that start and end
// at every offset within a vector of pixels, and prefetches running off the source's edges.
TEST(AffineTransform, TiledWalkMatchesThePerPixelFormulaOnLargerRasters) {
    const struct {
        int width, height;
        double degrees;
    } cases[] = {{700, 260, 45.5}, {300, 700, -90},  {1000, 3, 1},    {3, 1000, 89},
                 {517, 389, 15},   {389, 517, -135}, {640, 480, 180}, {257, 129, 0.5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.degrees);
        const TBitmap32 source = Numbered(c.width, c.height);
        EXPECT_TRUE(SamePixels(Rotated(source, c.degrees), ReferenceRotation(source, c.degrees)));
    }
}

TEST(AffineTransform, EmptySourceGivesAnEmptyTarget) {
    TBitmap32 target;
    target.SetSize(3, 3);
    RotateImage(TBitmap32(), 15, target);
    EXPECT_TRUE(target.Empty());
}
