#include <gtest/gtest.h>

#include <cmath>

#include "tone/PixelFunctions.h"
#include "tone/ToneTables.h"
#include "tone/ToneTestSupport.h"

namespace {

using namespace tonetest;

IntensityHistogram HistogramOf(std::initializer_list<std::pair<int, int>> counts) {
    IntensityHistogram histogram{};
    for (auto [intensity, count] : counts)
        histogram[intensity] = count;
    return histogram;
}

TEST(ToneHistogram, CountsEveryPixelAtItsIntensity) {
    // 3 x 3 leaves a remainder after groups of four pixels.
    TBitmap32 image = Filled(3, 3, Argb(255, 255, 255, 255));
    image.SetPixel(0, 0, Argb(255, 0, 0, 0));
    image.SetPixel(2, 1, Rgb(1, 2, 3));
    image.SetPixel(2, 2, Rgb(3, 2, 1));
    IntensityHistogram histogram;
    histogram.fill(-7);
    ComputeHistogram(image, histogram);
    IntensityHistogram expected{};
    expected[0] = 1;
    expected[6] = 2;
    expected[765] = 6;
    EXPECT_EQ(histogram, expected);

    ComputeHistogram(TBitmap32(), histogram);
    EXPECT_EQ(histogram, IntensityHistogram{});
}

TEST(ToneTransfer, ScalesEachPixelByTheTableEntryOfItsIntensity) {
    struct Case {
        const char* name;
        TColor32 pixel;
        int entry;  // table entry at the pixel's intensity
        TColor32 expected;
    };
    const Case cases[] = {
        {"identity keeps the channels, alpha becomes 0", Argb(255, 10, 20, 30), 60,
         Rgb(10, 20, 30)},
        {"black stays black whatever the table says", Argb(255, 0, 0, 0), 768, 0},
        {"entry -1 gives factor 0", Rgb(10, 20, 30), -1, 0},
        {"an entry below -1 gives black", Rgb(10, 20, 30), -500, 0},
        {"doubling saturates a bright channel", Rgb(100, 150, 200), 2 * 450 + 1,
         Rgb(200, 255, 255)},
        // (1, 1, 1): factor (2 + 1) / 4 = 0.75, each channel 0.75 -> 1; (1, 0, 0) at
        // entry 0: factor 0.5, 0.5 -> 0 (half to even)
        {"factor below 1", Rgb(1, 1, 1), 2, Rgb(1, 1, 1)},
        {"exact half goes to the even neighbour", Rgb(1, 0, 0), 0, 0},
        {"3 * 2.5 = 7.5 goes to 8", Rgb(3, 0, 0), 9, Rgb(8, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBitmap32 image = Row({c.pixel});
        TransferTable table;
        for (int s = 0; s < kToneTableSize; ++s)
            table[s] = s;
        table[Intensity(c.pixel)] = c.entry;
        ApplyTransfer(image, table);
        EXPECT_EQ(image.GetPixel(0, 0), c.expected);
    }
}

TEST(ToneTransfer, LookupAgreesWithScaleColorOnEveryChannelValue) {
    // A table with negative, identity and over-range entries, over noise that reaches every
    // intensity and channel value.
    TransferTable table;
    for (int s = 0; s < kToneTableSize; ++s)
        table[s] = (s * 37) % 1700 - 300;
    const TBitmap32 source = Noise(512, 256, 5);
    TBitmap32 image;
    image.Assign(source);
    ApplyTransfer(image, table);
    for (std::size_t i = 0; i < source.PixelCount(); ++i) {
        const TColor32 pixel = source.Bits()[i];
        const int s = Intensity(pixel);
        const TColor32 expected = ScaleColor(pixel, (table[s] + 1.0) / (s + 1.0));
        ASSERT_EQ(image.Bits()[i], expected) << "pixel " << i << " intensity " << s;
    }
}

TEST(ToneBrightness, SliderPositionsScaleEveryChannel) {
    struct Case {
        int position;
        TColor32 pixel;
        TColor32 expected;
    };
    const Case cases[] = {
        {-100, Argb(255, 255, 255, 255), 0},
        {0, Argb(255, 100, 150, 200), Rgb(100, 150, 200)},
        {100, Rgb(100, 150, 200), Rgb(200, 255, 255)},
        {50, Rgb(100, 150, 201), Rgb(150, 225, 255)},
        {25, Rgb(2, 6, 10), Rgb(2, 8, 12)},     // 2.5 -> 2, 7.5 -> 8, 12.5 -> 12
        {-50, Rgb(1, 3, 255), Rgb(0, 2, 128)},  // 0.5 -> 0, 1.5 -> 2, 127.5 -> 128
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        TBitmap32 image = Row({c.pixel, c.pixel});
        AdjustBrightness(image, c.position);
        EXPECT_EQ(image.GetPixel(1, 0), c.expected);
    }
    EXPECT_DOUBLE_EQ(SliderFactor(25), 1.25);
}

TEST(ToneBrightness, PublishesBothHistogramsButNoTransfer) {
    TBitmap32 image = Row({Rgb(100, 100, 100), Rgb(10, 0, 0)});
    TToneGraphs graphs;
    AdjustBrightness(image, 100, &graphs);
    EXPECT_TRUE(graphs.HasBefore && graphs.HasAfter);
    EXPECT_FALSE(graphs.HasTransfer);
    EXPECT_EQ(graphs.Before, HistogramOf({{300, 1}, {10, 1}}));
    EXPECT_EQ(graphs.After, HistogramOf({{600, 1}, {20, 1}}));
}

TEST(ToneBrightness, ReapplyFromTheKeptSourceEqualsCopyingItFirst) {
    const TBitmap32 source = Noise(37, 11, 23);
    TBitmap32 image = Filled(3, 3, 0xFFFFFFFF);  // the previous result, of another size
    TToneGraphs graphs;
    for (int position : {50, 0, -35}) {
        SCOPED_TRACE(position);
        AdjustBrightness(source, image, position, &graphs);
        TBitmap32 expected;
        expected.Assign(source);
        TToneGraphs expectedGraphs;
        AdjustBrightness(expected, position, &expectedGraphs);
        EXPECT_EQ(image.Width(), source.Width());
        EXPECT_EQ(Pixels(image), Pixels(expected));
        EXPECT_EQ(graphs.Before, expectedGraphs.Before);
        EXPECT_EQ(graphs.After, expectedGraphs.After);
    }
    // A kept "before" is not recounted: the caller holds it for as long as the source stays.
    graphs.Before.fill(9);
    AdjustBrightness(source, image, 10, &graphs);
    EXPECT_EQ(graphs.Before[0], 9);
}

TEST(ToneContrast, MedianIsTheFirstIntensityPastHalfThePixels) {
    struct Case {
        IntensityHistogram histogram;
        int median;
    };
    const Case cases[] = {
        {HistogramOf({{10, 1}, {20, 1}, {30, 1}, {40, 1}}), 30},  // half 2, needs > 2
        {HistogramOf({{10, 1}, {20, 1}, {30, 1}}), 20},           // half 1
        {HistogramOf({{765, 5}}), 765},
        {HistogramOf({}), 768},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MedianIntensity(c.histogram), c.median);
}

TEST(ToneContrast, TableIsBuiltOutwardFromTheMedianByRepeatedSteps) {
    struct Case {
        int median;
        int position;
        int intensity;
        int entry;  // where the closed form round(m + (s - m) * a) gives one less or more
    };
    const Case cases[] = {
        {384, -99, 34, 381},  // closed form: 380
        {0, -99, 250, 2},     // closed form: 3
        {100, -98, 25, 99},   // closed form: 98
        {500, -99, 150, 497},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.median << " " << c.position << " " << c.intensity);
        TransferTable table;
        BuildContrastTable(HistogramOf({{c.median, 1}}), SliderFactor(c.position), table);
        EXPECT_EQ(table[c.median], c.median);
        EXPECT_EQ(table[c.intensity], c.entry);
    }
}

TEST(ToneContrast, ZeroIsIdentityAndMinusHundredFlattensToTheMedian) {
    TransferTable table;
    BuildContrastTable(HistogramOf({{200, 3}, {700, 1}}), SliderFactor(0), table);
    for (int s = 0; s < kToneTableSize; ++s)
        ASSERT_EQ(table[s], s);

    const TBitmap32 source = Noise(64, 64, 9);
    TBitmap32 image;
    image.Assign(source);
    AdjustContrast(image, 0);
    for (std::size_t i = 0; i < source.PixelCount(); ++i)
        ASSERT_EQ(image.Bits()[i], source.Bits()[i] & 0x00FFFFFF);

    // Median 300: (100, 100, 100) is scaled by 301 / 301, (10, 20, 30) by 301 / 61.
    image = Row({Rgb(100, 100, 100), Rgb(100, 100, 100), Rgb(10, 20, 30)});
    TToneGraphs graphs;
    AdjustContrast(image, -100, &graphs);
    EXPECT_EQ(image.GetPixel(0, 0), Rgb(100, 100, 100));
    EXPECT_EQ(image.GetPixel(2, 0), Rgb(49, 99, 148));  // 49.34, 98.69, 148.03
    EXPECT_TRUE(graphs.HasBefore && graphs.HasTransfer && graphs.HasAfter);
    EXPECT_EQ(graphs.Transfer[0], 300);
    EXPECT_EQ(graphs.Transfer[768], 300);
}

TEST(ToneEqualize, WorkedHistogramsGiveTheirTables) {
    struct Case {
        const char* name;
        IntensityHistogram histogram;
        std::vector<std::pair<int, int>> entries;  // intensity, expected entry
    };
    const Case cases[] = {
        // 191, not 192: the repeated subtraction of the step leaves a remainder just short of it.
        {"pixels of an intensity count only from the next one on",
         HistogramOf({{30, 1}, {300, 2}, {600, 1}}),
         {{0, 0}, {30, 0}, {31, 191}, {300, 191}, {301, 576}, {600, 576}, {601, 768}, {768, 768}}},
        {"two levels",
         HistogramOf({{100, 3}, {200, 7}}),
         {{0, 0}, {100, 0}, {101, 230}, {200, 230}, {201, 768}, {768, 768}}},
        {"one flat colour maps itself to 0", HistogramOf({{384, 50}}), {{384, 0}, {385, 768}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TransferTable table;
        ASSERT_TRUE(BuildEqualizationTable(c.histogram, table));
        for (auto [s, entry] : c.entries)
            EXPECT_EQ(table[s], entry) << "at " << s;
    }
}

TEST(ToneEqualize, EndsAreFixedOnAnyPhotoLikeHistogram) {
    TBitmap32 image = Noise(97, 61, 3);
    TToneGraphs graphs;
    EqualizeHistogram(image, &graphs);
    ASSERT_TRUE(graphs.HasBefore && graphs.HasTransfer && graphs.HasAfter);
    EXPECT_EQ(graphs.Transfer[0], 0);
    EXPECT_EQ(graphs.Transfer[768], 768);
    IntensityHistogram after;
    ComputeHistogram(image, after);
    EXPECT_EQ(graphs.After, after);
}

TEST(ToneStretch, ClipsFivePercentAtEachEnd) {
    // 40 pixels at 50, 60, ..., 440: cut = 2, so lo = 70 and hi = 420.
    IntensityHistogram histogram{};
    for (int i = 0; i < 40; ++i)
        histogram[50 + 10 * i] = 1;
    TransferTable table;
    ASSERT_TRUE(BuildContrastStretchTable(histogram, table));
    const std::pair<int, int> entries[] = {{0, -153},  {50, -44},  {69, -2},   {70, 0},
                                           {420, 766}, {430, 788}, {768, 1527}};
    for (auto [s, entry] : entries)
        EXPECT_EQ(table[s], entry) << "at " << s;
}

TEST(ToneEqualizeAndStretch, FlatColourTurnsBlackAndEmptyImageIsLeftAlone) {
    using Command = void (*)(TBitmap32&, TToneGraphs*);
    const std::pair<const char*, Command> commands[] = {{"linear", EqualizeHistogram},
                                                        {"stretch", ContrastStretch}};
    for (auto [name, command] : commands) {
        SCOPED_TRACE(name);
        // Intensity 255: each channel becomes round(v / 256), 0 or 1 (128 / 256 = 0.5 -> 0).
        TBitmap32 image = Filled(5, 4, Argb(255, 127, 0, 128));
        command(image, nullptr);
        for (TColor32 pixel : Pixels(image))
            ASSERT_EQ(pixel, 0u);

        TBitmap32 empty;
        TToneGraphs graphs;
        command(empty, &graphs);
        EXPECT_TRUE(empty.Empty());
        EXPECT_FALSE(graphs.HasBefore || graphs.HasTransfer || graphs.HasAfter);
        TransferTable table;
        table.fill(5);
        EXPECT_FALSE(BuildEqualizationTable(IntensityHistogram{}, table));
        EXPECT_FALSE(BuildContrastStretchTable(IntensityHistogram{}, table));
        EXPECT_EQ(table[0], 5);
    }
}

}  // namespace
