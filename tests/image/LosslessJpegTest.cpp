// Quarter turns, flips and mirrors written from a JPEG's coefficients: what jpegtran -perfect
// gives, the file's own quality, the metadata of any save, and the ordinary encoder whenever the
// transform cannot be perfect or the pixels are no longer the file's.

#include <gtest/gtest.h>

#include <QFile>
#include <functional>
#include <QTemporaryDir>

#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "image/PixelTurn.h"
#include "support/JpegTables.h"
#include "support/PhotoTags.h"
#include "support/RasterPatterns.h"
#include "support/TestFiles.h"

namespace {

using test_files::ReadAll;

const TJpegWriteOptions kLossless{TChromaSampling::Yuv420, true};

// The raster laid turn's way: ApplyExifOrientation(o) lays it as TPixelTurn::ForExifOrientation(o).
void Lay(TBitmap32& image, TPixelTurn turn) {
    ApplyExifOrientation(image, int(turn.Kind()) + 1);
}

const struct {
    TPixelTurn::TKind Kind;
    QStringList Jpegtran;
} kTurns[] = {
    {TPixelTurn::Mirror, {QStringLiteral("-flip"), QStringLiteral("horizontal")}},
    {TPixelTurn::HalfTurn, {QStringLiteral("-rotate"), QStringLiteral("180")}},
    {TPixelTurn::Flip, {QStringLiteral("-flip"), QStringLiteral("vertical")}},
    {TPixelTurn::Transpose, {QStringLiteral("-transpose")}},
    {TPixelTurn::Clockwise, {QStringLiteral("-rotate"), QStringLiteral("90")}},
    {TPixelTurn::Transverse, {QStringLiteral("-transverse")}},
    {TPixelTurn::CounterClockwise, {QStringLiteral("-rotate"), QStringLiteral("270")}},
};

class LosslessJpeg : public ::testing::Test {
  protected:
    QString PathOf(const QString& name) const { return FDir.filePath(name); }

    // A camera-like photo: noise (every block different), quality 80, camera tags with a
    // thumbnail.
    QString MakePhoto(int width, int height, TChromaSampling sampling,
                      const QString& name = QStringLiteral("photo.JPG")) {
        const QString path = PathOf(name);
        WriteImageFile(path, Noise(width, height, 7), 80, {}, {sampling, false});
        photo_tags::AddCameraMetadata(path, 1, 0, ReadAll(path));
        return path;
    }

    // Loads the photo as stored, lays it turn's way as the window's commands do, and saves.
    TSaveOutcome TurnAndSave(const QString& photo, TPixelTurn turn, const QString& output,
                             const std::function<void(TBitmap32&)>& meanwhile = {}) {
        TBitmap32 image;
        TKeptMetadata kept = LoadPhotoFromFile(photo, image, false);
        const std::uint64_t before = image.ContentStamp();
        Lay(image, turn);
        kept.Turned(turn, before, image.ContentStamp());
        if (meanwhile) meanwhile(image);
        return WriteImageFile(output, image, 95, kept, kLossless);
    }

    static TBitmap32 Decoded(const QString& path) {
        TBitmap32 image;
        LoadImageFromFile(path, image);
        return image;
    }

    QTemporaryDir FDir;
};

}  // namespace

TEST(PixelTurn, AnyTwoInARowMakeTheOneTheyCompose) {
    TBitmap32 source;
    FillPattern(source, 3, 2);
    for (int a = TPixelTurn::None; a <= TPixelTurn::CounterClockwise; ++a)
        for (int b = TPixelTurn::None; b <= TPixelTurn::CounterClockwise; ++b) {
            SCOPED_TRACE(testing::Message() << a << " then " << b);
            TBitmap32 stepwise;
            stepwise.Assign(source);
            Lay(stepwise, TPixelTurn::TKind(a));
            Lay(stepwise, TPixelTurn::TKind(b));
            TBitmap32 composed;
            composed.Assign(source);
            const TPixelTurn both = TPixelTurn(TPixelTurn::TKind(a)).Then(TPixelTurn::TKind(b));
            Lay(composed, both);
            EXPECT_TRUE(SamePixels(stepwise, composed));
            EXPECT_EQ(both.SwapsSides(), stepwise.Width() != source.Width());
        }
}

TEST_F(LosslessJpeg, EachTurnDecodesToJpegtransAndKeepsTheFilesQuality) {
    if (!jpeg_tables::JpegtranPresent()) GTEST_SKIP() << "jpegtran (libjpeg-turbo-progs) missing";
    for (const TChromaSampling sampling : {TChromaSampling::Yuv420, TChromaSampling::Yuv422}) {
        const QString photo = MakePhoto(64, 48, sampling);
        const QByteArray source = ReadAll(photo);
        for (const auto& turn : kTurns) {
            SCOPED_TRACE(turn.Jpegtran.join(QLatin1Char(' ')).toStdString());
            const QString ours = PathOf(QStringLiteral("ours.JPG"));
            const QString theirs = PathOf(QStringLiteral("theirs.jpg"));
            EXPECT_TRUE(TurnAndSave(photo, turn.Kind, ours).Lossless);
            ASSERT_TRUE(jpeg_tables::Jpegtran(turn.Jpegtran, photo, theirs));
            EXPECT_TRUE(SamePixels(Decoded(ours), Decoded(theirs)));
            const QByteArray written = ReadAll(ours);
            const bool swapped = TPixelTurn(turn.Kind).SwapsSides();
            // The file's own tables and sampling, transposed with the picture when its sides
            // trade places.
            const QByteArray tables = jpeg_tables::QuantisationTables(source);
            EXPECT_EQ(jpeg_tables::QuantisationTables(written),
                      swapped ? jpeg_tables::TransposedQuantisationTables(tables) : tables);
            const auto factors = jpeg_tables::SamplingFactors(source).front();
            EXPECT_EQ(jpeg_tables::SamplingFactors(written).front(),
                      swapped ? std::make_pair(factors.second, factors.first) : factors);
            // The tags of any save: the size written, orientation 1, no thumbnail.
            const photo_tags::TTags tags = photo_tags::Read(ours);
            EXPECT_EQ(tags.ExifValue("Exif.Image.Make"), "Kelvo Optics");
            EXPECT_EQ(tags.ExifValue("Exif.Image.Orientation"), "1");
            EXPECT_EQ(tags.ExifValue("Exif.Photo.PixelXDimension"), swapped ? "48" : "64");
            EXPECT_EQ(tags.ThumbnailBytes, 0);
            EXPECT_EQ(tags.Iptc.count("Iptc.Application2.City"), 1u);
        }
    }
}

TEST_F(LosslessJpeg, ASideOfPartialBlocksThatATurnMovesIsEncoded) {
    // 4:2:0 blocks are 16 x 16: the width of 72 is not whole, the height of 48 is. A turn
    // whose partial blocks stay at the right or bottom is still perfect.
    const QString photo = MakePhoto(72, 48, TChromaSampling::Yuv420);
    const struct {
        TPixelTurn::TKind Kind;
        bool Lossless;
    } cases[] = {
        {TPixelTurn::Mirror, false},
        {TPixelTurn::CounterClockwise, false},
        {TPixelTurn::Flip, true},
        {TPixelTurn::Clockwise, true},
        {TPixelTurn::Transpose, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.Kind));
        const QString out = PathOf(QStringLiteral("out.JPG"));
        QFile::remove(out);
        EXPECT_EQ(TurnAndSave(photo, c.Kind, out).Lossless, c.Lossless);
        TBitmap32 expected = Decoded(photo);
        Lay(expected, c.Kind);
        const TBitmap32 written = Decoded(out);
        ASSERT_EQ(written.Width(), expected.Width());
        ASSERT_EQ(written.Height(), expected.Height());
        // Encoded at 95 the file no longer has the photo's own tables.
        EXPECT_EQ(jpeg_tables::SameQuality(ReadAll(out), ReadAll(photo)), c.Lossless);
    }
}

TEST_F(LosslessJpeg, OnlyTheUnchangedFileOfUntouchedPixelsIsTransformed) {
    const QString photo = MakePhoto(64, 48, TChromaSampling::Yuv420);
    const QByteArray source = ReadAll(photo);
    const struct {
        const char* Name;
        std::function<void(TBitmap32&)> Meanwhile;
        bool Lossless;
    } cases[] = {
        {"untouched", {}, true},
        {"a pixel edited",
         [](TBitmap32& image) {
             image.SetPixel(3, 3, 0xFF000000u);
             image.Changed();
         },
         false},
        {"the file replaced",
         [&](TBitmap32&) {
             TBitmap32 other = Noise(64, 48, 9);
             WriteImageFile(photo, other, 80);
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString out = PathOf(QStringLiteral("out.JPG"));
        EXPECT_EQ(TurnAndSave(photo, TPixelTurn::Clockwise, out, c.Meanwhile).Lossless,
                  c.Lossless);
        EXPECT_EQ(jpeg_tables::SameQuality(ReadAll(out), source), c.Lossless);
    }
}

TEST_F(LosslessJpeg, AnUprightLoadCountsAsATurnAndNoneAtAllCopiesTheCoefficients) {
    if (!jpeg_tables::JpegtranPresent()) GTEST_SKIP() << "jpegtran (libjpeg-turbo-progs) missing";
    const QString photo = MakePhoto(64, 48, TChromaSampling::Yuv420);
    photo_tags::SetOrientation(photo, 6);
    const QString theirs = PathOf(QStringLiteral("theirs.jpg"));
    for (const bool upright : {true, false}) {
        SCOPED_TRACE(upright);
        TBitmap32 image;
        const TKeptMetadata kept = LoadPhotoFromFile(photo, image, upright);
        const QString out = PathOf(QStringLiteral("out.JPG"));
        EXPECT_TRUE(WriteImageFile(out, image, 95, kept, kLossless).Lossless);
        ASSERT_TRUE(jpeg_tables::Jpegtran(
            upright ? QStringList{QStringLiteral("-rotate"), QStringLiteral("90")} : QStringList{},
            photo, theirs));
        EXPECT_TRUE(SamePixels(Decoded(out), Decoded(theirs)));
        EXPECT_EQ(photo_tags::Read(out).ExifValue("Exif.Image.Orientation"), upright ? "1" : "6");
    }
}
