#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "tone/PixelFunctions.h"
#include "tone/ToneKernels.h"
#include "tone/ToneTestSupport.h"

namespace {

using namespace tonetest;

// 1000 pixels: whole vector blocks plus a remainder handled one by one.
constexpr int kWidth = 40;
constexpr int kHeight = 25;

TEST(ToneKernels, ChannelTablesGiveTheSamePixelsInEveryForm) {
    std::uint8_t red[256], green[256], blue[256];
    for (int v = 0; v < 256; ++v) {
        red[v] = std::uint8_t(255 - v);
        green[v] = std::uint8_t(v * 7);
        blue[v] = std::uint8_t(v ^ 0x5A);
    }
    const TBitmap32 source = Noise(kWidth, kHeight, 31);
    std::vector<TColor32> expected = Pixels(source);
    for (TColor32& pixel : expected) {
        const TRgb c = SplitColor(pixel);
        pixel = MakeColor(red[c.R], green[c.G], blue[c.B]);
    }
    // In place, and from one buffer into another.
    std::vector<TColor32> portable = Pixels(source);
    tonekernels::ApplyChannelTablesPortable(portable.data(), portable.data(), portable.size(), red,
                                            green, blue);
    EXPECT_EQ(portable, expected);
    if (!tonekernels::HasVectorKernels()) GTEST_SKIP() << "no AVX-512 here";
    std::vector<TColor32> vector = Pixels(source);
    tonekernels::ApplyChannelTablesVector(vector.data(), vector.data(), vector.size(), red, green,
                                          blue);
    EXPECT_EQ(vector, expected);
    std::vector<TColor32> copied(source.PixelCount(), 0xDEADBEEF);
    tonekernels::ApplyChannelTablesVector(source.Bits(), copied.data(), copied.size(), red, green,
                                          blue);
    EXPECT_EQ(copied, expected);
}

TEST(ToneKernels, IntensityFactorsGiveScaleColorsPixelsInEveryForm) {
    // Negative, zero, fractional (with exact halves) and large factors.
    double factors[766];
    for (int s = 0; s < 766; ++s)
        factors[s] = s % 5 == 0 ? (s % 3) * 0.5 : double((s * 37) % 1700 - 300) / (s + 1);
    const TBitmap32 source = Noise(kWidth, kHeight, 33);
    std::vector<TColor32> expected = Pixels(source);
    for (TColor32& pixel : expected)
        pixel = ScaleColor(pixel, factors[Intensity(pixel)]);
    std::vector<TColor32> portable = Pixels(source);
    tonekernels::ApplyIntensityFactorsPortable(portable.data(), portable.size(), factors);
    EXPECT_EQ(portable, expected);
    if (!tonekernels::HasVectorKernels()) GTEST_SKIP() << "no AVX-512 here";
    std::vector<TColor32> vector = Pixels(source);
    tonekernels::ApplyIntensityFactorsVector(vector.data(), vector.size(), factors);
    EXPECT_EQ(vector, expected);
}

// Every pair of intensity and channel value that a pixel can hold, the value in red.
TBitmap32 EveryIntensityAndChannel() {
    std::vector<TColor32> pixels;
    for (int s = 0; s <= 765; ++s)
        for (int v = 0; v <= std::min(s, 255); ++v)
            if (s - v <= 510) {
                const int g = std::min(255, s - v);
                pixels.push_back(MakeColor(v, g, s - v - g));
            }
    TBitmap32 image;
    image.SetSize(int(pixels.size()), 1);
    std::copy(pixels.begin(), pixels.end(), image.Bits());
    return image;
}

TEST(ToneKernels, VectorTransferIsExactForEveryPixelUnderManyTables) {
    if (!tonekernels::HasVectorKernels()) GTEST_SKIP() << "no AVX-512 here";
    const TBitmap32 source = EveryIntensityAndChannel();
    std::vector<std::vector<int>> tables;
    for (int position = -100; position <= 100; position += 7)
        for (int median : {0, 97, 384, 600, 768}) {
            std::vector<int> table(769);
            double q = median;
            for (int s = median; s >= 0; --s, q -= position / 100.0 + 1.0)
                table[s] = int(std::rint(q));
            q = median;
            for (int s = median; s < 769; ++s, q += position / 100.0 + 1.0)
                table[s] = int(std::rint(q));
            tables.push_back(table);
        }
    std::mt19937 random(3);
    for (int t = 0; t < 20; ++t) {
        std::vector<int> table(769);
        for (int& entry : table)
            entry = int(random() % 2000) - 200;
        tables.push_back(table);
    }
    for (std::size_t t = 0; t < tables.size(); ++t) {
        double factors[766];
        for (int s = 0; s < 766; ++s)
            factors[s] = (tables[t][s] + 1.0) / (s + 1.0);
        std::vector<TColor32> vector = Pixels(source);
        tonekernels::ApplyIntensityFactorsVector(vector.data(), vector.size(), factors);
        for (std::size_t i = 0; i < vector.size(); ++i) {
            const TColor32 pixel = source.Bits()[i];
            ASSERT_EQ(vector[i], ScaleColor(pixel, factors[Intensity(pixel)]))
                << "table " << t << ", intensity " << Intensity(pixel) << ", red "
                << SplitColor(pixel).R;
        }
    }
}

// The whole-raster forms: large enough to be shared out over the cores, read from a kept source
// into another raster, with the result's histogram counted in the same pass.
TEST(ToneKernels, WholeRasterTransferFromASourceCountsItsResult) {
    double factors[766];
    for (int s = 0; s < 766; ++s)
        factors[s] = (std::rint((s - 300) * 1.37 + 300) + 1.0) / (s + 1.0);
    const TBitmap32 source = Noise(1031, 613, 37);  // not a whole number of blocks
    const std::vector<TColor32> before = Pixels(source);
    std::vector<TColor32> target(before.size(), 0xDEADBEEF);
    std::vector<std::int32_t> counts(766, 5);  // counts are added to what is there
    tonekernels::ApplyIntensityFactors(source.Bits(), target.data(), target.size(), factors,
                                       counts.data());
    std::vector<std::int32_t> expectedCounts(766, 5);
    for (std::size_t i = 0; i < before.size(); ++i) {
        const TColor32 expected = ScaleColor(before[i], factors[Intensity(before[i])]);
        ASSERT_EQ(target[i], expected) << "pixel " << i;
        ++expectedCounts[Intensity(expected)];
    }
    EXPECT_EQ(counts, expectedCounts);
    EXPECT_EQ(Pixels(source), before);

    std::uint8_t table[256];
    for (int v = 0; v < 256; ++v)
        table[v] = std::uint8_t(std::min(255, v * 3 / 2));
    std::vector<std::int32_t> tableCounts(766, 0);
    tonekernels::ApplyChannelTables(source.Bits(), target.data(), target.size(), table, table,
                                    table, tableCounts.data());
    std::vector<std::int32_t> expectedTableCounts(766, 0);
    for (std::size_t i = 0; i < before.size(); ++i) {
        const TRgb c = SplitColor(before[i]);
        const TColor32 expected = MakeColor(table[c.R], table[c.G], table[c.B]);
        ASSERT_EQ(target[i], expected) << "pixel " << i;
        ++expectedTableCounts[Intensity(expected)];
    }
    EXPECT_EQ(tableCounts, expectedTableCounts);

    std::vector<std::int32_t> sourceCounts(766, 0);
    tonekernels::CountIntensities(source.Bits(), source.PixelCount(), sourceCounts.data());
    std::vector<std::int32_t> expectedSourceCounts(766, 0);
    for (TColor32 pixel : before)
        ++expectedSourceCounts[Intensity(pixel)];
    EXPECT_EQ(sourceCounts, expectedSourceCounts);
}

TEST(ToneKernels, IntensityCountsAgreeInEveryForm) {
    TBitmap32 opaque = Filled(kWidth, kHeight, 0xFFFFFFFF);  // alpha must not count
    for (int x = 0; x < kWidth; ++x)
        opaque.SetPixel(x, 3, Argb(x, x, 2 * x, 3 * x));
    for (const TBitmap32& source : {std::move(opaque), Noise(kWidth, kHeight, 35)}) {
        std::vector<std::int32_t> expected(766, 0);
        for (TColor32 pixel : Pixels(source))
            ++expected[Intensity(pixel)];
        std::vector<std::int32_t> portable(766, 0);
        tonekernels::CountIntensitiesPortable(source.Bits(), source.PixelCount(), portable.data());
        EXPECT_EQ(portable, expected);
        if (!tonekernels::HasVectorKernels()) GTEST_SKIP() << "no AVX-512 here";
        std::vector<std::int32_t> vector(766, 0);
        tonekernels::CountIntensitiesVector(source.Bits(), source.PixelCount(), vector.data());
        EXPECT_EQ(vector, expected);
    }
}

}  // namespace
