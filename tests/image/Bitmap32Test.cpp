#include "image/Bitmap32.h"

#include <gtest/gtest.h>

#include <QImage>
#include <climits>
#include <numeric>

#include "base/KelvoError.h"

namespace {

// A raster whose every pixel is distinct, alpha included, so any misplaced pixel shows.
TBitmap32 Numbered(int width, int height) {
    TBitmap32 raster;
    raster.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            raster.SetPixel(x, y, 0x01000000u * TColor32(x + 1) + TColor32(y * width + x) * 7919u);
    return raster;
}

bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    return std::equal(a.Bits(), a.Bits() + a.PixelCount(), b.Bits());
}

}  // namespace

TEST(Bitmap32, SizesBelowOneGiveAnEmptyRaster) {
    const int sizes[][2] = {{0, 5}, {5, 0}, {-3, -3}, {INT_MIN, 7}};
    for (const auto& size : sizes) {
        TBitmap32 raster;
        raster.SetSize(4, 4);
        raster.SetSize(size[0], size[1]);
        EXPECT_TRUE(raster.Empty());
        EXPECT_EQ(raster.Bits(), nullptr);
        EXPECT_EQ(raster.Width() * raster.Height(), 0);
        EXPECT_GE(raster.Width(), 0);
        EXPECT_GE(raster.Height(), 0);
    }
}

TEST(Bitmap32, SameSizeKeepsPixelsOtherSizeZeroesThem) {
    TBitmap32 raster = Numbered(4, 4);
    const TColor32 before = raster.GetPixel(3, 2);
    raster.SetSize(4, 4);
    EXPECT_EQ(raster.GetPixel(3, 2), before);

    raster.SetHeight(8);
    raster.SetWidth(8);
    ASSERT_EQ(raster.Width(), 8);
    ASSERT_EQ(raster.Height(), 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(raster.GetPixel(x, y), 0u);
}

TEST(Bitmap32, CheckedAccessorsStayInside) {
    TBitmap32 raster = Numbered(3, 2);
    raster.OuterColor = 0;
    EXPECT_EQ(raster.GetPixelChecked(-1, 0), 0u);
    EXPECT_EQ(raster.GetPixelChecked(3, 0), 0u);
    EXPECT_EQ(raster.GetPixelChecked(0, 2), 0u);
    raster.OuterColor = 0x12345678;
    EXPECT_EQ(raster.GetPixelChecked(0, -1), 0x12345678u);
    EXPECT_EQ(raster.GetPixelChecked(2, 1), raster.GetPixel(2, 1));

    const TBitmap32 original = Numbered(3, 2);
    raster.SetPixelChecked(raster.Width(), 0, 0xFFFFFFFF);
    raster.SetPixelChecked(-1, 1, 0xFFFFFFFF);
    raster.SetPixelChecked(0, 2, 0xFFFFFFFF);
    EXPECT_TRUE(SamePixels(raster, original));
    raster.SetPixelChecked(1, 1, 0xFFFFFFFF);
    EXPECT_EQ(raster.GetPixel(1, 1), 0xFFFFFFFFu);
}

TEST(Bitmap32, ClearFillsAndLeavesEmptyAlone) {
    TBitmap32 empty;
    int notified = 0;
    empty.OnChange = [&] { ++notified; };
    empty.Clear(0xFF7F7F7F);
    EXPECT_TRUE(empty.Empty());
    EXPECT_EQ(notified, 0);

    TBitmap32 raster = Numbered(5, 3);
    raster.Clear(0xFF7F7F7F);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(raster.GetPixel(x, y), 0xFF7F7F7Fu);
}

TEST(Bitmap32, StoreThatCannotBeHadLeavesRasterEmpty) {
    // 100000 x 100000 is 40 GB; INT_MAX squared overflows any 32-bit product.
    const int sizes[][2] = {
        {100000, 100000}, {INT_MAX, INT_MAX}, {65535, 65535}, {3000000, 2000000}};
    for (const auto& size : sizes) {
        TBitmap32 raster = Numbered(2, 2);
        try {
            raster.SetSize(size[0], size[1]);
            FAIL() << "no error for " << size[0] << " x " << size[1];
        } catch (const KelvoError& error) {
            EXPECT_EQ(error.Message(), QStringLiteral("Can't allocate the DIB handle"));
        }
        EXPECT_EQ(raster.Width(), 0);
        EXPECT_EQ(raster.Height(), 0);
        EXPECT_EQ(raster.Bits(), nullptr);
    }
}

TEST(Bitmap32, AssignCopiesPixelsAndProperties) {
    TBitmap32 source = Numbered(7, 5);
    source.OuterColor = 0xAB;
    source.MasterAlpha = 17;
    source.DrawMode = TDrawMode::dmBlend;
    source.StretchFilter = TStretchFilter::sfLanczos;
    TBitmap32 copy;
    copy.Assign(source);
    EXPECT_TRUE(SamePixels(copy, source));
    EXPECT_NE(copy.Bits(), source.Bits());
    EXPECT_EQ(copy.OuterColor, 0xABu);
    EXPECT_EQ(copy.MasterAlpha, 17);
    EXPECT_EQ(copy.DrawMode, TDrawMode::dmBlend);
    EXPECT_EQ(copy.StretchFilter, TStretchFilter::sfLanczos);

    copy.AssignEmpty();
    EXPECT_TRUE(copy.Empty());
}

TEST(Bitmap32, AssignDrawnPictureBlendsOverBlack) {
    QImage picture(4, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(255, 255, 255, 128));  // half transparent white
    picture.setPixel(1, 0, qRgba(10, 20, 30, 255));     // opaque
    picture.setPixel(2, 0, qRgba(200, 100, 50, 0));     // fully transparent
    picture.setPixel(3, 0, qRgba(255, 0, 0, 51));
    TBitmap32 raster;
    raster.Assign(picture, TPictureKind::Drawn);
    ASSERT_EQ(raster.Width(), 4);
    EXPECT_EQ(raster.GetPixel(0, 0), 0xFF808080u);
    EXPECT_EQ(raster.GetPixel(1, 0), 0xFF0A141Eu);
    EXPECT_EQ(raster.GetPixel(2, 0), 0xFF000000u);
    EXPECT_EQ(raster.GetPixel(3, 0), 0xFF330000u);

    // A true 32-bit bitmap keeps values and alpha.
    raster.Assign(picture, TPictureKind::Bitmap32);
    EXPECT_EQ(raster.GetPixel(0, 0), 0x80FFFFFFu);
    EXPECT_EQ(raster.GetPixel(2, 0), 0x00C86432u);

    raster.Assign(QImage(), TPictureKind::Drawn);
    EXPECT_TRUE(raster.Empty());
}

TEST(Bitmap32, ExportKeepsExactValues) {
    const TBitmap32 raster = Numbered(3, 4);
    const QImage picture = raster.Export();
    ASSERT_EQ(picture.format(), QImage::Format_ARGB32);
    ASSERT_EQ(picture.width(), 3);
    ASSERT_EQ(picture.height(), 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(picture.pixel(x, y), raster.GetPixel(x, y));
}

TEST(Bitmap32, TurnsOfTheSmallCases) {
    TBitmap32 raster;
    raster.SetSize(2, 1);
    raster.SetPixel(0, 0, 0xA);
    raster.SetPixel(1, 0, 0xB);
    raster.TurnClockwise();
    ASSERT_EQ(raster.Width(), 1);
    ASSERT_EQ(raster.Height(), 2);
    EXPECT_EQ(raster.GetPixel(0, 0), 0xAu);
    EXPECT_EQ(raster.GetPixel(0, 1), 0xBu);
    raster.TurnCounterClockwise();
    raster.TurnCounterClockwise();
    EXPECT_EQ(raster.GetPixel(0, 0), 0xBu);
    EXPECT_EQ(raster.GetPixel(0, 1), 0xAu);

    TBitmap32 wide = Numbered(3, 2);
    const TColor32 topLeft = wide.GetPixel(0, 0);
    wide.TurnClockwise();
    ASSERT_EQ(wide.Width(), 2);
    ASSERT_EQ(wide.Height(), 3);
    EXPECT_EQ(wide.GetPixel(1, 0), topLeft);

    TBitmap32 empty;
    empty.TurnClockwise();
    EXPECT_TRUE(empty.Empty());
}

TEST(Bitmap32, TurnsRoundTripBitForBit) {
    // Sizes straddling the tile edge catch off-by-one errors of the blocked kernel.
    const int sizes[][2] = {{1, 1}, {1, 9}, {33, 31}, {64, 65}, {97, 3}};
    for (const auto& size : sizes) {
        const TBitmap32 original = Numbered(size[0], size[1]);
        TBitmap32 raster;
        raster.Assign(original);
        raster.TurnClockwise();
        for (int y = 0; y < raster.Height(); ++y)
            for (int x = 0; x < raster.Width(); ++x)
                ASSERT_EQ(raster.GetPixel(x, y), original.GetPixel(y, size[1] - 1 - x));
        raster.TurnCounterClockwise();
        EXPECT_TRUE(SamePixels(raster, original));
        for (int i = 0; i < 4; ++i)
            raster.TurnClockwise();
        EXPECT_TRUE(SamePixels(raster, original));
        raster.TurnCounterClockwise();
        for (int y = 0; y < raster.Height(); ++y)
            for (int x = 0; x < raster.Width(); ++x)
                ASSERT_EQ(raster.GetPixel(x, y), original.GetPixel(size[0] - 1 - y, x));
    }
}
