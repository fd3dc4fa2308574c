// JPEG to JPEG a band at a time: the file written must be the one the whole-picture path (load,
// operations on the whole raster, save) writes, byte for byte, and a file that path cannot read
// must fail the same way without touching the output.

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>
#include <vector>

#include "base/KelvoError.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "image/JpegTranscode.h"
#include "support/CameraJpeg.h"
#include "support/JpegLayout.h"
#include "support/TestCorpus.h"
#include "support/TestFiles.h"
#include "tone/ToneCorrections.h"
#include "tone/ToneTables.h"

namespace {

using jpeg_layout::LayoutOf;
using jpeg_layout::TJpegLayout;
using test_files::ReadAll;
using test_files::WriteAll;

using camera_jpeg::Fixtures;

// What one path left behind: its error, or the file it wrote.
struct TOutcome {
    QString Error;
    QByteArray File;
    friend bool operator==(const TOutcome&, const TOutcome&) = default;
};

std::ostream& operator<<(std::ostream& stream, const TOutcome& outcome) {
    return stream << "error '" << outcome.Error.toStdString() << "', " << outcome.File.size()
                  << " bytes written";
}

// Both paths write over an output that holds this, so that a failure must leave it in place.
const QByteArray kOldOutput("the output that was there before");

template <class Path>
TOutcome Run(const QString& output, Path path) {
    WriteAll(output, kOldOutput);
    TOutcome outcome;
    try {
        path();
    } catch (const KelvoError& error) {
        outcome.Error = error.Message();
    }
    outcome.File = ReadAll(output);
    return outcome;
}

TOutcome WholePath(const QString& input, const QString& output, int quality,
                   const std::vector<TPixelOperation>& operations, bool keepMetadata) {
    return Run(output, [&] {
        TBitmap32 image;
        const TKeptMetadata kept = LoadPhotoFromFile(input, image, false);
        for (const TPixelOperation& operation : operations)
            operation(image);
        WriteImageFile(output, image, quality, keepMetadata ? kept : TKeptMetadata());
    });
}

TOutcome BandPath(const QString& input, const QString& output, int quality,
                  const std::vector<TPixelOperation>& operations, bool keepMetadata) {
    return Run(output,
               [&] { TranscodeJpegInBands(input, output, quality, operations, keepMetadata); });
}

// Every pixel differs from its neighbours, in every channel.
TBitmap32 Pattern(int width, int height) {
    TBitmap32 image;
    image.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.SetPixel(x, y,
                           0xFF000000u | TColor32((7 * x + 3 * y) & 0xFF) << 16 |
                               TColor32((5 * y + x * x) & 0xFF) << 8 |
                               TColor32((x ^ y) * 9 & 0xFF));
    return image;
}

class JpegTranscodeTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(FFolder.isValid()); }
    QString PathOf(const QString& name) const { return FFolder.filePath(name); }
    QTemporaryDir FFolder;
};

TEST_F(JpegTranscodeTest, EveryPointOperationWritesTheWholePathsFileByteForByte) {
    const QString oddHeight = PathOf(QStringLiteral("odd.jpg"));
    WriteImageFile(oddHeight, Pattern(70, 33), 90);
    const QString oneRow = PathOf(QStringLiteral("row.jpg"));
    WriteImageFile(oneRow, Pattern(9, 1), 90);
    const struct {
        const char* Name;
        std::vector<TPixelOperation> Operations;
    } jobs[] = {
        {"re-save", {}},
        {"negative", {[](TBitmap32& i) { Negative(i); }}},
        {"brightness 25", {[](TBitmap32& i) { AdjustBrightness(i, 25); }}},
        {"brightness -100", {[](TBitmap32& i) { AdjustBrightness(i, -100); }}},
        {"iso 32", {[](TBitmap32& i) { IsoBrightness(i, 32); }}},
        {"iso 128", {[](TBitmap32& i) { IsoBrightness(i, 128); }}},
        {"washout", {[](TBitmap32& i) { Washout(i); }}},
        {"bw 100", {[](TBitmap32& i) { BlackAndWhite(i, 100); }}},
        // The negative's alpha 0 must not reach the next step differently on either path.
        {"negative, brightness 40",
         {[](TBitmap32& i) { Negative(i); }, [](TBitmap32& i) { AdjustBrightness(i, 40); }}},
    };
    const camera_jpeg::TFixtures& made = Fixtures();
    for (const QString& input : {made.Camera, made.Sideways, made.Cmyk, oddHeight, oneRow}) {
        for (const auto& job : jobs) {
            const std::string label = QFileInfo(input).fileName().toStdString() + ", " + job.Name;
            const TOutcome whole =
                WholePath(input, PathOf(QStringLiteral("whole.jpg")), 95, job.Operations, true);
            ASSERT_TRUE(whole.Error.isEmpty()) << label << ": " << whole;
            EXPECT_EQ(BandPath(input, PathOf(QStringLiteral("band.jpg")), 95, job.Operations, true),
                      whole)
                << label;
        }
    }
}

TEST_F(JpegTranscodeTest, QualityAndStrippedMetadataAreThoseOfTheWholePath) {
    const std::vector<TPixelOperation> washout = {[](TBitmap32& i) { Washout(i); }};
    const struct {
        int Quality;
        bool KeepMetadata;
    } cases[] = {{95, false}, {1, true}, {300, true}, {-7, false}};
    for (const auto& c : cases) {
        const std::string label =
            "quality " + std::to_string(c.Quality) + (c.KeepMetadata ? ", kept" : ", stripped");
        const TOutcome whole = WholePath(Fixtures().Camera, PathOf(QStringLiteral("whole.jpg")),
                                         c.Quality, washout, c.KeepMetadata);
        const TOutcome band = BandPath(Fixtures().Camera, PathOf(QStringLiteral("band.jpg")),
                                       c.Quality, washout, c.KeepMetadata);
        EXPECT_EQ(band, whole) << label;
        // The EXIF block travels only when kept: the comparison above saw it on both paths.
        EXPECT_EQ(band.File.contains("Exif\0\0"), c.KeepMetadata) << label;
    }
}

TEST_F(JpegTranscodeTest, DamagedFilesFailOrShowAsOnTheWholePathAndFailuresKeepTheOldOutput) {
    const QByteArray camera = ReadAll(Fixtures().Camera);
    ASSERT_FALSE(camera.isEmpty());
    const TJpegLayout layout = LayoutOf(camera);
    ASSERT_GT(layout.ScanData, 0);
    ASSERT_FALSE(layout.FrameHeader.isEmpty());
    const qsizetype eoi = camera.lastIndexOf("\xFF\xD9");
    const struct {
        const char* Name;
        QByteArray Bytes;
        bool Fails;
    } cases[] = {
        // Rows past the cut come out grey; the file is written.
        {"cut in the scan", camera.left((layout.ScanData + eoi) / 2), false},
        {"cut in the header", camera.left(layout.ScanData / 2), true},
        // A second frame header after the last row: libjpeg fails only once every band has
        // been written to the new file, which must then be discarded.
        {"frame header after the scan",
         camera.left(eoi) + layout.FrameHeader + QByteArray("\xFF\xD9", 2), true},
        {"no picture at all", QByteArray("plain text under a JPEG's name"), true},
        {"empty scan", camera.left(layout.ScanData) + QByteArray("\xFF\xD9", 2), false},
    };
    const std::vector<TPixelOperation> negative = {[](TBitmap32& i) { Negative(i); }};
    for (const auto& c : cases) {
        const QString input = PathOf(QStringLiteral("damaged.jpg"));
        WriteAll(input, c.Bytes);
        const TOutcome whole =
            WholePath(input, PathOf(QStringLiteral("whole.jpg")), 95, negative, true);
        EXPECT_EQ(!whole.Error.isEmpty(), c.Fails) << c.Name << ": " << whole;
        const TOutcome band =
            BandPath(input, PathOf(QStringLiteral("band.jpg")), 95, negative, true);
        EXPECT_EQ(band, whole) << c.Name;
        if (c.Fails) {
            EXPECT_EQ(band.File, kOldOutput) << c.Name;
        }
    }
    // Nothing but the inputs and the two outputs: no temporary file is left behind.
    EXPECT_EQ(test_files::Entries(FFolder.path()),
              (QStringList{QStringLiteral("band.jpg"), QStringLiteral("damaged.jpg"),
                           QStringLiteral("whole.jpg")}));
}

// The fuzzers' and bug reporters' files: refused headers, bombs, too many scans, corrupt data.
// Those the loader does not read as JPEG never take the band path.
TEST_F(JpegTranscodeTest, EveryMalformedJpegOfTheCorpusGivesTheWholePathsOutcome) {
    SKIP_WITHOUT_CORPUS();
    const QString corpus = test_corpus::Folder();
    const std::vector<TPixelOperation> brightness = {[](TBitmap32& i) { AdjustBrightness(i, 30); }};
    const QString whole = PathOf(QStringLiteral("whole.jpg"));
    const QString band = PathOf(QStringLiteral("band.jpg"));
    int files = 0;
    for (const char* folder : {"/malformed/libjpeg-turbo-seed/jpeg-bug-reports",
                               "/malformed/libjpeg-turbo-seed/afl-edges-only/jpeg",
                               "/malformed/libjpeg-turbo-seed/afl-edges-only/jpeg_turbo"}) {
        QDirIterator it(corpus + QLatin1String(folder), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString input = it.next();
            // Seconds of decoding per path, and nothing the others do not show.
            if (input.endsWith(QLatin1String("/FuzzTimeout.jpg"))) continue;
            if (ImageFileTypeOf(input) != TImageFileType::Jpeg) continue;
            ++files;
            EXPECT_EQ(BandPath(input, band, 95, brightness, true),
                      WholePath(input, whole, 95, brightness, true))
                << input.toStdString();
        }
    }
    EXPECT_GT(files, 100) << "the corpus is missing";
}

TEST_F(JpegTranscodeTest, OnlyJpegDataTheLoaderReadsAsJpegGoesToAJpegInBands) {
    const QByteArray jpeg = ReadAll(Fixtures().Camera);
    const QByteArray png = ReadAll(Fixtures().Png);
    ASSERT_FALSE(jpeg.isEmpty());
    ASSERT_FALSE(png.isEmpty());
    const struct {
        const char* Input;
        QByteArray Bytes;
        const char* Output;
        bool Bands;
    } cases[] = {
        {"a.jpg", jpeg, "out.jpg", true},
        {"a.JPEG", jpeg, "out.JPG", true},
        {"a", jpeg, "out.jpg", true},  // the loader reads any unknown ending as JPEG
        {"a.jpg", png, "out.jpg", false},
        {"a.png", jpeg, "out.jpg", true},  // the bytes decide: the loader reads a JPEG
        {"a.jpg", jpeg, "out.png", false},
        {"a.jpg", jpeg, "out.jpeg", false},  // no save type at all
        {"a.jpg", QByteArray("\xFF"), "out.jpg", false},
        {"a.jpg", QByteArray(), "out.jpg", false},
    };
    for (const auto& c : cases) {
        QDir(FFolder.path()).removeRecursively();
        QDir().mkpath(FFolder.path());
        const QString input = PathOf(QLatin1String(c.Input));
        WriteAll(input, c.Bytes);
        EXPECT_EQ(CanTranscodeInBands(input, PathOf(QLatin1String(c.Output))), c.Bands)
            << c.Input << " holding " << c.Bytes.size() << " bytes, to " << c.Output;
    }
    EXPECT_FALSE(CanTranscodeInBands(PathOf(QStringLiteral("missing.jpg")),
                                     PathOf(QStringLiteral("out.jpg"))));
    EXPECT_FALSE(CanTranscodeInBands(FFolder.path(), PathOf(QStringLiteral("out.jpg"))));
}

}  // namespace
