// kelvoimage-cli and how a camera photo stands: geometry on the picture as every viewer shows
// it, the orientation tag kept true, lossless JPEG turns, the colour sampling asked for, and no
// EXIF tag lost without a word.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <exiv2/exiv2.hpp>

#include "base/KelvoError.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "image/PixelTurn.h"
#include "support/CliRun.h"
#include "support/JpegTables.h"
#include "support/PhotoTags.h"
#include "support/RasterPatterns.h"
#include "support/TestFiles.h"

namespace {

using test_files::ReadAll;

// The raster laid turn's way.
void Lay(TBitmap32& image, TPixelTurn turn) {
    ApplyExifOrientation(image, int(turn.Kind()) + 1);
}

TPixelTurn Inverse(TPixelTurn turn) {
    for (int kind = TPixelTurn::None; kind <= TPixelTurn::CounterClockwise; ++kind)
        if (turn.Then(TPixelTurn::TKind(kind)).IsNone()) return TPixelTurn::TKind(kind);
    return {};
}

// A picture no turn or mirror maps onto itself: flat areas of very different colours, so a
// picture the wrong way round differs everywhere, while the JPEG's own error stays small.
TColor32 UprightColor(int x, int y) {
    if (x < 14) return y < 10 ? 0xFFE02020u : 0xFF20C040u;
    if (y < 20) return x < 36 ? 0xFF2040E0u : 0xFFF0F0F0u;
    return x < 30 ? 0xFFE0E020u : 0xFF101010u;
}

// The mean difference per channel between two pictures of one size; a large value otherwise.
double MeanDifference(const TBitmap32& a, const TBitmap32& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Empty()) return 1e9;
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            for (int shift = 0; shift < 24; shift += 8)
                sum += std::abs(int(a.GetPixel(x, y) >> shift & 0xFF) -
                                int(b.GetPixel(x, y) >> shift & 0xFF));
    return sum / (3.0 * double(a.PixelCount()));
}

TBitmap32 Decoded(const QString& path) {
    TBitmap32 image;
    LoadImageFromFile(path, image);
    return image;
}

class OrientationCli : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        FUpright.SetSize(48, 32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 48; ++x)
                FUpright.SetPixel(x, y, UprightColor(x, y));
    }
    QString PathOf(const QString& name) const { return FDir.filePath(name); }

    // The upright picture as a camera stores it with this orientation: 4:4:4 at quality 100,
    // the orientation written by Exiv2.
    QString StoredPhoto(int orientation) {
        TBitmap32 stored;
        stored.Assign(FUpright);
        Lay(stored, Inverse(TPixelTurn::ForExifOrientation(orientation)));
        const QString path = PathOf(QStringLiteral("stored%1.JPG").arg(orientation));
        WriteImageFile(path, stored, 100, {}, {TChromaSampling::Yuv444, false});
        photo_tags::SetOrientation(path, orientation);
        return path;
    }

    TCliRun Run(const QString& input, const QStringList& steps, const QString& output) {
        return RunCli(QStringList{input} + steps + QStringList{QStringLiteral("-o"), output});
    }

    QTemporaryDir FDir;
    TBitmap32 FUpright;
};

}  // namespace

TEST_F(OrientationCli, GeometryActsOnThePictureAsShownForEveryOrientation) {
    const QString hotSpot = PathOf(QStringLiteral("hotspot.png"));
    WriteImageFile(hotSpot, Filled(48, 32, 0xFF606060u), 95);
    const QString upright = StoredPhoto(1);
    const QStringList stepsList[] = {
        {QStringLiteral("--cw")},
        {QStringLiteral("--ccw")},
        {QStringLiteral("--flip")},
        {QStringLiteral("--mirror")},
        {QStringLiteral("--rotate"), QStringLiteral("30")},
        {QStringLiteral("--crop"), QStringLiteral("6,4,20,14")},
        {QStringLiteral("--double")},
        {QStringLiteral("--half")},
        {QStringLiteral("--quarter")},
        {QStringLiteral("--hotspot"), hotSpot},
        {QStringLiteral("--upright"), QStringLiteral("--mirror")},
    };
    for (const QStringList& steps : stepsList) {
        SCOPED_TRACE(steps.join(QLatin1Char(' ')).toStdString());
        const QString reference = PathOf(QStringLiteral("reference.png"));
        ASSERT_EQ(Run(upright, steps, reference).ExitCode, 0);
        const TBitmap32 expected = Decoded(reference);
        const QString referenceJpeg = PathOf(QStringLiteral("reference.JPG"));
        ASSERT_EQ(Run(upright, steps, referenceJpeg).ExitCode, 0);
        const TBitmap32 expectedJpeg = Decoded(referenceJpeg);
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(orientation);
            const QString photo = StoredPhoto(orientation);
            const QString shown = PathOf(QStringLiteral("shown.png"));
            const TCliRun run = Run(photo, steps, shown);
            ASSERT_EQ(run.ExitCode, 0) << run.StandardError.toStdString();
            EXPECT_LT(MeanDifference(Decoded(shown), expected), 3.0);
            // A JPEG of the result shows the same without turning: orientation 1.
            const QString jpeg = PathOf(QStringLiteral("shown.JPG"));
            ASSERT_EQ(Run(photo, steps, jpeg).ExitCode, 0);
            EXPECT_EQ(photo_tags::Read(jpeg).ExifValue("Exif.Image.Orientation"), "1");
            EXPECT_LT(MeanDifference(Decoded(jpeg), expectedJpeg), 3.0);
        }
    }
}

TEST_F(OrientationCli, PointStepsAndAsStoredKeepTheStoredPixelsAndATrueTag) {
    const QString photo = StoredPhoto(6);
    TBitmap32 stored = Decoded(photo);
    const auto negative = [](TBitmap32 image) {
        for (int y = 0; y < image.Height(); ++y)
            for (int x = 0; x < image.Width(); ++x)
                image.SetPixel(x, y, image.GetPixel(x, y) ^ 0x00FFFFFFu);
        return image;
    };
    const auto turned = [](const TBitmap32& image, TPixelTurn turn) {
        TBitmap32 copy;
        copy.Assign(image);
        Lay(copy, turn);
        return copy;
    };
    TBitmap32 cropped;
    cropped.SetSize(10, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 10; ++x)
            cropped.SetPixel(x, y, stored.GetPixel(x + 2, y + 3));
    const struct {
        QStringList Steps;
        TBitmap32 Expected;
        const char* Orientation;
    } cases[] = {
        {{QStringLiteral("--negative")}, negative(turned(stored, {})), "6"},
        {{}, turned(stored, {}), "6"},
        {{QStringLiteral("--as-stored"), QStringLiteral("--cw")},
         turned(stored, TPixelTurn::Clockwise), "1"},
        {{QStringLiteral("--mirror"), QStringLiteral("--as-stored")},
         turned(stored, TPixelTurn::Mirror), "1"},
        // The pixels still lie as stored: the file's own orientation stays true.
        {{QStringLiteral("--as-stored"), QStringLiteral("--crop"), QStringLiteral("2,3,10,20")},
         turned(cropped, {}), "6"},
        {{QStringLiteral("--as-stored"), QStringLiteral("--half")},
         turned(stored, {}), "6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Steps.join(QLatin1Char(' ')).toStdString());
        const QString out = PathOf(QStringLiteral("out.JPG"));
        const TCliRun run = Run(photo, c.Steps, out);
        ASSERT_EQ(run.ExitCode, 0) << run.StandardError.toStdString();
        EXPECT_EQ(photo_tags::Read(out).ExifValue("Exif.Image.Orientation"), c.Orientation);
        const TBitmap32 written = Decoded(out);
        if (c.Steps.contains(QStringLiteral("--half"))) {
            EXPECT_EQ(written.Width(), 16);
            EXPECT_EQ(written.Height(), 24);
        } else {
            EXPECT_LT(MeanDifference(written, c.Expected), 4.0);
        }
    }
}

TEST_F(OrientationCli, TurnsOfAJpegAreLosslessUnlessAnEncodingIsAskedFor) {
    if (!jpeg_tables::JpegtranPresent()) GTEST_SKIP() << "jpegtran (libjpeg-turbo-progs) missing";
    // A quality-80 4:2:0 camera photo stored sideways (orientation 6), 64 x 48 stored.
    const QString photo = PathOf(QStringLiteral("camera.JPG"));
    WriteImageFile(photo, Noise(64, 48, 3), 80);
    photo_tags::AddCameraMetadata(photo, 6, 0, ReadAll(photo));
    const QByteArray source = ReadAll(photo);
    const struct {
        QStringList Steps;
        QStringList Jpegtran;  // empty: encoded, not lossless
    } cases[] = {
        // Upright is a quarter turn clockwise; then the mirror: a transposition in all.
        {{QStringLiteral("--mirror")}, {QStringLiteral("-transpose")}},
        {{QStringLiteral("--cw"), QStringLiteral("--ccw")},
         {QStringLiteral("-rotate"), QStringLiteral("90")}},
        {{QStringLiteral("--upright")}, {QStringLiteral("-rotate"), QStringLiteral("90")}},
        {{QStringLiteral("--as-stored"), QStringLiteral("--flip")},
         {QStringLiteral("-flip"), QStringLiteral("vertical")}},
        {{QStringLiteral("--as-stored"), QStringLiteral("--upright"), QStringLiteral("--cw")},
         {QStringLiteral("-rotate"), QStringLiteral("180")}},
        {{QStringLiteral("--cw"), QStringLiteral("--quality"), QStringLiteral("90")}, {}},
        {{QStringLiteral("--cw"), QStringLiteral("--sampling"), QStringLiteral("444")}, {}},
        {{QStringLiteral("--cw"), QStringLiteral("--brightness"), QStringLiteral("10")}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Steps.join(QLatin1Char(' ')).toStdString());
        const QString out = PathOf(QStringLiteral("out.JPG"));
        const TCliRun run = Run(photo, c.Steps, out);
        ASSERT_EQ(run.ExitCode, 0) << run.StandardError.toStdString();
        const bool lossless = !c.Jpegtran.isEmpty();
        EXPECT_EQ(jpeg_tables::SameQuality(ReadAll(out), source), lossless);
        const photo_tags::TTags tags = photo_tags::Read(out);
        EXPECT_EQ(tags.ExifValue("Exif.Image.Orientation"), "1");
        EXPECT_EQ(tags.ExifValue("Exif.Image.Make"), "Kelvo Optics");
        EXPECT_EQ(tags.ThumbnailBytes, 0);
        if (!lossless) continue;
        const QString theirs = PathOf(QStringLiteral("theirs.jpg"));
        ASSERT_TRUE(jpeg_tables::Jpegtran(c.Jpegtran, photo, theirs));
        const TBitmap32 written = Decoded(out);
        EXPECT_TRUE(SamePixels(written, Decoded(theirs)));
        EXPECT_EQ(tags.ExifValue("Exif.Photo.PixelXDimension"),
                  std::to_string(written.Width()));
    }
    // Partial blocks where the mirror would have to move them: encoded, the same picture.
    const QString ragged = PathOf(QStringLiteral("ragged.JPG"));
    TBitmap32 wide;
    wide.SetSize(72, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 72; ++x)
            wide.SetPixel(x, y, UprightColor(x * 2 / 3, y * 2 / 3));
    WriteImageFile(ragged, wide, 80);
    const QString out = PathOf(QStringLiteral("ragged-out.JPG"));
    ASSERT_EQ(Run(ragged, {QStringLiteral("--mirror")}, out).ExitCode, 0);
    TBitmap32 expected = Decoded(ragged);
    Lay(expected, TPixelTurn::Mirror);
    EXPECT_LT(MeanDifference(Decoded(out), expected), 6.0);
}

TEST_F(OrientationCli, SamplingIsTheOneAskedFor) {
    const QString input = PathOf(QStringLiteral("in.png"));
    WriteImageFile(input, Noise(32, 32, 2), 95);
    const struct {
        QStringList Option;
        std::pair<int, int> Luma;
    } cases[] = {
        {{}, {2, 2}},
        {{QStringLiteral("--sampling"), QStringLiteral("420")}, {2, 2}},
        {{QStringLiteral("--sampling"), QStringLiteral("422")}, {2, 1}},
        {{QStringLiteral("--sampling"), QStringLiteral("444")}, {1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Option.join(QLatin1Char(' ')).toStdString());
        const QString out = PathOf(QStringLiteral("out.JPG"));
        ASSERT_EQ(Run(input, c.Option, out).ExitCode, 0);
        const auto factors = jpeg_tables::SamplingFactors(ReadAll(out));
        ASSERT_EQ(factors.size(), 3u);
        EXPECT_EQ(factors[0], c.Luma);
        EXPECT_EQ(factors[1], std::make_pair(1, 1));
        // The band path (a JPEG in, point steps only) writes the same sampling.
        const QString again = PathOf(QStringLiteral("again.JPG"));
        ASSERT_EQ(Run(out, c.Option + QStringList{QStringLiteral("--negative")}, again).ExitCode, 0);
        EXPECT_EQ(jpeg_tables::SamplingFactors(ReadAll(again)).front(), c.Luma);
    }
    const QString bad = PathOf(QStringLiteral("bad.JPG"));
    const TCliRun run = Run(input, {QStringLiteral("--sampling"), QStringLiteral("411")}, bad);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.StandardError,
              CliErrorLine({}, QStringLiteral("Invalid sampling '411': 444, 422 or 420 is needed")));
    EXPECT_FALSE(QFile::exists(bad));
}

namespace {

// A JPEG whose EXIF block is between 65,500 and 65,527 bytes: Make, and the rest one large tag.
void WriteFullExif(const QString& path, const char* bulkKey) {
    WriteImageFile(path, Noise(32, 32, 4), 90);
    int bulk = 65000;
    for (int attempt = 0; attempt < 3; ++attempt) {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(photo_tags::PathOf(path));
        Exiv2::ExifData exif;
        exif["Exif.Image.Make"] = "Kelvo Optics";
        exif["Exif.Image.Model"] = "K-1 Test";
        Exiv2::DataValue value(Exiv2::undefined);
        const std::string bytes(std::size_t(bulk), 'k');
        value.read(reinterpret_cast<const Exiv2::byte*>(bytes.data()), long(bytes.size()));
        exif.add(Exiv2::ExifKey(bulkKey), &value);
        image->setExifData(exif);
        image->writeMetadata();
        const auto kept = TPhotoMetadata::FromMarkers([&] {
            std::vector<TJpegMarker> markers;
            jpeg_tables::ForEachSegment(ReadAll(path), [&](int code, const QByteArray& payload) {
                markers.push_back({code, payload});
            });
            return markers;
        }());
        const int size = kept ? int(kept->Exif().size()) : 0;
        if (size >= 65500 && size <= 65527) return;
        bulk += 65515 - size;
    }
    FAIL() << "could not make an EXIF block of about 65,500 bytes";
}

}  // namespace

TEST_F(OrientationCli, AFullExifBlockLosesItsMakerNoteOrGoesWithAWarningNeverATagSilently) {
    const struct {
        const char* BulkKey;
        QStringList Steps;
        bool Kept;
    } cases[] = {
        {"Exif.Photo.MakerNote", {QStringLiteral("--cw")}, true},
        {"Exif.Photo.MakerNote", {QStringLiteral("--negative")}, true},
        {"Exif.Photo.UserComment", {QStringLiteral("--cw")}, false},
        {"Exif.Photo.UserComment", {QStringLiteral("--linear")}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.BulkKey) + " " + c.Steps.join(QLatin1Char(' ')).toStdString());
        const QString photo = PathOf(QStringLiteral("full.JPG"));
        WriteFullExif(photo, c.BulkKey);
        ASSERT_EQ(photo_tags::Read(photo).ExifValue("Exif.Image.Make"), "Kelvo Optics");
        const QString out = PathOf(QStringLiteral("out.JPG"));
        QFile::remove(out);
        const TCliRun run = Run(photo, c.Steps, out);
        EXPECT_EQ(run.ExitCode, 0);
        const photo_tags::TTags tags = photo_tags::Read(out);
        if (c.Kept) {
            EXPECT_EQ(run.StandardError, QString());
            EXPECT_EQ(tags.ExifValue("Exif.Image.Make"), "Kelvo Optics");
            EXPECT_EQ(tags.ExifValue("Exif.Image.Model"), "K-1 Test");
            EXPECT_EQ(tags.Exif.count("Exif.Photo.MakerNote"), 0u);
            EXPECT_EQ(tags.ExifValue("Exif.Photo.PixelXDimension"), "32");
        } else {
            EXPECT_EQ(run.StandardError,
                      QStringLiteral("kelvoimage-cli: warning: %1: %2\n").arg(out, ExifLeftOutText()));
            EXPECT_TRUE(tags.Exif.empty());
            EXPECT_EQ(Decoded(out).Width(), 32);
        }
    }
}

namespace {

// A profile that libpng accepts: an RGB display profile with the D50 illuminant and no tags.
QByteArray SmallIccProfile() {
    QByteArray profile(132, '\0');
    const auto put = [&](int at, const char* four) { profile.replace(at, 4, QByteArray(four, 4)); };
    const auto number = [&](int at, quint32 value) {
        for (int i = 0; i < 4; ++i)
            profile[at + i] = char(value >> (24 - 8 * i));
    };
    number(0, 132);
    number(8, 0x02100000u);
    put(12, "mntr");
    put(16, "RGB ");
    put(20, "XYZ ");
    put(36, "acsp");
    number(68, 0x0000F6D6u);
    number(72, 0x00010000u);
    number(76, 0x0000D32Du);
    return profile;
}

// The profile of a PNG's iCCP chunk, decompressed; empty when there is none.
QByteArray PngIccProfile(const QByteArray& png) {
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const quint32 length = quint32(quint8(png[at])) << 24 | quint32(quint8(png[at + 1])) << 16 |
                               quint32(quint8(png[at + 2])) << 8 | quint8(png[at + 3]);
        const QByteArray type = png.mid(at + 4, 4);
        const QByteArray data = png.mid(at + 8, qsizetype(length));
        if (type == "iCCP") {
            const qsizetype name = data.indexOf('\0');
            QByteArray compressed(4, '\0');
            compressed[1] = char(0x10);  // room enough: qUncompress wants a size first
            return qUncompress(compressed + data.mid(name + 2));
        }
        at += 12 + qsizetype(length);
    }
    return {};
}

}  // namespace

TEST_F(OrientationCli, APngCarriesThePhotosColourProfile) {
    const QString photo = PathOf(QStringLiteral("profiled.JPG"));
    WriteImageFile(photo, Noise(16, 16, 6), 90);
    const QByteArray profile = SmallIccProfile();
    {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(photo_tags::PathOf(photo));
        image->readMetadata();
        Exiv2::DataBuf buffer(reinterpret_cast<const Exiv2::byte*>(profile.constData()),
                                    long(profile.size()));
        image->setIccProfile(buffer, false);
        image->writeMetadata();
    }
    const QString png = PathOf(QStringLiteral("out.png"));
    ASSERT_EQ(Run(photo, {QStringLiteral("--cw")}, png).ExitCode, 0);
    EXPECT_EQ(PngIccProfile(ReadAll(png)), profile);
    const QString plain = PathOf(QStringLiteral("plain.png"));
    ASSERT_EQ(Run(photo, {QStringLiteral("--strip"), QStringLiteral("--cw")}, plain).ExitCode, 0);
    EXPECT_EQ(PngIccProfile(ReadAll(plain)), QByteArray());
}
