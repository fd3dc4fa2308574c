// The tone options of kelvoimage-cli, run as a separate process: each must give the pixels of
// the core function the windows call, and refuse bad values with exit code 1.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <random>

#include "base/KelvoError.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "support/CliRun.h"
#include "support/TestFiles.h"
#include "tone/PixelFunctions.h"
#include "tone/ToneCorrections.h"
#include "tone/ToneTables.h"

namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 12;

// Channels 1..255 so that any pixel may serve as a reference without dividing by zero; the
// pixel at (0, 0) is black for the division cases.
TBitmap32 Picture() {
    TBitmap32 image;
    image.SetSize(kWidth, kHeight);
    std::mt19937 random(41);
    std::uniform_int_distribution<int> channel(1, 255);
    for (std::size_t i = 0; i < image.PixelCount(); ++i)
        image.Bits()[i] =
            0xFF000000u | MakeColor(channel(random), channel(random), channel(random));
    image.SetPixel(0, 0, 0xFF000000u);
    return image;
}

std::vector<TColor32> OpaquePixels(const TBitmap32& image) {
    std::vector<TColor32> pixels(image.Bits(), image.Bits() + image.PixelCount());
    for (TColor32& pixel : pixels)
        pixel |= 0xFF000000u;  // a PNG keeps no alpha; it reads back as 255
    return pixels;
}

class ToneCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FFolder.isValid());
        FInput = FFolder.filePath(QStringLiteral("in.png"));
        WriteImageFile(FInput, Picture(), 95);
    }
    QString Output() const { return FFolder.filePath(QStringLiteral("out.png")); }
    QTemporaryDir FFolder;
    QString FInput;
};

TEST_F(ToneCliTest, OptionsGiveTheCoreFunctionsPixels) {
    using Core = std::function<void(TBitmap32&)>;
    const auto at = [](const TBitmap32& image, int x, int y) { return image.GetPixel(x, y); };
    const struct {
        QStringList Arguments;
        Core Expected;
    } cases[] = {
        {{"--linear"}, [](TBitmap32& i) { EqualizeHistogram(i); }},
        {{"--contrast-stretch"}, [](TBitmap32& i) { ContrastStretch(i); }},
        {{"--brightness", "35"}, [](TBitmap32& i) { AdjustBrightness(i, 35); }},
        {{"--contrast", "-40"}, [](TBitmap32& i) { AdjustContrast(i, -40); }},
        {{"--make-white", "3,2"}, [&](TBitmap32& i) { MakeWhite(i, at(i, 3, 2)); }},
        {{"--remove-cast", "15,11"}, [&](TBitmap32& i) { RemoveColorCast(i, at(i, 15, 11)); }},
        {{"--make-black-white", "1,1,5,7"},
         [&](TBitmap32& i) { MakeBlackWhite(i, at(i, 1, 1), at(i, 5, 7)); }},
        {{"--make-grey", "4,4"}, [&](TBitmap32& i) { MakeGrey(i, at(i, 4, 4)); }},
        {{"--make-black", "9,3"}, [&](TBitmap32& i) { MakeBlack(i, at(i, 9, 3)); }},
        {{"--subtract", "2,8"}, [&](TBitmap32& i) { Subtract(i, at(i, 2, 8)); }},
        {{"--negative"}, [](TBitmap32& i) { Negative(i); }},
        {{"--iso", "64"}, [](TBitmap32& i) { IsoBrightness(i, 64); }},
        {{"--washout"}, [](TBitmap32& i) { Washout(i); }},
        {{"--bw", "90"}, [](TBitmap32& i) { BlackAndWhite(i, 90); }},
        // The reference is read from the picture as the earlier steps left it: (11, 15) only
        // exists after the quarter turn makes the picture 12 wide and 16 high.
        {{"--cw", "--brightness", "-30", "--make-white", "11,15"},
         [&](TBitmap32& i) {
             i.TurnClockwise();
             AdjustBrightness(i, -30);
             MakeWhite(i, at(i, 11, 15));
         }},
    };
    for (const auto& c : cases) {
        const std::string label = c.Arguments.join(QLatin1Char(' ')).toStdString();
        QFile::remove(Output());
        const TCliRun run =
            RunCli(QStringList{FInput} + c.Arguments + QStringList{QStringLiteral("-o"), Output()});
        ASSERT_EQ(run.ExitCode, 0) << label << ": " << run.StandardError.toStdString();
        TBitmap32 expected = Picture();
        c.Expected(expected);
        TBitmap32 written;
        LoadImageFromFile(Output(), written);
        EXPECT_EQ(written.Width(), expected.Width()) << label;
        EXPECT_EQ(OpaquePixels(written), OpaquePixels(expected)) << label;
    }
}

TEST_F(ToneCliTest, HistogramPrintsTheCountsOfTheResultInsteadOfWriting) {
    const TCliRun run =
        RunCli({FInput, QStringLiteral("--washout"), QStringLiteral("--histogram")});
    ASSERT_EQ(run.ExitCode, 0) << run.StandardError.toStdString();
    TBitmap32 expected = Picture();
    Washout(expected);
    IntensityHistogram histogram;
    ComputeHistogram(expected, histogram);
    QByteArray text;
    for (std::int32_t count : histogram)
        text += QByteArray::number(count) + '\n';
    EXPECT_EQ(run.StandardOutput, text);
    EXPECT_EQ(test_files::Entries(FFolder.path()), QStringList{QStringLiteral("in.png")});
}

TEST_F(ToneCliTest, BadValuesAndBadReferencesExitWithOneAndWriteNothing) {
    const struct {
        QStringList Arguments;
        QString Expected;  // part of the message
    } cases[] = {
        {{"--brightness", "101"}, "between -100 and 100"},
        {{"--brightness", "bright"}, "Invalid brightness 'bright'"},
        {{"--contrast", "-101"}, "between -100 and 100"},
        {{"--contrast", "1.5"}, "Invalid contrast '1.5'"},
        {{"--bw", "256"}, "between 0 and 255"},
        {{"--bw", ""}, "Invalid black and white cutoff"},
        {{"--iso", "48"}, "32, 64 or 128"},
        {{"--make-white", "3"}, "2 whole numbers"},
        {{"--make-black-white", "1,1,2"}, "4 whole numbers"},
        {{"--make-grey", "16,0"}, "The grey pixel 16,0 lies outside the 16 x 12 image"},
        {{"--subtract", "0,-1"}, "outside"},
        {{"--cw", "--make-black", "15,0"}, "The black pixel 15,0 lies outside the 12 x 16 image"},
        {{"--make-black-white", "0,0,3,12"}, "The white pixel 3,12 lies outside"},
        {{"--make-white", "0,0"}, "Floating point division by zero.\n"},
        {{"--make-grey", "0,0"}, "Floating point division by zero.\n"},
        {{"--remove-cast", "0,0"}, "Invalid floating point operation.\n"},
        {{"--make-black-white", "3,2,3,2"}, "Floating point division by zero.\n"},
    };
    for (const auto& c : cases) {
        const TCliRun run =
            RunCli(QStringList{FInput} + c.Arguments + QStringList{QStringLiteral("-o"), Output()});
        const std::string label = c.Arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(run.ExitCode, 1) << label;
        EXPECT_TRUE(run.StandardError.contains(c.Expected))
            << label << "\n  got: " << run.StandardError.toStdString();
        EXPECT_EQ(test_files::Entries(FFolder.path()), QStringList{QStringLiteral("in.png")})
            << label;
    }
    // A value-taking option at the end has nothing to take.
    const TCliRun missing = RunCli({FInput, QStringLiteral("--histogram"), QStringLiteral("--bw")});
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_TRUE(missing.StandardError.contains(QStringLiteral("needs a value")));
}

}  // namespace
