#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <functional>

#include "base/IniFile.h"
#include "base/KelvoError.h"
#include "support/TestFiles.h"
#include "tone/PixelFunctions.h"
#include "tone/ToneCorrections.h"
#include "tone/ToneTestSupport.h"

namespace {

using namespace tonetest;

const QString kDivisionByZero = QStringLiteral("Floating point division by zero");
const QString kInvalidOperation = QStringLiteral("Invalid floating point operation");

TEST(ToneReference, WorkedExamplesOfTheClickCorrections) {
    using Correction = std::function<void(TBitmap32&)>;
    struct Case {
        const char* name;
        Correction correct;
        TColor32 pixel;
        TColor32 expected;
    };
    const TColor32 white = Rgb(200, 100, 50);
    const TColor32 cast = Rgb(120, 90, 60);
    const Correction makeWhite = [white](TBitmap32& image) { MakeWhite(image, white); };
    const Correction removeCast = [cast](TBitmap32& image) { RemoveColorCast(image, cast); };
    const Correction blackWhite = [](TBitmap32& image) {
        MakeBlackWhite(image, Rgb(10, 20, 0), Rgb(95, 71, 255));
    };
    const Correction makeGrey = [](TBitmap32& image) { MakeGrey(image, Rgb(64, 64, 64)); };
    const Case cases[] = {
        {"Make White: the reference turns white", makeWhite, Argb(255, 200, 100, 50),
         Rgb(255, 255, 255)},
        {"Make White: other pixels get the same gains", makeWhite, Rgb(80, 100, 40),
         Rgb(102, 255, 204)},
        {"Remove Color Cast: the reference turns grey", removeCast, cast, Rgb(90, 90, 90)},
        {"Remove Color Cast: 0.75, 1, 1.5 elsewhere", removeCast, Rgb(11, 11, 11),
         Rgb(8, 11, 16)},  // 8.25, 11, 16.5 -> 16 (half to even)
        {"Make Black/White: inside the range", blackWhite, Rgb(40, 30, 100), Rgb(90, 50, 100)},
        {"Make Black/White: below black and above white are held", blackWhite, Rgb(5, 100, 7),
         Rgb(0, 255, 7)},
        {"Make Black/White: the black reference turns black", blackWhite, Rgb(10, 20, 0), 0},
        {"Make Black/White: the white reference turns white", blackWhite, Rgb(95, 71, 255),
         Rgb(255, 255, 255)},
        {"Make Grey on (64, 64, 64) doubles", makeGrey, Argb(255, 10, 100, 200), Rgb(20, 200, 255)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBitmap32 image = Row({c.pixel, c.pixel});
        c.correct(image);
        EXPECT_EQ(image.GetPixel(1, 0), c.expected);
    }
}

TEST(ToneReference, FactorsAreThoseOfTheReference) {
    const TColorCastFactors white = MakeWhiteFactors(Rgb(200, 100, 50));
    EXPECT_EQ(white, (TColorCastFactors{255.0 / 200, 255.0 / 100, 255.0 / 50}));
    EXPECT_DOUBLE_EQ(white.Red, 1.275);
    EXPECT_EQ(RemoveColorCastFactors(Rgb(120, 90, 60)), (TColorCastFactors{0.75, 1.0, 1.5}));
    // 100 div 3 = 33, the integer average.
    EXPECT_EQ(RemoveColorCastFactors(Rgb(50, 25, 25)), (TColorCastFactors{0.66, 1.32, 1.32}));
    EXPECT_EQ(BlackWhiteFactors(Rgb(10, 20, 0), Rgb(95, 71, 255)),
              (TColorCastFactors{3.0, 5.0, 1.0}));
    EXPECT_DOUBLE_EQ(MakeGreyFactor(Rgb(64, 64, 64)), 2.0);
}

TEST(ToneReference, DivisionByZeroRaisesTheProgramsErrorAndChangesNothing) {
    using Correction = std::function<void(TBitmap32&)>;
    struct Case {
        const char* name;
        Correction correct;
        QString message;
    };
    const Case cases[] = {
        {"Make White with a red of 0", [](TBitmap32& i) { MakeWhite(i, Rgb(0, 10, 10)); },
         kDivisionByZero},
        {"Make White with a blue of 0", [](TBitmap32& i) { MakeWhite(i, Rgb(10, 10, 0)); },
         kDivisionByZero},
        {"Remove Color Cast on black is 0 / 0",
         [](TBitmap32& i) { RemoveColorCast(i, Rgb(0, 0, 0)); }, kInvalidOperation},
        {"Remove Color Cast with a channel of 0 and an average above 0",
         [](TBitmap32& i) { RemoveColorCast(i, Rgb(0, 3, 3)); }, kDivisionByZero},
        {"Remove Color Cast: red is fine (0 / 1), green is 0 / 0",
         [](TBitmap32& i) { RemoveColorCast(i, Rgb(1, 0, 0)); }, kInvalidOperation},
        {"Make Grey on black", [](TBitmap32& i) { MakeGrey(i, Rgb(0, 0, 0)); }, kDivisionByZero},
        {"Make Black/White with equal green channels",
         [](TBitmap32& i) { MakeBlackWhite(i, Rgb(10, 50, 0), Rgb(90, 50, 90)); }, kDivisionByZero},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBitmap32 image = Row({Argb(255, 1, 2, 3), Rgb(200, 100, 50)});
        try {
            c.correct(image);
            ADD_FAILURE() << "no error";
        } catch (const KelvoError& error) {
            EXPECT_EQ(error.Message(), c.message);
        }
        EXPECT_EQ(image.GetPixel(0, 0), Argb(255, 1, 2, 3));
        EXPECT_EQ(image.GetPixel(1, 0), Rgb(200, 100, 50));
    }
}

TEST(ToneReference, WhiteDarkerThanBlackHoldsThatChannelAtZero) {
    // Red: 255 / (50 - 100) = -5.1. Green and blue as usual.
    TBitmap32 image = Row({Rgb(150, 60, 60), Rgb(255, 10, 255)});
    MakeBlackWhite(image, Rgb(100, 10, 10), Rgb(50, 110, 61));
    // 50 * (255 / 100) is 127.49999999999999 in double precision, so 127.
    EXPECT_EQ(image.GetPixel(0, 0), Rgb(0, 127, 250));
    EXPECT_EQ(image.GetPixel(1, 0), Rgb(0, 0, 255));
}

TEST(ToneReference, MakeBlackStretchesFromTheReferenceIntensity) {
    TransferTable table;
    BuildMakeBlackTable(384, table);
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[383], 0);
    EXPECT_EQ(table[384], 0);
    EXPECT_EQ(table[385], 2);  // 768 / 384
    EXPECT_EQ(table[576], 384);
    EXPECT_EQ(table[768], 768);
    BuildMakeBlackTable(765, table);
    EXPECT_EQ(table[766], 256);  // 768 / 3
    BuildMakeBlackTable(1, table);
    EXPECT_EQ(table[2], 1);  // 768 / 767 = 1.0013

    // Below the reference each channel becomes round(v / (s + 1)): 0 or 1.
    TBitmap32 image = Row({Rgb(200, 100, 83), Rgb(128, 128, 128), Rgb(192, 192, 192)});
    MakeBlack(image, Rgb(128, 128, 128));
    EXPECT_EQ(image.GetPixel(0, 0), Rgb(1, 0, 0));        // s = 383: 200/384 -> 1, 100/384 -> 0
    EXPECT_EQ(image.GetPixel(1, 0), 0u);                  // s = 384: 128/385 -> 0
    EXPECT_EQ(image.GetPixel(2, 0), Rgb(128, 128, 128));  // s = 576 -> 384: 192 * 385 / 577
}

TEST(ToneReference, SubtractThenEqualises) {
    TBitmap32 image = Row({Argb(255, 5, 25, 30), Rgb(255, 255, 255), Rgb(10, 20, 30)});
    SubtractColor(image, Rgb(10, 20, 30));
    EXPECT_EQ(Pixels(image), (std::vector<TColor32>{Rgb(0, 5, 0), Rgb(245, 235, 225), 0}));

    // Subtract never stores the subtracted picture; it must give what storing it would. A
    // picture large enough to be shared out over the cores, and references with channels at 0
    // and at 255.
    const struct {
        int width, height;
        TColor32 reference;
    } cases[] = {{40, 30, Rgb(30, 60, 90)}, {700, 800, Rgb(0, 255, 17)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        TBitmap32 subtracted = Noise(c.width, c.height, 17);
        TBitmap32 expected;
        expected.Assign(subtracted);
        SubtractColor(expected, c.reference);
        IntensityHistogram before;
        ComputeHistogram(expected, before);
        TToneGraphs expectedGraphs;
        EqualizeHistogram(expected, &expectedGraphs);
        TToneGraphs graphs;
        Subtract(subtracted, c.reference, &graphs);
        EXPECT_EQ(Pixels(subtracted), Pixels(expected));
        EXPECT_TRUE(graphs.HasBefore && graphs.HasTransfer && graphs.HasAfter);
        EXPECT_EQ(graphs.Before, before);
        EXPECT_EQ(graphs.After, expectedGraphs.After);
    }
}

TEST(ToneColorCast, StoredFactorsComeBackExactlyAfterARestart) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fileName = dir.filePath(QStringLiteral("KelvoImage.Ini"));
    EXPECT_FALSE(LoadColorCast(TIniFile(fileName)).Any());

    TBitmap32 clicked = Row({Rgb(200, 100, 50), Rgb(80, 100, 40), Argb(255, 3, 7, 9)});
    {
        TIniFile settings(fileName);
        SaveColorCast(settings, MakeWhite(clicked, Rgb(200, 100, 50)));
    }
    const QByteArray text = test_files::ReadAll(fileName);
    EXPECT_TRUE(text.contains("[ColorCast]")) << text.constData();
    EXPECT_TRUE(text.contains("Red=1.275")) << text.constData();
    EXPECT_TRUE(text.contains("Green=2.55")) << text.constData();
    EXPECT_TRUE(text.contains("Blue=5.1")) << text.constData();

    const TColorCastFactors stored = LoadColorCast(TIniFile(fileName));
    EXPECT_TRUE(stored.Any());
    EXPECT_EQ(stored, MakeWhiteFactors(Rgb(200, 100, 50)));
    TBitmap32 again = Row({Rgb(200, 100, 50), Rgb(80, 100, 40), Argb(255, 3, 7, 9)});
    ApplyColorCast(again, stored);
    EXPECT_EQ(Pixels(again), Pixels(clicked));
}

TEST(ToneColorCast, FactorsEditedByHandNeverLeaveTheChannelRange) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fileName = dir.filePath(QStringLiteral("KelvoImage.Ini"));
    test_files::WriteAll(fileName, "[ColorCast]\nRed=-2\nGreen=1e300\nBlue=0.5\n");
    const TColorCastFactors stored = LoadColorCast(TIniFile(fileName));
    EXPECT_TRUE(stored.Any());
    TBitmap32 image = Row({Rgb(1, 1, 1), Rgb(0, 0, 255)});
    ApplyColorCast(image, stored);
    EXPECT_EQ(image.GetPixel(0, 0), Rgb(0, 255, 0));  // 0.5 -> 0 (half to even)
    EXPECT_EQ(image.GetPixel(1, 0), Rgb(0, 0, 128));  // 127.5 -> 128
}

TEST(ToneEffects, NegativeTwiceGivesBackTheChannels) {
    const TBitmap32 source = Noise(33, 7, 21);
    TBitmap32 image;
    image.Assign(source);
    TToneGraphs graphs;
    Negative(image, &graphs);
    EXPECT_EQ(image.GetPixel(0, 0), ~source.GetPixel(0, 0) & 0x00FFFFFF);
    EXPECT_TRUE(graphs.HasBefore && graphs.HasAfter);
    EXPECT_FALSE(graphs.HasTransfer);
    for (int s = 0; s <= 765; ++s)
        ASSERT_EQ(graphs.After[765 - s], graphs.Before[s]);
    Negative(image);
    for (std::size_t i = 0; i < source.PixelCount(); ++i)
        ASSERT_EQ(image.Bits()[i], source.Bits()[i] & 0x00FFFFFF);
}

TEST(ToneEffects, IsoBrightnessBlackensEvenBands) {
    struct Case {
        int step;
        TColor32 pixel;
        bool kept;
    };
    const Case cases[] = {
        {32, Rgb(31, 0, 0), false},
        {32, Rgb(30, 1, 1), true},
        {32, Argb(255, 0, 0, 0), false},
        {64, Rgb(63, 0, 0), false},
        {64, Rgb(64, 0, 0), true},
        {64, Rgb(191, 0, 0), false},
        {64, Rgb(192, 0, 0), true},
        {64, Rgb(255, 255, 193), false},  // 703
        {64, Rgb(255, 255, 194), true},
        {128, Rgb(127, 0, 0), false},
        {128, Rgb(128, 0, 0), true},
        {128, Rgb(255, 128, 128), true},  // 511
        {128, Rgb(255, 255, 2), false},   // 512
        {128, Rgb(255, 255, 130), true},
        {100, Rgb(99, 0, 0), false},  // a step that is not a power of two
        {100, Rgb(100, 0, 0), true},
        {100, Rgb(100, 100, 0), false},  // 640
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.step << " " << Intensity(c.pixel));
        TBitmap32 image = Row({c.pixel});
        IsoBrightness(image, c.step);
        EXPECT_EQ(image.GetPixel(0, 0), c.kept ? c.pixel : 0u);
    }
    // Every intensity, whole vector blocks and a remainder.
    const TBitmap32 noise = Noise(37, 29, 43);
    for (int step : {32, 64, 128, 100}) {
        TBitmap32 image;
        image.Assign(noise);
        IsoBrightness(image, step);
        for (std::size_t i = 0; i < noise.PixelCount(); ++i) {
            const TColor32 pixel = noise.Bits()[i];
            ASSERT_EQ(image.Bits()[i], Intensity(pixel) / step % 2 == 1 ? pixel : 0u)
                << "step " << step << ", intensity " << Intensity(pixel);
        }
    }
    for (int step : {32, 64, 128}) {
        TBitmap32 white = Row({Argb(255, 255, 255, 255)});
        IsoBrightness(white, step);
        EXPECT_EQ(white.GetPixel(0, 0), Argb(255, 255, 255, 255)) << step;
    }
}

TEST(ToneEffects, WashoutTable) {
    const std::pair<int, int> channels[] = {{0, 0},     {1, 91},    {2, 121},   {10, 171},
                                            {50, 212},  {100, 250}, {106, 254}, {107, 255},
                                            {200, 255}, {255, 255}};
    for (auto [value, expected] : channels) {
        TBitmap32 image = Row({Argb(255, value, value, value)});
        Washout(image);
        EXPECT_EQ(image.GetPixel(0, 0), Rgb(expected, expected, expected)) << value;
    }
    EXPECT_EQ(WashoutLevel(0), 180);
    EXPECT_EQ(WashoutLevel(255), 360);
}

TEST(ToneEffects, BlackAndWhiteThresholdsAtThreeTimesTheCutoff) {
    struct Case {
        int cutoff;
        TColor32 pixel;
        TColor32 expected;
    };
    const TColor32 white = Rgb(255, 255, 255);
    const Case cases[] = {
        {200, Rgb(200, 200, 200), 0},       {200, Argb(255, 201, 200, 200), white},
        {255, Argb(255, 255, 255, 255), 0}, {0, Rgb(0, 0, 1), white},
        {0, Argb(255, 0, 0, 0), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cutoff << " " << Intensity(c.pixel));
        TBitmap32 image = Row({c.pixel});
        BlackAndWhite(image, c.cutoff);
        EXPECT_EQ(image.GetPixel(0, 0), c.expected);
    }
}

}  // namespace

namespace {

// The window counts the histogram before while copying the undo snapshot. Every command must
// then give the pixels and graphs it gives when it counts for itself, including Subtract,
// whose equalisation starts from the subtracted image, not the one the snapshot holds.
TEST(ToneGraphs, ABeforeCountedWithTheSnapshotChangesNoPixelAndNoGraph) {
    using Command = std::function<void(TBitmap32&, TToneGraphs*)>;
    const std::pair<const char*, Command> commands[] = {
        {"linear", [](TBitmap32& image, TToneGraphs* graphs) { EqualizeHistogram(image, graphs); }},
        {"stretch", [](TBitmap32& image, TToneGraphs* graphs) { ContrastStretch(image, graphs); }},
        {"contrast",
         [](TBitmap32& image, TToneGraphs* graphs) { AdjustContrast(image, 30, graphs); }},
        {"brightness",
         [](TBitmap32& image, TToneGraphs* graphs) { AdjustBrightness(image, -20, graphs); }},
        {"washout", [](TBitmap32& image, TToneGraphs* graphs) { Washout(image, graphs); }},
        {"negative", [](TBitmap32& image, TToneGraphs* graphs) { Negative(image, graphs); }},
        {"subtract", [](TBitmap32& image,
                        TToneGraphs* graphs) { Subtract(image, Argb(0, 40, 30, 20), graphs); }},
    };
    const TBitmap32 photo = Noise(67, 41, 5);
    for (const auto& [name, command] : commands) {
        SCOPED_TRACE(name);
        TBitmap32 counting;
        counting.Assign(photo);
        TToneGraphs counted;
        command(counting, &counted);

        TBitmap32 image;
        image.Assign(photo);
        TBitmap32 snapshot;
        TToneGraphs graphs;
        snapshot.Assign(image, CountingCopy(graphs.Before));
        graphs.BeforeCounted = true;
        EXPECT_EQ(Pixels(snapshot), Pixels(photo));
        command(image, &graphs);

        EXPECT_EQ(Pixels(image), Pixels(counting));
        EXPECT_EQ(graphs.HasBefore, counted.HasBefore);
        EXPECT_EQ(graphs.HasAfter, counted.HasAfter);
        EXPECT_EQ(graphs.HasTransfer, counted.HasTransfer);
        if (counted.HasBefore) {
            EXPECT_EQ(graphs.Before, counted.Before);
        }
        if (counted.HasAfter) {
            EXPECT_EQ(graphs.After, counted.After);
        }
        if (counted.HasTransfer) {
            EXPECT_EQ(graphs.Transfer, counted.Transfer);
        }
    }
}

}  // namespace
