// The display copy: the box reduction and the smooth one (box, then triangle) against plain
// references, a fitted zone plate flat where its detail is finer than the screen, and the
// screen's colours of an embedded profile against LittleCMS's own transform.

#include "view/DisplayCopy.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <random>

#include "support/WideGamutProfile.h"
#include "support/ZonePlate.h"

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

TBitmap32 RandomPicture(int width, int height, unsigned seed) {
    TBitmap32 source;
    source.SetSize(width, height);
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < source.PixelCount(); ++i)
        source.Bits()[i] = random();  // alpha too: it must not leak into the colours
    return source;
}

TEST(BoxReduce, MatchesTheBoxOfEveryOutputPixel) {
    const TBitmap32 source = RandomPicture(1237, 811, 11);
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

// The weights of a triangle of 1.25 output pixels' radius, from output pixel x of count back
// to the pixels of length, straight from the definition: every pixel's distance from the output
// pixel's centre, the weights of the pixels there normalised to 1.
std::vector<double> ReferenceTriangle(int length, int count, int x) {
    const double scale = double(length) / count;
    const double radius = 1.25 * scale;
    const double centre = (x + 0.5) * scale;
    std::vector<double> weights(static_cast<std::size_t>(length));
    double total = 0;
    for (int i = 0; i < length; ++i) {
        weights[std::size_t(i)] = std::max(0.0, 1 - std::abs(i + 0.5 - centre) / radius);
        total += weights[std::size_t(i)];
    }
    for (double& weight : weights)
        weight /= total;
    return weights;
}

// The smooth reduction from its definition, in double precision: the means of boxes of k whole
// pixels per axis from the top-left (k = source / (2 output), at least 1; the last box shorter),
// then the triangle.
QImage ReferenceSmooth(const TBitmap32& source, int w, int h) {
    const int W = source.Width();
    const int H = source.Height();
    const int kx = std::max(1, W / (2 * w));
    const int ky = std::max(1, H / (2 * h));
    const int boxWidth = (W + kx - 1) / kx;
    const int boxHeight = (H + ky - 1) / ky;
    std::vector<double> box(std::size_t(boxWidth) * std::size_t(boxHeight) * 3);
    const auto at = [boxWidth](int x, int y, int c) {
        return (std::size_t(y) * std::size_t(boxWidth) + std::size_t(x)) * 3 + std::size_t(c);
    };
    for (int y = 0; y < boxHeight; ++y)
        for (int x = 0; x < boxWidth; ++x) {
            int area = 0;
            for (int sy = y * ky; sy < std::min(H, (y + 1) * ky); ++sy)
                for (int sx = x * kx; sx < std::min(W, (x + 1) * kx); ++sx) {
                    ++area;
                    for (int c = 0; c < 3; ++c)
                        box[at(x, y, c)] += double((source.GetPixel(sx, sy) >> (8 * c)) & 0xFF);
                }
            for (int c = 0; c < 3; ++c)
                box[at(x, y, c)] /= area;
        }
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        const std::vector<double> wy = ReferenceTriangle(boxHeight, h, y);
        for (int x = 0; x < w; ++x) {
            const std::vector<double> wx = ReferenceTriangle(boxWidth, w, x);
            double sum[3] = {};
            for (int j = 0; j < boxHeight; ++j) {
                if (wy[std::size_t(j)] == 0) continue;
                for (int i = 0; i < boxWidth; ++i)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += wy[std::size_t(j)] * wx[std::size_t(i)] * box[at(i, j, c)];
            }
            QRgb pixel = 0xFF000000u;
            for (int c = 0; c < 3; ++c)
                pixel |= QRgb(std::lround(sum[c])) << (8 * c);
            image.setPixel(x, y, pixel);
        }
    }
    return image;
}

TEST(SmoothReduce, MatchesTheBoxThenTriangleOfEveryOutputPixel) {
    const TBitmap32 source = RandomPicture(613, 409, 5);
    // Ratios above and below 2, integer and not, one axis unreduced, a single pixel.
    const struct {
        int Width, Height;
    } sizes[] = {{131, 87},  {60, 40},   {306, 204}, {400, 300},
                 {612, 409}, {613, 200}, {1, 1},     {2, 409}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size.Width) + "x" + std::to_string(size.Height));
        const QImage reduced = SmoothReduce(source, size.Width, size.Height);
        ASSERT_EQ(reduced.size(), QSize(size.Width, size.Height));
        const QImage reference = ReferenceSmooth(source, size.Width, size.Height);
        int worst = 0;
        int differing = 0;
        for (int y = 0; y < size.Height; ++y)
            for (int x = 0; x < size.Width; ++x) {
                const QRgb got = reduced.pixel(x, y);
                const QRgb want = reference.pixel(x, y);
                ASSERT_EQ(qAlpha(got), 255);
                const int d = std::max({std::abs(qRed(got) - qRed(want)),
                                        std::abs(qGreen(got) - qGreen(want)),
                                        std::abs(qBlue(got) - qBlue(want))});
                worst = std::max(worst, d);
                differing += d != 0;
            }
        EXPECT_LE(worst, 1);
        EXPECT_LE(differing, size.Width * size.Height / 100) << "off by one only on rounding ties";
    }
    EXPECT_TRUE(SmoothReduce(source, 614, 409).isNull());
    EXPECT_TRUE(SmoothReduce(source, 10, 0).isNull());
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

// Fitted to 1280 x 853, the corner and the bands are flat grey when the reduction is right; the
// nearest pixel shows full-contrast phantom rings and bold staircases there, and a box alone lets
// the lines through at a quarter of their contrast.
TEST(SmoothReduce, AZonePlateFittedIsFlatWhereItsDetailIsFinerThanTheScreen) {
    const TBitmap32& plate = ZonePlateWithLines();
    const std::vector<TZonePlateRegion> regions = ZonePlateRegions(QSize(1280, 853));
    const QImage smooth = SmoothReduce(plate, 1280, 853);
    QImage nearest(1280, 853, QImage::Format_RGB32);
    for (int y = 0; y < 853; ++y)
        for (int x = 0; x < 1280; ++x)
            nearest.setPixel(x, y,
                             plate.GetPixel((2 * x + 1) * 6000 / 2560, (2 * y + 1) * 4000 / 1706));
    const QImage box = BoxReduce(plate, 1280, 853);
    for (const TZonePlateRegion& region : regions) {
        SCOPED_TRACE(region.Name);
        EXPECT_LE(StandardDeviation(smooth, region.Area), 5.0);
        EXPECT_NEAR(MeanGrey(smooth, region.Area), region.Mean, 6.0);
        // A check that the region does alias when sampled.
        EXPECT_GT(StandardDeviation(nearest, region.Area), 50.0);
    }
    // The box alone is flat in the corner.
    EXPECT_LE(StandardDeviation(box, regions[0].Area), 5.0);
}

}  // namespace
