// kelvoimage-cli from a JPEG to a JPEG: a job of point operations runs a band of rows at a time,
// every other job on the whole picture, and either way the file written is the one the load,
// the core functions and the save give in this process.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>

#include "base/AtomicFile.h"
#include "base/KelvoError.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "image/JpegEncoder.h"
#include "image/QuarterTurns.h"
#include "support/CameraJpeg.h"
#include "support/CliRun.h"
#include "support/JpegLayout.h"
#include "support/TestFiles.h"
#include "tone/PixelFunctions.h"
#include "tone/ToneCorrections.h"
#include "tone/ToneTables.h"

namespace {

using test_files::ReadAll;
using test_files::WriteAll;

using camera_jpeg::Fixtures;

using TCore = std::function<void(TBitmap32& image, TKeptMetadata& kept)>;

// The file the whole-picture path writes: load as stored, the core functions, save.
QByteArray WholePathFile(const QString& input, const QString& output, const TCore& core,
                         int quality = 95, bool keepMetadata = true) {
    TBitmap32 image;
    TKeptMetadata kept = LoadPhotoFromFile(input, image, false);
    if (core) core(image, kept);
    WriteImageFile(output, image, quality, keepMetadata ? kept : TKeptMetadata());
    return ReadAll(output);
}

class JpegBandCliTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(FFolder.isValid()); }
    QString PathOf(const QString& name) const { return FFolder.filePath(name); }
    QTemporaryDir FFolder;
};

TEST_F(JpegBandCliTest, EveryJobWritesTheFileOfTheLoadTheCoreFunctionsAndTheSave) {
    const QString oddHeight = PathOf(QStringLiteral("odd.jpg"));
    TBitmap32 picture;
    picture.SetSize(45, 21);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 45; ++x)
            picture.SetPixel(x, y,
                             0xFF000000u | TColor32(11 * x) << 16 | TColor32(12 * y) << 8 |
                                 TColor32((x * y) & 0xFF));
    WriteImageFile(oddHeight, picture, 92);

    const struct {
        QStringList Arguments;
        TCore Core;
        int Quality;
        bool KeepMetadata;
    } cases[] = {
        // Point operations: in bands.
        {{}, {}, 95, true},
        {{"--negative"}, [](TBitmap32& i, TKeptMetadata&) { Negative(i); }, 95, true},
        {{"--brightness", "25"},
         [](TBitmap32& i, TKeptMetadata&) { AdjustBrightness(i, 25); },
         95,
         true},
        {{"--iso", "64"}, [](TBitmap32& i, TKeptMetadata&) { IsoBrightness(i, 64); }, 95, true},
        {{"--washout"}, [](TBitmap32& i, TKeptMetadata&) { Washout(i); }, 95, true},
        {{"--bw", "120"}, [](TBitmap32& i, TKeptMetadata&) { BlackAndWhite(i, 120); }, 95, true},
        {{"--brightness", "-20", "--negative", "--quality", "60", "--strip"},
         [](TBitmap32& i, TKeptMetadata&) {
             AdjustBrightness(i, -20);
             Negative(i);
         },
         60,
         false},
        // Steps that look at neighbours, places or the whole picture: on the whole raster. A
        // band run of any of them would write another file.
        {{"--contrast", "40"},
         [](TBitmap32& i, TKeptMetadata&) { AdjustContrast(i, 40); },
         95,
         true},
        {{"--negative", "--linear"},
         [](TBitmap32& i, TKeptMetadata&) {
             Negative(i);
             EqualizeHistogram(i);
         },
         95,
         true},
        {{"--make-white", "3,20"},
         [](TBitmap32& i, TKeptMetadata&) { MakeWhite(i, i.GetPixel(3, 20)); },
         95,
         true},
        {{"--washout", "--cw"},
         [](TBitmap32& i, TKeptMetadata& kept) {
             Washout(i);
             i.TurnClockwise();
             kept.Reoriented = true;
         },
         95,
         true},
    };
    for (const QString& input : {Fixtures().Camera, oddHeight}) {
        for (const auto& c : cases) {
            const std::string label = QFileInfo(input).fileName().toStdString() + ": " +
                                      c.Arguments.join(QLatin1Char(' ')).toStdString();
            const QString output = PathOf(QStringLiteral("out.jpg"));
            const TCliRun run = RunCli(QStringList{input} + c.Arguments +
                                       QStringList{QStringLiteral("-o"), output});
            ASSERT_EQ(run.ExitCode, 0) << label << ": " << run.StandardError.toStdString();
            const QByteArray written = ReadAll(output);
            EXPECT_EQ(written, WholePathFile(input, PathOf(QStringLiteral("whole.jpg")), c.Core,
                                             c.Quality, c.KeepMetadata))
                << label;
        }
    }
}

TEST_F(JpegBandCliTest, ASidewaysPhotoStaysAsStoredAndSaysSo) {
    const QString sideways = Fixtures().Sideways;
    const QString output = PathOf(QStringLiteral("out.jpg"));
    const TCliRun run = RunCli(
        {sideways, QStringLiteral("--iso"), QStringLiteral("128"), QStringLiteral("-o"), output});
    ASSERT_EQ(run.ExitCode, 0) << run.StandardError.toStdString();
    EXPECT_EQ(ReadAll(output),
              WholePathFile(sideways, PathOf(QStringLiteral("whole.jpg")),
                            [](TBitmap32& i, TKeptMetadata&) { IsoBrightness(i, 128); }));
    TBitmap32 image;
    const TKeptMetadata kept = LoadPhotoFromFile(output, image, false);
    ASSERT_TRUE(kept.Source);
    EXPECT_EQ(kept.Source->Orientation(), 6);
    EXPECT_EQ(image.Width(), camera_jpeg::TFixtures::kSidewaysStoredWidth);
}

// Every band is read before the new file takes the old one's place.
TEST_F(JpegBandCliTest, AFileMayBeRewrittenInPlace) {
    const QString photo = PathOf(QStringLiteral("photo.jpg"));
    WriteAll(photo, ReadAll(Fixtures().Camera));
    const TCliRun run =
        RunCli({photo, QStringLiteral("--bw"), QStringLiteral("70"), QStringLiteral("-o"), photo});
    ASSERT_EQ(run.ExitCode, 0) << run.StandardError.toStdString();
    EXPECT_EQ(ReadAll(photo),
              WholePathFile(Fixtures().Camera, PathOf(QStringLiteral("whole.jpg")),
                            [](TBitmap32& i, TKeptMetadata&) { BlackAndWhite(i, 70); }));
}

// The job of point operations holds a few bands, never the picture: under a data limit far
// below the raster it still writes the whole path's file, while a job that needs the whole
// raster cannot get it.
TEST_F(JpegBandCliTest, APointJobNeverHoldsThePicture) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's own memory does not fit under a data limit";
#else
    constexpr int kWidth = 4096;
    constexpr int kHeight = 4000;  // a 64 MB raster
    const QString input = PathOf(QStringLiteral("big.jpg"));
    {
        // Written a band at a time as well, so that the test holds no raster either.
        TAtomicFile file(input);
        TJpegBandWriter writer(file, kWidth, kHeight, 80, {});
        std::vector<TColor32> row(kWidth);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x)
                row[std::size_t(x)] = MakeColor((x >> 4) & 0xFF, (y >> 4) & 0xFF, 90);
            const TColor32* rows[] = {row.data()};
            writer.WriteRows(rows, 1);
        }
        writer.Finish();
        file.Commit();
    }
    const auto limitData = [] {
        const rlimit limit{rlim_t(40) << 20, rlim_t(40) << 20};
        ::setrlimit(RLIMIT_DATA, &limit);
    };
    const QString output = PathOf(QStringLiteral("out.jpg"));
    const TCliRun streamed =
        RunCli({input, QStringLiteral("--washout"), QStringLiteral("-o"), output},
               TCliRunSetup::WithChildSetup(limitData));
    ASSERT_EQ(streamed.ExitCode, 0) << streamed.StandardError.toStdString();
    EXPECT_EQ(ReadAll(output), WholePathFile(input, PathOf(QStringLiteral("whole.jpg")),
                                             [](TBitmap32& i, TKeptMetadata&) { Washout(i); }));

    const TCliRun whole = RunCli({input, QStringLiteral("--contrast"), QStringLiteral("10"),
                                  QStringLiteral("-o"), PathOf(QStringLiteral("contrast.jpg"))},
                                 TCliRunSetup::WithChildSetup(limitData));
    EXPECT_EQ(whole.ExitCode, 1) << "the limit does not bind: the test shows nothing";
#endif
}

TEST_F(JpegBandCliTest, FailuresGiveTheWholePathsMessageAndKeepTheOldOutput) {
    const QByteArray camera = ReadAll(Fixtures().Camera);
    ASSERT_FALSE(camera.isEmpty());
    const qsizetype eoi = camera.lastIndexOf("\xFF\xD9");
    const QByteArray frameHeader = jpeg_layout::LayoutOf(camera).FrameHeader;
    ASSERT_FALSE(frameHeader.isEmpty());
    const struct {
        const char* Name;
        const char* Input;
        QByteArray Bytes;
    } cases[] = {
        // Taken on the whole path: the JPEG decoder's message, as the loader gives it.
        {"no picture named .jpg", "in.jpg", QByteArray("plain text, not a picture")},
        // The bytes choose the PNG decoder, whose message it is.
        {"a cut PNG named .jpg", "in.jpg", ReadAll(Fixtures().Png).left(60)},
        {"cut in the header", "in.jpg", camera.left(600)},
        // Fails only after the last band has gone to the new file.
        {"frame header after the scan", "in.jpg",
         camera.left(eoi) + frameHeader + QByteArray("\xFF\xD9", 2)},
    };
    const QByteArray old("the old output");
    const QString output = PathOf(QStringLiteral("out.jpg"));
    for (const auto& c : cases) {
        const QString input = PathOf(QLatin1String(c.Input));
        WriteAll(input, c.Bytes);
        QString expected;
        try {
            WholePathFile(input, PathOf(QStringLiteral("whole.jpg")),
                          [](TBitmap32& i, TKeptMetadata&) { Negative(i); });
        } catch (const KelvoError& error) {
            expected = error.Message();
        }
        ASSERT_FALSE(expected.isEmpty()) << c.Name << ": the whole path did not fail";
        WriteAll(output, old);
        const TCliRun run =
            RunCli({input, QStringLiteral("--negative"), QStringLiteral("-o"), output});
        EXPECT_EQ(run.ExitCode, 1) << c.Name;
        EXPECT_EQ(run.StandardError, CliErrorLine(input, expected)) << c.Name;
        EXPECT_EQ(ReadAll(output), old) << c.Name;
        QFile::remove(input);
    }
    EXPECT_EQ(test_files::Entries(FFolder.path()), QStringList{QStringLiteral("out.jpg")});
}

}  // namespace
