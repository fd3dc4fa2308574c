// HEIC, AVIF, WebP and camera RAW files made here by the formats' own encoders, decoded by the
// loader and compared with the formats' reference decoders (dwebp, heif-convert, avifdec) where
// they are installed; and the one table that picks a decoder by content and ending.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstring>

#include "base/KelvoError.h"
#include "image/Bitmap32.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "image/JpegDecoder.h"
#include "info/PropertyReport.h"
#include "support/CameraFormats.h"
#include "support/PhotoTags.h"
#include "support/RasterPatterns.h"
#include "support/TestFiles.h"

namespace {

using namespace camera_formats;
using test_files::ReadAll;
using test_files::WriteAll;

// Four flat quarters of distinct colours, big enough that lossy coding keeps each recognisable
// in its middle: where a turn or a mirror puts them shows which one was made.
TBitmap32 Quarters(int width, int height) {
    TBitmap32 image;
    image.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            const TColor32 colors[4] = {0xFFE02020u, 0xFF20E020u, 0xFF2020E0u, 0xFFE0E020u};
            image.ScanLine(y)[x] = colors[(bottom ? 2 : 0) + (right ? 1 : 0)];
        }
    return image;
}

// A smooth picture with fine detail, where a decoder's colour conversion and upsampling show.
TBitmap32 Gradient(int width, int height) {
    TBitmap32 image;
    image.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.ScanLine(y)[x] = 0xFF000000u | TColor32((x * 255) / width) << 16 |
                                   TColor32((y * 255) / height) << 8 | TColor32((x ^ y) & 0xFF);
    return image;
}

bool Near(TColor32 a, TColor32 b, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    return true;
}

QString LoadError(const QString& name, TBitmap32& image) {
    try {
        LoadImageFromFile(name, image);
    } catch (const KelvoError& error) {
        return error.Message();
    }
    return {};
}

class CameraFormatsTest : public testing::Test {
  protected:
    QString Path(const QString& name) const { return FDir.filePath(name); }

    // The reference decoder's picture through a PNG it writes; empty when it is not installed
    // (reason set) or failed.
    bool Reference(const char* tool, const QStringList& arguments, const QString& png,
                   TBitmap32& picture) {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(tool));
        if (program.isEmpty()) {
            FSkipReason = QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool));
            return false;
        }
        QProcess process;
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForFinished(60000)) << tool;
        EXPECT_EQ(process.exitCode(), 0) << tool << ": " << process.readAllStandardError().constData();
        LoadImageFromFile(png, picture);
        return true;
    }

    QTemporaryDir FDir;
    QString FSkipReason;
};

// ---- the table ----

TEST(ImageFileTypesTest, EndingsOfTheNewFormatsAndTheWrittenOnes) {
    const struct {
        const char* name;
        TImageFileType type;
    } cases[] = {
        {"IMG_0001.HEIC", TImageFileType::Heif}, {"a.heif", TImageFileType::Heif},
        {"a.hif", TImageFileType::Heif},         {"a.AVIF", TImageFileType::Heif},
        {"a.WebP", TImageFileType::Webp},        {"a.CR2", TImageFileType::Raw},
        {"a.cr3", TImageFileType::Raw},          {"a.NEF", TImageFileType::Raw},
        {"a.nrw", TImageFileType::Raw},          {"a.ARW", TImageFileType::Raw},
        {"a.sr2", TImageFileType::Raw},          {"a.dng", TImageFileType::Raw},
        {"a.ORF", TImageFileType::Raw},          {"a.rw2", TImageFileType::Raw},
        {"a.RAF", TImageFileType::Raw},          {"a.pef", TImageFileType::Raw},
        {"a.SRW", TImageFileType::Raw},          {"a.jpeg", TImageFileType::Jpeg},
        {"a.tif", TImageFileType::Tiff},         {"a.heic.txt", TImageFileType::Jpeg},
        {"a.raw", TImageFileType::Jpeg},         {"noending", TImageFileType::Jpeg},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ImageFileTypeOf(QString::fromUtf8(c.name)), c.type) << c.name;
    EXPECT_FALSE(ImageFileTypeOfEnding(QStringLiteral("noending")));
    EXPECT_FALSE(ImageFileTypeOfEnding(QStringLiteral("a.txt")));
}

TEST(ImageFileTypesTest, FirstBytesNameTheirFormat) {
    const struct {
        QByteArray head;
        std::optional<TImageFileType> type;
    } cases[] = {
        {QByteArray("\xFF\xD8\xFF\xE0", 4), TImageFileType::Jpeg},
        {QByteArray("\x89PNG\r\n\x1A\n", 8), TImageFileType::Png},
        {QByteArray("GIF89a"), TImageFileType::Gif},
        {QByteArray("BM") + QByteArray(12, '\0') + QByteArray("\x28\0\0\0", 4),
         TImageFileType::Bmp},
        {QByteArray("BM plain text, not a bitmap"), std::nullopt},
        {QByteArray("II*\0", 4), TImageFileType::Tiff},
        {QByteArray("MM\0*", 4), TImageFileType::Tiff},
        {QByteArray("IIRO", 4), TImageFileType::Raw},
        {QByteArray("IIU\0", 4), TImageFileType::Raw},
        {QByteArray("FUJIFILMCCD-RAW 0201"), TImageFileType::Raw},
        {QByteArray("RIFF\x10\0\0\0WEBPVP8 ", 16), TImageFileType::Webp},
        {QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16), std::nullopt},
        {QByteArray("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24), TImageFileType::Heif},
        {QByteArray("\0\0\0\x1C" "ftypavif\0\0\0\0avifmif1miaf", 28), TImageFileType::Heif},
        // A brand that is no picture, listing a picture brand as compatible.
        {QByteArray("\0\0\0\x18" "ftypmp42\0\0\0\0isommif1", 24), TImageFileType::Heif},
        {QByteArray("\0\0\0\x18" "ftypcrx \0\0\0\x01" "crx isom", 24), TImageFileType::Raw},
        {QByteArray("\0\0\0\x14" "ftypmp42\0\0\0\0isom", 20), std::nullopt},
        {QByteArray("\xFF\xD8", 2), std::nullopt},
        {QByteArray(), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ImageFileTypeOfContent(reinterpret_cast<const std::uint8_t*>(c.head.constData()),
                                         std::size_t(c.head.size())),
                  c.type)
            << c.head.toHex().constData();
}

// Phones' exports and careless renames: the bytes decide, and a file the bytes do not name
// keeps its ending's decoder and message.
TEST_F(CameraFormatsTest, ContentWinsOverTheEnding) {
    const TBitmap32 picture = Gradient(40, 30);
    WriteImageFile(Path("source.png"), picture, 90);
    WriteImageFile(Path("source.jpg"), picture, 90);
    WriteImageFile(Path("source.bmp"), picture, 90);
    ASSERT_TRUE(QFile::copy(Path("source.png"), Path("png-named.jpg")));
    ASSERT_TRUE(QFile::copy(Path("source.jpg"), Path("jpeg-named.png")));
    ASSERT_TRUE(QFile::copy(Path("source.bmp"), Path("bmp-named.gif")));
    WriteAll(Path("webp-named.jpg"), WebpBytes(picture, true, false));
    WriteAll(Path("dng-named.tif.cr2"), DngLikeFile(ReadAll(Path("source.jpg")), 40, 30, 1));

    TBitmap32 expected;
    for (const char* name : {"png-named.jpg", "bmp-named.gif", "webp-named.jpg"}) {
        SCOPED_TRACE(name);
        TBitmap32 image;
        EXPECT_EQ(LoadError(Path(QString::fromLatin1(name)), image), QString());
        EXPECT_TRUE(SamePixels(image, picture));
    }
    LoadImageFromFile(Path("source.jpg"), expected);
    for (const char* name : {"jpeg-named.png", "dng-named.tif.cr2"}) {
        SCOPED_TRACE(name);
        TBitmap32 image;
        EXPECT_EQ(LoadError(Path(QString::fromLatin1(name)), image), QString());
        EXPECT_TRUE(SamePixels(image, expected));
    }
    EXPECT_EQ(ImageDecoderOf(Path("png-named.jpg")), TImageFileType::Png);
    EXPECT_EQ(ImageDecoderOf(Path("dng-named.tif.cr2")), TImageFileType::Raw);
    EXPECT_EQ(ImageDecoderOf(Path("missing.webp")), TImageFileType::Webp);
    // A DNG named as a TIFF is a TIFF: libtiff reads its first picture.
    ASSERT_TRUE(QFile::copy(Path("dng-named.tif.cr2"), Path("camera.tif")));
    EXPECT_EQ(ImageDecoderOf(Path("camera.tif")), TImageFileType::Tiff);
}

// ---- WebP ----

TEST_F(CameraFormatsTest, LosslessWebpIsExactWithItsAlphaKept) {
    TBitmap32 picture;
    FillPattern(picture, 67, 45);  // every alpha from 0 to 255 among its pixels
    WriteAll(Path("pattern.webp"), WebpBytes(picture, true, true));
    TBitmap32 image;
    LoadImageFromFile(Path("pattern.webp"), image);
    ASSERT_EQ(image.Width(), 67);
    ASSERT_EQ(image.Height(), 45);
    for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 67; ++x) {
            const TColor32 source = picture.ScanLine(y)[x];
            const unsigned a = source >> 24;
            const auto over = [&](int shift) { return (((source >> shift) & 0xFF) * a + 127) / 255; };
            const TColor32 expected = source & 0xFF000000u;
            ASSERT_EQ(image.ScanLine(y)[x], expected | over(16) << 16 | over(8) << 8 | over(0))
                << x << "," << y;
        }
    // Without alpha in the file, every pixel is opaque and exact.
    WriteAll(Path("opaque.webp"), WebpBytes(picture, true, false));
    LoadImageFromFile(Path("opaque.webp"), image);
    TBitmap32 opaque;
    opaque.Assign(picture);
    for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 67; ++x)
            opaque.ScanLine(y)[x] |= 0xFF000000u;
    EXPECT_TRUE(SamePixels(image, opaque));
}

TEST_F(CameraFormatsTest, LossyWebpMatchesDwebp) {
    WriteAll(Path("photo.webp"), WebpBytes(Gradient(123, 77), false, false));
    TBitmap32 reference;
    if (!Reference("dwebp", {Path("photo.webp"), QStringLiteral("-o"), Path("dwebp.png")},
                   Path("dwebp.png"), reference))
        GTEST_SKIP() << FSkipReason.toStdString();
    TBitmap32 image;
    LoadImageFromFile(Path("photo.webp"), image);
    EXPECT_TRUE(SamePixels(image, reference));
}

TEST_F(CameraFormatsTest, AnimatedWebpShowsItsFirstFrame) {
    WriteImageFile(Path("first.png"), Quarters(24, 16), 90);
    TBitmap32 second;
    second.SetSize(24, 16);
    second.Clear(0xFF102030u);
    WriteImageFile(Path("second.png"), second, 90);
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("img2webp"));
    if (tool.isEmpty()) GTEST_SKIP() << "img2webp is not installed";
    QProcess process;
    process.start(tool, {QStringLiteral("-lossless"), Path("first.png"), Path("second.png"),
                         QStringLiteral("-o"), Path("anim.webp")});
    ASSERT_TRUE(process.waitForFinished(60000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    TBitmap32 image;
    LoadImageFromFile(Path("anim.webp"), image);
    EXPECT_TRUE(SamePixels(image, Quarters(24, 16)));
}

// ---- HEIC and AVIF ----

struct THeifCase {
    const char* Name;
    heif_compression_format Format;
    const char* Tool;
};

class HeifFormatsTest : public CameraFormatsTest, public testing::WithParamInterface<THeifCase> {};

TEST_P(HeifFormatsTest, DecodesAsTheReferenceDecoderDoes) {
    const THeifCase& c = GetParam();
    const QString file = Path(QString::fromLatin1(c.Name));
    if (const auto why = WriteHeif(file, Gradient(96, 64), c.Format))
        GTEST_SKIP() << "libheif cannot write " << c.Name << " here: " << why->toStdString();
    const QString png = Path(QStringLiteral("reference.png"));
    QStringList arguments = {file, png};
    // libheif upsamples the chroma by repeating each sample; avifdec is asked to do the same.
    if (std::strcmp(c.Tool, "avifdec") == 0)
        arguments = QStringList({QStringLiteral("-u"), QStringLiteral("nearest")}) + arguments;
    TBitmap32 reference;
    if (!Reference(c.Tool, arguments, png, reference)) GTEST_SKIP() << FSkipReason.toStdString();
    TBitmap32 image;
    LoadImageFromFile(file, image);
    ASSERT_EQ(image.Width(), 96);
    ASSERT_EQ(image.Height(), 64);
    // heif-convert runs the same library as the loader: the pixels agree exactly. avifdec
    // decodes through libavif with its own colour conversion, which rounds differently.
    int worst = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x)
            for (int shift = 0; shift < 24; shift += 8)
                worst = std::max(worst, std::abs(int((image.ScanLine(y)[x] >> shift) & 0xFF) -
                                                 int((reference.ScanLine(y)[x] >> shift) & 0xFF)));
    EXPECT_LE(worst, std::strcmp(c.Tool, "heif-convert") == 0 ? 0 : 1);
}

TEST_P(HeifFormatsTest, TheFilesTurnIsAppliedAndItsExifKeptButNeverAppliedAgain) {
    const THeifCase& c = GetParam();
    const QString file = Path(QString::fromLatin1(c.Name));
    // The EXIF says 6 as well, as phones write it: applying it on top would turn twice.
    const QString exifSource = Path(QStringLiteral("tags.jpg"));
    WriteImageFile(exifSource, Quarters(8, 8), 90);
    photo_tags::AddCameraMetadata(exifSource, 6, 0, QByteArray());
    TBitmap32 unused;
    const TKeptMetadata tagged = LoadPhotoFromFile(exifSource, unused, false);
    ASSERT_TRUE(tagged.Source);
    if (const auto why = WriteHeif(file, Quarters(64, 32), c.Format, 6, tagged.Source->Exif()))
        GTEST_SKIP() << "libheif cannot write " << c.Name << " here: " << why->toStdString();

    for (const bool upright : {true, false}) {
        SCOPED_TRACE(upright);
        TBitmap32 image;
        const TKeptMetadata kept = LoadPhotoFromFile(file, image, upright);
        ASSERT_EQ(image.Width(), 32);
        ASSERT_EQ(image.Height(), 64);
        // Turned clockwise: the top-left quarter (red) is now top-right, bottom-left (blue)
        // top-left.
        EXPECT_TRUE(Near(image.ScanLine(16)[24], 0xFFE02020u, 24)) << std::hex << image.ScanLine(16)[24];
        EXPECT_TRUE(Near(image.ScanLine(16)[8], 0xFF2020E0u, 24)) << std::hex << image.ScanLine(16)[8];
        EXPECT_TRUE(Near(image.ScanLine(48)[24], 0xFF20E020u, 24));
        ASSERT_TRUE(kept.Source);
        EXPECT_EQ(kept.Source->Orientation(), 6);
        EXPECT_TRUE(kept.Reoriented);
        // A JPEG saved from it says it is upright.
        WriteImageFile(Path(QStringLiteral("saved.jpg")), image, 90, kept);
        const photo_tags::TTags saved = photo_tags::Read(Path(QStringLiteral("saved.jpg")));
        EXPECT_EQ(saved.ExifValue("Exif.Image.Orientation"), "1");
        EXPECT_EQ(saved.ExifValue("Exif.Image.Model"), "K-1 Test");
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, HeifFormatsTest,
                         testing::Values(THeifCase{"phone.heic", heif_compression_HEVC,
                                                   "heif-convert"},
                                         THeifCase{"phone.avif", heif_compression_AV1,
                                                   "avifdec"}),
                         [](const testing::TestParamInfo<THeifCase>& info) {
                             return std::string(info.param.Format == heif_compression_HEVC
                                                    ? "Heic"
                                                    : "Avif");
                         });

// ---- camera RAW ----

TEST_F(CameraFormatsTest, RawShowsItsJpegPreviewTurnedAsAutoRotateSays) {
    const TBitmap32 picture = Quarters(60, 40);
    WriteImageFile(Path("preview.jpg"), picture, 92);
    const QByteArray preview = ReadAll(Path("preview.jpg"));
    WriteAll(Path("IMG_0001.DNG"), DngLikeFile(preview, 60, 40, 6));
    // The preview's own pixels, as the JPEG path decodes them.
    TBitmap32 stored;
    DecodeJpegFile(Path("preview.jpg"), stored);

    TBitmap32 image;
    const TKeptMetadata asStored = LoadPhotoFromFile(Path("IMG_0001.DNG"), image, false);
    EXPECT_TRUE(SamePixels(image, stored));
    EXPECT_FALSE(asStored.Reoriented);

    const TKeptMetadata kept = LoadPhotoFromFile(Path("IMG_0001.DNG"), image, true);
    TBitmap32 turned;
    turned.Assign(stored);
    turned.TurnClockwise();
    EXPECT_TRUE(SamePixels(image, turned));
    EXPECT_TRUE(kept.Reoriented);
    // The camera's own tags come along for a JPEG saved from it, its file structure does not.
    ASSERT_TRUE(kept.Source);
    WriteImageFile(Path("saved.jpg"), image, 90, kept);
    const photo_tags::TTags saved = photo_tags::Read(Path("saved.jpg"));
    EXPECT_EQ(saved.ExifValue("Exif.Image.Make"), "Kelvo");
    EXPECT_EQ(saved.ExifValue("Exif.Image.Model"), "Kelvo Test Camera");
    EXPECT_EQ(saved.ExifValue("Exif.Image.Orientation"), "1");
    EXPECT_EQ(saved.ExifValue("Exif.Image.SubIFDs"), "<absent>");
    EXPECT_EQ(saved.ExifValue("Exif.Image.DNGVersion"), "<absent>");
}

// "Extended Info" reads the camera's tags from the RAW file itself and from a HEIC's EXIF.
TEST_F(CameraFormatsTest, ExtendedInfoShowsTheShootingInformation) {
    WriteImageFile(Path("preview.jpg"), Quarters(16, 16), 90);
    WriteAll(Path("IMG_0002.DNG"), DngLikeFile(ReadAll(Path("preview.jpg")), 16, 16, 1));
    const QString dngReport = ReadPropertyReport(Path("IMG_0002.DNG"));
    EXPECT_TRUE(dngReport.contains(QStringLiteral("Manufacturer: Kelvo"))) << dngReport.toStdString();
    EXPECT_TRUE(dngReport.contains(QStringLiteral("Model: Kelvo Test Camera")));

    photo_tags::AddCameraMetadata(Path("preview.jpg"), 1, 0, QByteArray());
    TBitmap32 unused;
    const TKeptMetadata tagged = LoadPhotoFromFile(Path("preview.jpg"), unused, false);
    ASSERT_TRUE(tagged.Source);
    if (const auto why = WriteHeif(Path("phone.heic"), Quarters(64, 64), heif_compression_HEVC, 1,
                                   tagged.Source->Exif()))
        GTEST_SKIP() << "libheif cannot write HEIC here: " << why->toStdString();
    const QString heicReport = ReadPropertyReport(Path("phone.heic"));
    EXPECT_TRUE(heicReport.contains(QStringLiteral("Model: K-1 Test"))) << heicReport.toStdString();
}

// ---- failures name the file ----

TEST_F(CameraFormatsTest, CutAndForeignFilesFailWithAMessageNamingThem) {
    const TBitmap32 picture = Gradient(64, 48);
    const QByteArray webp = WebpBytes(picture, false, false);
    WriteAll(Path("cut.webp"), webp.left(webp.size() / 2));
    WriteAll(Path("text.webp"), "plain text, not a picture");
    WriteImageFile(Path("preview.jpg"), picture, 90);
    const QByteArray dng = DngLikeFile(ReadAll(Path("preview.jpg")), 64, 48, 1);
    WriteAll(Path("cut.dng"), dng.left(dng.size() / 2));
    WriteAll(Path("text.cr2"), "plain text, not a picture");
    WriteAll(Path("text.heic"), "plain text, not a picture");
    QStringList names = {"cut.webp", "text.webp", "cut.dng", "text.cr2", "text.heic"};
    if (!WriteHeif(Path("whole.heic"), picture, heif_compression_HEVC)) {
        const QByteArray heic = ReadAll(Path("whole.heic"));
        WriteAll(Path("cut.heic"), heic.left(heic.size() * 2 / 3));
        names.append(QStringLiteral("cut.heic"));
    }
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        TBitmap32 image;
        image.SetSize(3, 3);
        const QString message = LoadError(Path(name), image);
        EXPECT_TRUE(message.contains(QLatin1Char('"') + Path(name) + QLatin1Char('"')))
            << message.toStdString();
        EXPECT_TRUE(image.Empty());
    }
    // A missing file is the platform's open error, as for every format.
    TBitmap32 image;
    for (const char* name : {"missing.heic", "missing.webp", "missing.nef"})
        EXPECT_EQ(LoadError(Path(QString::fromLatin1(name)), image),
                  CannotOpenFileMessage(Path(QString::fromLatin1(name)), ENOENT));
}

TEST_F(CameraFormatsTest, HugeDeclaredWebpIsRefusedBeforeAnyPixelMemory) {
    // A lossless header declaring 16384 x 16384 pixels in a file of a few dozen bytes.
    QByteArray vp8l("\x2F", 1);
    const std::uint32_t bits = (16383u) | (16383u << 14);
    for (int i = 0; i < 4; ++i)
        vp8l += char((bits >> (8 * i)) & 0xFF);
    vp8l += QByteArray(8, '\0');
    QByteArray file = QByteArray("RIFF") + TTiffWriter::Longs({std::uint32_t(4 + 8 + vp8l.size())}) +
                      "WEBPVP8L" + TTiffWriter::Longs({std::uint32_t(vp8l.size())}) + vp8l;
    WriteAll(Path("bomb.webp"), file);
    TBitmap32 image;
    EXPECT_EQ(LoadError(Path("bomb.webp"), image),
              QString::fromLatin1(TBitmap32::kAllocationFailure));
    EXPECT_TRUE(image.Empty());
}

}  // namespace
