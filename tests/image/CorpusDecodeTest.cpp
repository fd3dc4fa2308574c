// The public conformance and malformed-file suites: every file either decodes or fails with a
// KelvoError, and a few decodes are held against the suites' own expected pixels.

#include <gtest/gtest.h>

#include <ostream>

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSettings>
#include <functional>

#include "base/KelvoError.h"
#include "image/Bitmap32.h"
#include "image/BmpDecoder.h"
#include "image/GifDecoder.h"
#include "image/ImageLoader.h"
#include "image/JpegDecoder.h"
#include "image/PhotoMetadata.h"
#include "image/PngDecoder.h"
#include "support/TestCorpus.h"
#include "support/TestFiles.h"

namespace {

// Empty without the suites; every test that reads it skips first.
const QString kCorpus = test_corpus::Folder();

// The files are named by their suites, not by their types, so each suite is decoded by the
// decoder of its format directly rather than through the name-based choice.
enum class TDecoder { Jpeg, Png, Gif, Bmp, Tiff };

void Decode(TDecoder decoder, const QString& file, TBitmap32& image) {
    switch (decoder) {
        case TDecoder::Jpeg:
            DecodeJpegFile(file, image);
            break;
        case TDecoder::Png:
            DecodePngFile(file, image);
            break;
        case TDecoder::Gif:
            DecodeGifFile(file, image);
            break;
        case TDecoder::Bmp:
            DecodeBmpFile(file, image);
            break;
        case TDecoder::Tiff:
            image.Assign(ReadTiffFile(file));
            break;
    }
}

// The message of the KelvoError thrown, or "" on success. Anything else escapes and fails.
QString DecodeError(TDecoder decoder, const QString& file, TBitmap32& image) {
    try {
        Decode(decoder, file, image);
    } catch (const KelvoError& error) {
        return error.Message().isEmpty() ? QStringLiteral("(empty message)") : error.Message();
    }
    return QString();
}

struct TSuite {
    const char* folder;  // under the corpus
    TDecoder decoder;
    const char* pattern;  // file names (not paths) to take
};

// Names the suite in test listings instead of dumping the structure's bytes.
void PrintTo(const TSuite& suite, std::ostream* out) {
    *out << suite.folder;
}

const TSuite kSuites[] = {
    {"pngsuite/png", TDecoder::Png, R"(\.png$)"},
    {"pngsuite/bmp", TDecoder::Bmp, R"(\.bmp$)"},
    {"bmpsuite", TDecoder::Bmp, R"(\.bmp$)"},
    {"gif-pygif", TDecoder::Gif, R"(\.gif$)"},
    {"gif-frames/gifs", TDecoder::Gif, R"(\.gif$)"},
    {"tiff", TDecoder::Tiff, R"(\.tiff?$)"},
    {"malformed/pillow/tiff", TDecoder::Tiff, ""},
    {"malformed/pillow/gif", TDecoder::Gif, ""},
    {"malformed/pillow/png", TDecoder::Png, ""},
    {"malformed/pillow/jpeg", TDecoder::Jpeg, ""},
    {"malformed/pillow/bmp", TDecoder::Bmp, ""},
    {"malformed/image-tiff-fuzz", TDecoder::Tiff, ""},
    {"malformed/libjpeg-turbo-seed/jpeg-bug-reports", TDecoder::Jpeg, ""},
    {"malformed/libjpeg-turbo-seed/bmp-bug-reports", TDecoder::Bmp, ""},
    {"malformed/libjpeg-turbo-seed/afl-edges-only/jpeg", TDecoder::Jpeg, ""},
    {"malformed/libjpeg-turbo-seed/afl-edges-only/jpeg_turbo", TDecoder::Jpeg, ""},
    {"malformed/libjpeg-turbo-seed/afl-edges-only/gif", TDecoder::Gif, ""},
    {"malformed/libjpeg-turbo-seed/afl-edges-only/gif_im", TDecoder::Gif, ""},
    {"malformed/libjpeg-turbo-seed/afl-edges-only/bmp", TDecoder::Bmp, ""},
    {"exif-samples/jpg/invalid", TDecoder::Jpeg, ""},
};

QStringList SuiteFiles(const TSuite& suite) {
    // Licences, notes and expected-output files sit among the pictures.
    static const QRegularExpression notAPicture(
        R"(^(LICENSE|COPYING|COPYRIGHT|README|UPSTREAM)|\.(md|txt|json|conf|rgba|html|md5|tsv)$)",
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression wanted(QString::fromLatin1(suite.pattern),
                                    QRegularExpression::CaseInsensitiveOption);
    QStringList files;
    QDirIterator it(kCorpus + "/" + suite.folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        if (!notAPicture.match(name).hasMatch() && wanted.match(name).hasMatch())
            files << it.filePath();
    }
    files.sort();
    return files;
}

class CorpusSweepTest : public ::testing::TestWithParam<TSuite> {};

TEST_P(CorpusSweepTest, EveryFileLoadsOrFailsWithAMessage) {
    SKIP_WITHOUT_CORPUS();
    const QStringList files = SuiteFiles(GetParam());
    ASSERT_FALSE(files.isEmpty()) << "no files in " << GetParam().folder;
    int loaded = 0;
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        TBitmap32 image;
        const QString error = DecodeError(GetParam().decoder, file, image);
        if (error.isEmpty()) {
            ++loaded;
            EXPECT_FALSE(image.Empty());
        }
    }
    RecordProperty("loaded", loaded);
    std::printf("%s: %d of %d files loaded\n", GetParam().folder, loaded, int(files.size()));
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusSweepTest, ::testing::ValuesIn(kSuites),
                         [](const ::testing::TestParamInfo<TSuite>& info) {
                             QString name = QString::fromLatin1(info.param.folder);
                             name.replace(QRegularExpression("[^A-Za-z0-9]"), "_");
                             return name.toStdString();
                         });

TEST(CorpusDecodeTest, PngSuiteDamagedFilesAreRejected) {
    SKIP_WITHOUT_CORPUS();
    const QStringList files = QDir(kCorpus + "/pngsuite/png").entryList({"x*.png"}, QDir::Files);
    ASSERT_EQ(files.size(), 14);
    for (const QString& name : files) {
        TBitmap32 image;
        EXPECT_NE(DecodeError(TDecoder::Png, kCorpus + "/pngsuite/png/" + name, image), QString())
            << name.toStdString();
    }
}

// Qt's own header parser gives the size independently of the decoder under test; for the 32-bit
// files, which are read here rather than by Qt, the colours are compared too.
TEST(CorpusDecodeTest, BmpSuiteGoodFilesLoadWithTheirSize) {
    SKIP_WITHOUT_CORPUS();
    const QString folder = kCorpus + "/bmpsuite/g/";
    const QStringList files = QDir(folder).entryList({"*.bmp"}, QDir::Files);
    ASSERT_EQ(files.size(), 27);
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        TBitmap32 image;
        ASSERT_EQ(DecodeError(TDecoder::Bmp, folder + name, image), QString());
        // (Qt's size() reports a top-down file's height negative, so the decoded size is used.)
        const QImage reference = QImageReader(folder + name).read();
        ASSERT_FALSE(reference.isNull());
        EXPECT_EQ(image.Width(), reference.width());
        EXPECT_EQ(image.Height(), reference.height());
        if (!name.startsWith("rgb32")) continue;
        int wrong = 0;
        for (int y = 0; y < image.Height(); ++y)
            for (int x = 0; x < image.Width(); ++x)
                wrong += (image.GetPixel(x, y) & 0xFFFFFF) != (reference.pixel(x, y) & 0xFFFFFF);
        EXPECT_EQ(wrong, 0);
    }
}

TEST(CorpusDecodeTest, ImpossibleScreenAndBitmapSizesAreRefused) {
    SKIP_WITHOUT_CORPUS();
    const struct {
        const char* file;
        TDecoder decoder;
    } cases[] = {
        {"bmpsuite/b/reallybig.bmp", TDecoder::Bmp},
        {"gif-pygif/max-size.gif", TDecoder::Gif},
    };
    for (const auto& c : cases) {
        TBitmap32 image;
        EXPECT_EQ(DecodeError(c.decoder, kCorpus + "/" + c.file, image),
                  QStringLiteral("Can't allocate the DIB handle"))
            << c.file;
        EXPECT_TRUE(image.Empty());
    }
}

// The suite's pixels are straight RGBA; a loaded pixel is that colour drawn over black.
TEST(CorpusDecodeTest, PngSuitePixelsMatchTheExpectedOutput) {
    SKIP_WITHOUT_CORPUS();
    const char* const cases[][2] = {
        {"basn0g01", "basn0g01"}, {"basn0g04", "basn0g04"},     {"basn2c08", "basn2c08"},
        {"basn3p02", "basn3p02"}, {"basi3p08", "basi3p08"},     {"basn4a08", "basn4a08"},
        {"basi6a08", "basi6a08"}, {"basn2c16", "basn2c16_to8"}, {"tbrn2c08", "tbrn2c08"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        QFile json(kCorpus + "/pngsuite/json/" + c[1] + ".json");
        ASSERT_TRUE(json.open(QIODevice::ReadOnly));
        const QJsonArray values = QJsonDocument::fromJson(json.readAll()).array();
        TBitmap32 image;
        ASSERT_EQ(DecodeError(TDecoder::Png, kCorpus + "/pngsuite/png/" + c[0] + ".png", image),
                  QString());
        ASSERT_EQ(qsizetype(image.PixelCount()) * 4, values.size());
        int worst = 0;
        for (qsizetype i = 0; i < qsizetype(image.PixelCount()); ++i) {
            const TColor32 got = image.Bits()[i];
            ASSERT_EQ(got >> 24, 0xFFu);
            const int alpha = values[4 * i + 3].toInt();
            for (int channel = 0; channel < 3; ++channel) {
                const int expected = (values[4 * i + channel].toInt() * alpha + 127) / 255;
                const int actual = int(got >> (16 - 8 * channel) & 0xFF);
                worst = std::max(worst, std::abs(expected - actual));
            }
        }
        EXPECT_LE(worst, 1);  // 16-to-8-bit rounding may differ by one
    }
}

// The suite's first frames as raw RGBA; transparent pixels are black here. (Its "high-color"
// test counts several images as one frame, so it is not among these.)
TEST(CorpusDecodeTest, GifSuiteFirstFramesMatchTheExpectedOutput) {
    SKIP_WITHOUT_CORPUS();
    const char* const cases[] = {"depth1",      "depth8",     "four-colors", "local-color-table",
                                 "interlace",   "4095-codes", "255-codes",   "animation",
                                 "transparent", "all-greens", "many-clears"};
    for (const char* test : cases) {
        SCOPED_TRACE(test);
        const QSettings conf(kCorpus + "/gif-pygif/" + test + ".conf", QSettings::IniFormat);
        const int width = conf.value("config/width").toInt();
        const int height = conf.value("config/height").toInt();
        const QString frame = conf.value("config/frames").toStringList().value(0);
        QFile pixels(kCorpus + "/gif-pygif/" + conf.value(frame + "/pixels").toString());
        ASSERT_TRUE(pixels.open(QIODevice::ReadOnly)) << pixels.fileName().toStdString();
        const QByteArray rgba = pixels.readAll();
        ASSERT_EQ(rgba.size(), qsizetype(width) * height * 4);

        TBitmap32 image;
        ASSERT_EQ(DecodeError(TDecoder::Gif, kCorpus + "/gif-pygif/" + test + ".gif", image),
                  QString());
        ASSERT_EQ(image.Width(), width);
        ASSERT_EQ(image.Height(), height);
        int wrong = 0;
        for (int i = 0; i < width * height; ++i) {
            const auto* p = reinterpret_cast<const unsigned char*>(rgba.constData()) + 4 * i;
            const TColor32 expected =
                p[3] == 0 ? 0xFF000000u
                          : 0xFF000000u | TColor32(p[0]) << 16 | TColor32(p[1]) << 8 | p[2];
            wrong += image.Bits()[i] != expected;
        }
        EXPECT_EQ(wrong, 0);
    }
}

// The same picture in every format decodes to nearly the same pixels.
TEST(CorpusDecodeTest, ReferencePictureAgreesAcrossFormats) {
    SKIP_WITHOUT_CORPUS();
    const QString folder = kCorpus + "/malformed/pillow/reference/";
    const QStringList files = QDir(folder).entryList(QDir::Files);
    TBitmap32 reference;
    QString referenceName;
    for (const QString& name : files) {
        if (!name.endsWith(".png", Qt::CaseInsensitive)) continue;
        referenceName = name;
        ASSERT_EQ(DecodeError(TDecoder::Png, folder + name, reference), QString());
        break;
    }
    if (reference.Empty()) GTEST_SKIP() << "no PNG reference picture in " << folder.toStdString();
    for (const QString& name : files) {
        if (name == referenceName || ImageFileTypeOf(name) == TImageFileType::Gif) continue;
        if (!QRegularExpression(R"(\.(bmp|tiff?|jpe?g)$)",
                                QRegularExpression::CaseInsensitiveOption)
                 .match(name)
                 .hasMatch())
            continue;
        SCOPED_TRACE(name.toStdString());
        TBitmap32 image;
        try {
            LoadImageFromFile(folder + name, image);
        } catch (const KelvoError& error) {
            ADD_FAILURE() << error.Message().toStdString();
            continue;
        }
        ASSERT_EQ(image.Width(), reference.Width());
        ASSERT_EQ(image.Height(), reference.Height());
        long long difference = 0;
        for (std::size_t i = 0; i < image.PixelCount(); ++i)
            for (int shift : {0, 8, 16})
                difference += std::abs(int(image.Bits()[i] >> shift & 0xFF) -
                                       int(reference.Bits()[i] >> shift & 0xFF));
        // JPEG coding moves each channel a few levels on average; a swapped channel order or
        // flipped rows would move it by tens.
        EXPECT_LT(double(difference) / double(image.PixelCount() * 3), 6.0);
    }
}

}  // namespace

namespace {

// Every APP1, APP2 and APP13 segment from the start of image to the first scan, walked the way
// the format lays them out; false when the walk does not reach a scan cleanly.
bool AllMetadataSegments(const QByteArray& bytes, std::vector<TJpegMarker>& segments) {
    if (!bytes.startsWith(QByteArray("\xFF\xD8", 2))) return false;
    qsizetype at = 2;
    while (at + 4 <= bytes.size()) {
        if (quint8(bytes[at]) != 0xFF) return false;
        const int code = quint8(bytes[at + 1]);
        if (code == 0xFF) {  // a fill byte
            ++at;
            continue;
        }
        const qsizetype length = quint8(bytes[at + 2]) << 8 | quint8(bytes[at + 3]);
        if (length < 2 || at + 2 + length > bytes.size()) return false;
        if (code == 0xDA) return true;
        if (code == 0xE1 || code == 0xE2 || code == 0xED)
            segments.push_back({code, bytes.mid(at + 4, length - 2)});
        at += 2 + length;
    }
    return false;
}

}  // namespace

TEST(CorpusDecodeTest, JpegMetadataIsWhatEverySegmentMakesOf) {
    SKIP_WITHOUT_CORPUS();
    // The reader keeps only the segments the metadata is made of; every photograph must come
    // out with the metadata that all of its segments give.
    int compared = 0;
    QDirIterator it(kCorpus, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        std::vector<TJpegMarker> segments;
        if (!AllMetadataSegments(test_files::ReadAll(file), segments)) continue;
        TBitmap32 image;
        std::vector<TJpegMarker> kept;
        try {
            DecodeJpegFile(file, image, &kept);
        } catch (const KelvoError&) {
            continue;
        }
        SCOPED_TRACE(file.toStdString());
        const auto all = TPhotoMetadata::FromMarkers(segments);
        const auto ours = TPhotoMetadata::FromMarkers(kept);
        ASSERT_EQ(bool(all), bool(ours));
        if (!all) continue;
        EXPECT_EQ(ours->Exif(), all->Exif());
        EXPECT_EQ(ours->Xmp(), all->Xmp());
        EXPECT_EQ(ours->IccProfile(), all->IccProfile());
        EXPECT_EQ(ours->PhotoshopResources(), all->PhotoshopResources());
        ++compared;
    }
    EXPECT_GT(compared, 0) << "no photograph with metadata in the corpus";
}
