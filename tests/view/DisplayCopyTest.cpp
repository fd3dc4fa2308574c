// The display copy: the box reduction against a plain reference, and the screen's colours of an
// embedded profile against LittleCMS's own transform.

#include "view/DisplayCopy.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <random>

#include "support/WideGamutProfile.h"

namespace {

// Output pixel (x, y) of a reduction from W x H to w x h, straight from its definition.
TColor32 ReferenceBox(const TBitmap32& source, int w, int h, int x, int y) {
    const int W = source.Width();
    const int H = source.Height();
    const int x0 = int(std::int64_t(x) * W / w), x1 = int(std::int64_t(x + 1) * W / w);
    const int y0 = int(std::int64_t(y) * H / h), y1 = int(std::int64_t(y + 1) * H / h);
    std::uint64_t sum[3] = {};
    for (int sy = y0; sy < y1; ++sy)
        for (int sx = x0; sx < x1; ++sx)
            for (int c = 0; c < 3; ++c)
                sum[c] += (source.GetPixel(sx, sy) >> (8 * c)) & 0xFF;
    const std::uint64_t area = std::uint64_t(x1 - x0) * std::uint64_t(y1 - y0);
    TColor32 pixel = 0xFF000000u;
    for (int c = 0; c < 3; ++c)
        pixel |= TColor32((sum[c] + area / 2) / area) << (8 * c);
    return pixel;
}

TEST(BoxReduce, MatchesTheBoxOfEveryOutputPixel) {
    TBitmap32 source;
    source.SetSize(1237, 811);
    std::mt19937 random(11);
    for (std::size_t i = 0; i < source.PixelCount(); ++i)
        source.Bits()[i] = random();  // alpha too: it must not leak into the colours
    const struct {
        int Width, Height;
    } sizes[] = {{1237, 811}, {1236, 810}, {619, 406}, {300, 197}, {97, 811}, {1, 1}, {1237, 3}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size.Width) + "x" + std::to_string(size.Height));
        const QImage reduced = BoxReduce(source, size.Width, size.Height);
        ASSERT_EQ(reduced.size(), QSize(size.Width, size.Height));
        int wrong = 0;
        for (int y = 0; y < size.Height; ++y)
            for (int x = 0; x < size.Width; ++x)
                if (reduced.pixel(x, y) != ReferenceBox(source, size.Width, size.Height, x, y))
                    ++wrong;
        EXPECT_EQ(wrong, 0);
    }
    // An enlargement or an empty size is no reduction.
    EXPECT_TRUE(BoxReduce(source, 1238, 811).isNull());
    EXPECT_TRUE(BoxReduce(source, 0, 10).isNull());
}

TEST(BoxReduce, BoxesTooLargeForThirtyTwoBitSums) {
    // 4200 x 4100 white pixels in one box: 4.4e9 per channel, past 32 bits.
    TBitmap32 source;
    source.SetSize(4200, 4100);
    source.Clear(0xFFFFFFFFu);
    source.SetPixel(0, 0, 0xFF000000u);
    const QImage one = BoxReduce(source, 1, 1);
    EXPECT_EQ(one.pixel(0, 0), 0xFFFFFFFFu);
    const QImage two = BoxReduce(source, 2, 1);
    EXPECT_EQ(two.pixel(1, 0), 0xFFFFFFFFu);
}

TEST(DisplayColor, ConvertsAsLittleCmsDoesAndKeepsAlpha) {
    const QByteArray wide = WideGamutProfile();
    const auto color = TDisplayColor::ForProfile(wide);
    ASSERT_TRUE(color);
    EXPECT_EQ(TDisplayColor::ForProfile(wide), color) << "one transform per profile";

    cmsHPROFILE in = cmsOpenProfileFromMem(wide.constData(), cmsUInt32Number(wide.size()));
    cmsHPROFILE out = cmsCreate_sRGBProfile();
    cmsHTRANSFORM reference =
        cmsCreateTransform(in, TYPE_RGB_8, out, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    ASSERT_TRUE(reference);
    std::mt19937 random(3);
    std::vector<TColor32> pixels(5000);
    for (TColor32& pixel : pixels)
        pixel = random();
    pixels[0] = 0x1200FF00u;  // pure green: the wide gamut's differs most from sRGB's
    std::vector<TColor32> converted = pixels;
    color->Convert(converted.data(), converted.size());
    int differing = 0;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const unsigned char rgb[3] = {static_cast<unsigned char>(pixels[i] >> 16),
                                      static_cast<unsigned char>(pixels[i] >> 8),
                                      static_cast<unsigned char>(pixels[i])};
        unsigned char expected[3] = {};
        cmsDoTransform(reference, rgb, expected, 1);
        const TColor32 got = converted[i];
        EXPECT_EQ(got >> 24, pixels[i] >> 24) << "alpha is kept";
        const int channels[3] = {int(got >> 16 & 0xFF), int(got >> 8 & 0xFF), int(got & 0xFF)};
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(channels[c], expected[c], 1) << "pixel " << i;
        if ((got & 0xFFFFFF) != (pixels[i] & 0xFFFFFF)) ++differing;
    }
    EXPECT_GT(differing, 4000) << "the conversion changes colours";
    cmsDeleteTransform(reference);
    cmsCloseProfile(in);
    cmsCloseProfile(out);

    // Nothing to convert: no profile, sRGB already, or bytes that are no profile.
    EXPECT_FALSE(TDisplayColor::ForProfile({}));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(srgb, nullptr, &size);
    QByteArray srgbBytes(qsizetype(size), '\0');
    cmsSaveProfileToMem(srgb, srgbBytes.data(), &size);
    cmsCloseProfile(srgb);
    EXPECT_FALSE(TDisplayColor::ForProfile(srgbBytes));
    EXPECT_FALSE(TDisplayColor::ForProfile(QByteArray(600, 'x')));
}

}  // namespace

namespace {

double StandardDeviation(const QImage& image, const QRect& area) {
    double sum = 0;
    double squares = 0;
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const double v = qGray(image.pixel(x, y));
            sum += v;
            squares += v * v;
            ++count;
        }
    const double mean = sum / count;
    return std::sqrt(std::max(0.0, squares / count - mean * mean));
}

// A 6000 x 4000 zone plate fitted to 1280 x 853: in its outer corner the rings are finer than
// the screen's pixels, which a nearest-pixel reduction shows as full-contrast phantom rings and
// a correct reduction as flat grey.
TEST(BoxReduce, AZonePlateFittedIsFlatWhereItsDetailIsFinerThanTheScreen) {
    TBitmap32 plate;
    plate.SetSize(6000, 4000);
    // Phase k r^2: the local frequency reaches half a cycle per pixel at the far corner.
    const double k = 3.14159265358979 * 0.5 / std::hypot(6000.0, 4000.0);
    for (int y = 0; y < 4000; ++y) {
        TColor32* row = plate.ScanLine(y);
        for (int x = 0; x < 6000; ++x) {
            const int v = int(127.5 + 127.5 * std::cos(k * (double(x) * x + double(y) * y)));
            row[x] = 0xFF000000u | TColor32(v) * 0x010101u;
        }
    }
    const QImage reduced = BoxReduce(plate, 1280, 853);
    const QRect corner(1180, 753, 100, 100);
    EXPECT_LE(StandardDeviation(reduced, corner), 5.0);
    // The same corner sampled at the nearest pixel, as a check that the region does alias.
    QImage nearest(1280, 853, QImage::Format_RGB32);
    for (int y = 0; y < 853; ++y)
        for (int x = 0; x < 1280; ++x)
            nearest.setPixel(x, y, plate.GetPixel((2 * x + 1) * 6000 / 2560, (2 * y + 1) * 4000 / 1706));
    EXPECT_GT(StandardDeviation(nearest, corner), 50.0);
}

}  // namespace
