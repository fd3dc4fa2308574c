#include "image/ImageSaver.h"

#include <gtest/gtest.h>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <sys/stat.h>
#include <zlib.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/KelvoError.h"
#include "support/ColorCube.h"
#include "support/RasterPatterns.h"
#include "support/TestFiles.h"

namespace {

using test_files::Entries;
using test_files::ReadAll;
using test_files::WriteAll;

TColor32 Rgb(int r, int g, int b, int a = 255) {
    return TColor32(a) << 24 | TColor32(r) << 16 | TColor32(g) << 8 | TColor32(b);
}

// A smooth picture that JPEG keeps close to the original.
TBitmap32 Gradient(int width, int height) {
    TBitmap32 image;
    image.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.SetPixel(x, y, Rgb(x * 255 / (width - 1), y * 255 / (height - 1), 128));
    return image;
}
std::uint32_t U32le(const QByteArray& b, int at) {
    return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(b[at + 2])) << 16 |
           std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}
std::uint16_t U16le(const QByteArray& b, int at) {
    return std::uint16_t(std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8);
}
std::uint32_t U32be(const QByteArray& b, qsizetype at) {
    return std::uint32_t(std::uint8_t(b[at])) << 24 | std::uint32_t(std::uint8_t(b[at + 1])) << 16 |
           std::uint32_t(std::uint8_t(b[at + 2])) << 8 | std::uint32_t(std::uint8_t(b[at + 3]));
}

struct TRgbPicture {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Rgb;  // 3 bytes per pixel
    TColor32 At(int x, int y) const {
        const std::uint8_t* p = &Rgb[(std::size_t(y) * std::size_t(Width) + std::size_t(x)) * 3];
        return TColor32(p[0]) << 16 | TColor32(p[1]) << 8 | TColor32(p[2]);
    }
};

TRgbPicture ReadPngRgb(const QString& fileName) {
    TRgbPicture picture;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    const QByteArray path = QFile::encodeName(fileName);
    if (!png_image_begin_read_from_file(&image, path.constData())) return picture;
    image.format = PNG_FORMAT_RGB;
    picture.Width = int(image.width);
    picture.Height = int(image.height);
    picture.Rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.Rgb.data(), 0, nullptr)) picture = {};
    return picture;
}

TRgbPicture ReadJpegRgb(const QString& fileName) {
    TRgbPicture picture;
    const QByteArray bytes = ReadAll(fileName);
    if (bytes.isEmpty()) return picture;
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    picture.Width = int(info.output_width);
    picture.Height = int(info.output_height);
    picture.Rgb.resize(std::size_t(picture.Width) * std::size_t(picture.Height) * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row =
            &picture.Rgb[std::size_t(info.output_scanline) * std::size_t(picture.Width) * 3];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return picture;
}

struct TGifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using TGifFile = std::unique_ptr<GifFileType, TGifCloser>;

TGifFile SlurpGif(const QString& fileName) {
    int error = 0;
    const QByteArray path = QFile::encodeName(fileName);
    TGifFile gif(DGifOpenFileName(path.constData(), &error));
    if (gif && DGifSlurp(gif.get()) != GIF_OK) gif.reset();
    return gif;
}

TColor32 GifColorAt(const GifFileType* gif, int x, int y) {
    const SavedImage& frame = gif->SavedImages[0];
    const int index = frame.RasterBits[y * frame.ImageDesc.Width + x];
    const GifColorType c = gif->SColorMap->Colors[index];
    return Rgb(c.Red, c.Green, c.Blue, 0) & 0x00FFFFFF;
}

int GifIndexAt(const GifFileType* gif, int x, int y) {
    const SavedImage& frame = gif->SavedImages[0];
    return frame.RasterBits[y * frame.ImageDesc.Width + x];
}

class ImageSaverTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(FFolder.isValid()); }
    QString PathOf(const QString& name) const { return FFolder.filePath(name); }
    QTemporaryDir FFolder;
};

}  // namespace

TEST(SaveFileType, DecidedByTheEndingWhateverTheCase) {
    const struct {
        const char* Name;
        TSaveFileType Type;
    } cases[] = {
        {"a.JPG", TSaveFileType::Jpeg},      {"a.jpg", TSaveFileType::Jpeg},
        {"/x.y/a.JpG", TSaveFileType::Jpeg}, {"a.GIF", TSaveFileType::Gif},
        {"a.gif", TSaveFileType::Gif},       {"a.Png", TSaveFileType::Png},
        {"a.bmp", TSaveFileType::Bmp},       {"a.BMP", TSaveFileType::Bmp},
        {"photo.jpeg", TSaveFileType::None}, {"a.jpe", TSaveFileType::None},
        {"a.tif", TSaveFileType::None},      {"noending", TSaveFileType::None},
        {"", TSaveFileType::None},           {"a.JPG.txt", TSaveFileType::None},
        {"a.jpg ", TSaveFileType::None},     {"dir.png/file", TSaveFileType::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SaveFileTypeOf(QString::fromUtf8(c.Name)), c.Type) << c.Name;
}

TEST(ColorCube, EveryChannelFallsOnItsLevel) {
    // Both ends of each level's range, on each channel; alpha passes through.
    const struct {
        int From, To, Level;
    } ranges[] = {{0, 47, 0},      {48, 98, 51},    {99, 149, 102},
                  {150, 200, 153}, {201, 251, 204}, {252, 255, 255}};
    for (const auto& range : ranges)
        for (int value : {range.From, range.To}) {
            EXPECT_EQ(ReduceToColorCube(Rgb(value, 0, 0, 0x12)), Rgb(range.Level, 0, 0, 0x12))
                << value;
            EXPECT_EQ(ReduceToColorCube(Rgb(0, value, 0, 0)), Rgb(0, range.Level, 0, 0)) << value;
            EXPECT_EQ(ReduceToColorCube(Rgb(0, 0, value, 255)), Rgb(0, 0, range.Level, 255))
                << value;
        }
    // 200 is the top of the 150..200 range: (200 + 3) div 51 = 3, so it gives 153, not 204.
    EXPECT_EQ(ReduceToColorCube(Rgb(200, 100, 48)), Rgb(153, 102, 51));
    EXPECT_EQ(ReduceToColorCube(Rgb(201, 100, 48)), Rgb(204, 102, 51));
    EXPECT_EQ(ReduceToColorCube(Rgb(47, 98, 252)), Rgb(0, 51, 255));
}

TEST_F(ImageSaverTest, GifHoldsTheReducedColoursAtTheirCubeIndex) {
    // One pixel per interesting colour, including every boundary of the levels.
    const int values[] = {0, 47, 48, 98, 99, 149, 150, 200, 201, 251, 252, 255};
    TBitmap32 image;
    image.SetSize(12, 3);
    for (int x = 0; x < 12; ++x) {
        image.SetPixel(x, 0, Rgb(values[x], values[11 - x], values[(x + 5) % 12], x * 20));
        image.SetPixel(x, 1, Rgb(200, 100, 48));
        image.SetPixel(x, 2, Rgb(47, 98, 252, 0));
    }
    const QString name = PathOf(QStringLiteral("x.GIF"));
    WriteImageFile(name, image, 95);

    EXPECT_TRUE(ReadAll(name).startsWith("GIF8"));
    TGifFile gif = SlurpGif(name);
    ASSERT_TRUE(gif);
    ASSERT_EQ(gif->ImageCount, 1);
    ASSERT_EQ(gif->SWidth, 12);
    ASSERT_EQ(gif->SHeight, 3);
    ASSERT_NE(gif->SColorMap, nullptr);
    EXPECT_EQ(gif->SColorMap->ColorCount, 256);
    for (int i = 0; i < 216; ++i) {
        const GifColorType c = gif->SColorMap->Colors[i];
        EXPECT_EQ(Rgb(c.Red, c.Green, c.Blue), Rgb(51 * (i / 36), 51 * (i / 6 % 6), 51 * (i % 6)))
            << "palette entry " << i;
    }
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 12; ++x) {
            const TColor32 expected = ReduceToColorCube(image.GetPixel(x, y)) & 0x00FFFFFF;
            EXPECT_EQ(GifColorAt(gif.get(), x, y), expected) << x << "," << y;
        }
    EXPECT_EQ(GifColorAt(gif.get(), 0, 1), Rgb(153, 102, 51, 0) & 0x00FFFFFF);
    EXPECT_EQ(GifColorAt(gif.get(), 0, 2), Rgb(0, 51, 255, 0) & 0x00FFFFFF);
    // No transparency in a plain GIF.
    GraphicsControlBlock control;
    if (DGifSavedExtensionToGCB(gif.get(), 0, &control) == GIF_OK) {
        EXPECT_EQ(control.TransparentColor, NO_TRANSPARENT_COLOR);
    }
}

TEST_F(ImageSaverTest, TransparentGifKeysOnTheExactBottomLeftColour) {
    TBitmap32 image;
    image.SetSize(4, 2);
    image.Clear(Rgb(10, 210, 60));
    image.SetPixel(0, 1, Rgb(255, 255, 255));     // bottom-left: the key colour
    image.SetPixel(1, 0, Rgb(255, 255, 255, 0));  // same R,G,B, other alpha: transparent
    image.SetPixel(2, 0, Rgb(253, 253, 253));     // reduces to white, stays opaque
    image.SetPixel(3, 0, Rgb(255, 255, 254));     // one step off, stays opaque
    image.SetPixel(3, 1, Rgb(0, 0, 0));           // black, the padding colour, stays opaque
    // Written as GIF whatever the ending.
    const QString name = PathOf(QStringLiteral("shot.PNG"));
    WriteTransparentGif(name, image);

    EXPECT_TRUE(ReadAll(name).startsWith("GIF89a"));
    TGifFile gif = SlurpGif(name);
    ASSERT_TRUE(gif);
    GraphicsControlBlock control;
    ASSERT_EQ(DGifSavedExtensionToGCB(gif.get(), 0, &control), GIF_OK);
    EXPECT_EQ(control.TransparentColor, kTransparentGifIndex);
    EXPECT_GE(kTransparentGifIndex, 216);  // outside the cube, so no real colour is lost

    const int white = 215;
    EXPECT_EQ(GifIndexAt(gif.get(), 0, 1), kTransparentGifIndex);
    EXPECT_EQ(GifIndexAt(gif.get(), 1, 0), kTransparentGifIndex);
    EXPECT_EQ(GifIndexAt(gif.get(), 2, 0), white);
    EXPECT_EQ(GifIndexAt(gif.get(), 3, 0), white);
    EXPECT_EQ(GifIndexAt(gif.get(), 3, 1), 0);
    EXPECT_EQ(GifIndexAt(gif.get(), 0, 0), 36 * 0 + 6 * 4 + 1);  // (10, 210, 60) -> (0, 204, 51)
}

TEST_F(ImageSaverTest, PngIsTruecolourWithSubFilteredRowsInBoundedChunks) {
    // Noise does not compress, so the picture data must be split over several chunks.
    const TBitmap32 image = Noise(300, 200);
    const QString name = PathOf(QStringLiteral("n.png"));
    WriteImageFile(name, image, 95);

    const QByteArray bytes = ReadAll(name);
    ASSERT_TRUE(bytes.startsWith("\x89PNG\r\n\x1a\n"));
    QByteArray idat;
    int idatCount = 0;
    bool sawIhdr = false;
    for (qsizetype at = 8; at + 12 <= bytes.size();) {
        const std::uint32_t length = U32be(bytes, at);
        const QByteArray type = bytes.mid(at + 4, 4);
        ASSERT_LE(at + 12 + qsizetype(length), bytes.size()) << "chunk runs past the file";
        const QByteArray data = bytes.mid(at + 8, length);
        if (type == "IHDR") {
            sawIhdr = true;
            EXPECT_EQ(U32be(data, 0), 300u);
            EXPECT_EQ(U32be(data, 4), 200u);
            EXPECT_EQ(int(data[8]), 8);   // bits per channel
            EXPECT_EQ(int(data[9]), 2);   // truecolour RGB
            EXPECT_EQ(int(data[12]), 0);  // no interlacing
        }
        EXPECT_NE(type, "tRNS");
        if (type == "IDAT") {
            EXPECT_LE(length, 65535u);
            idat += data;
            ++idatCount;
        }
        at += 12 + qsizetype(length);
    }
    ASSERT_TRUE(sawIhdr);
    EXPECT_GT(idatCount, 1);

    const std::size_t rowBytes = 1 + 300 * 3;
    std::vector<unsigned char> raw(rowBytes * 200 + 1);
    uLongf rawSize = uLongf(raw.size());
    ASSERT_EQ(uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(idat.constData()),
                         uLong(idat.size())),
              Z_OK);
    ASSERT_EQ(rawSize, rowBytes * 200);
    for (std::size_t row = 0; row < 200; ++row)
        EXPECT_EQ(raw[row * rowBytes], 1) << "filter of row " << row;  // 1 = Sub
}

TEST_F(ImageSaverTest, LosslessFormatsGiveBackEveryColour) {
    const TBitmap32 image = Noise(37, 23, 7);  // odd sizes catch row-length slips
    const QString png = PathOf(QStringLiteral("r.PNG"));
    WriteImageFile(png, image, 95);
    const TRgbPicture back = ReadPngRgb(png);
    ASSERT_EQ(back.Width, 37);
    ASSERT_EQ(back.Height, 23);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
            ASSERT_EQ(back.At(x, y), image.GetPixel(x, y) & 0x00FFFFFF) << x << "," << y;
}

TEST_F(ImageSaverTest, BmpIs32BitBottomUpWithTheAlphaByte) {
    TBitmap32 image;
    image.SetSize(3, 2);
    const TColor32 pixels[2][3] = {{Rgb(1, 2, 3, 0), Rgb(4, 5, 6, 128), Rgb(7, 8, 9, 255)},
                                   {Rgb(10, 11, 12, 0), Rgb(13, 14, 15, 1), Rgb(16, 17, 18, 0)}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            image.SetPixel(x, y, pixels[y][x]);
    const QString name = PathOf(QStringLiteral("b.bmp"));
    WriteImageFile(name, image, 95);

    const QByteArray b = ReadAll(name);
    ASSERT_EQ(b.size(), 54 + 3 * 2 * 4);
    EXPECT_EQ(b.left(2), "BM");
    EXPECT_EQ(U32le(b, 2), std::uint32_t(b.size()));  // file size
    EXPECT_EQ(U32le(b, 10), 54u);                     // pixel offset
    EXPECT_EQ(U32le(b, 14), 40u);                     // info header size
    EXPECT_EQ(U32le(b, 18), 3u);                      // width
    EXPECT_EQ(U32le(b, 22), 2u);                      // height > 0: bottom-up
    EXPECT_EQ(U16le(b, 26), 1);                       // planes
    EXPECT_EQ(U16le(b, 28), 32);                      // bits per pixel
    EXPECT_EQ(U32le(b, 30), 0u);                      // uncompressed
    EXPECT_EQ(U32le(b, 34), 24u);                     // pixel bytes
    for (int fileRow = 0; fileRow < 2; ++fileRow)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(U32le(b, 54 + (fileRow * 3 + x) * 4), pixels[1 - fileRow][x])
                << "file row " << fileRow << " column " << x;
}

TEST_F(ImageSaverTest, JpegIsBaselineAndCloseToTheImage) {
    const TBitmap32 image = Gradient(64, 48);
    const QString name = PathOf(QStringLiteral("g.jpg"));
    WriteImageFile(name, image, 95);

    const QByteArray bytes = ReadAll(name);
    EXPECT_TRUE(bytes.contains(QByteArray("\xFF\xC0", 2)));   // baseline frame
    EXPECT_FALSE(bytes.contains(QByteArray("\xFF\xC2", 2)));  // never progressive
    const TRgbPicture back = ReadJpegRgb(name);
    ASSERT_EQ(back.Width, 64);
    ASSERT_EQ(back.Height, 48);
    int worst = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const TColor32 a = back.At(x, y), e = image.GetPixel(x, y);
            for (int shift : {0, 8, 16})
                worst =
                    std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((e >> shift) & 0xFF)));
        }
    EXPECT_LE(worst, 8);
    EXPECT_EQ(Entries(FFolder.path()), QStringList{QStringLiteral("g.jpg")});
}

TEST_F(ImageSaverTest, JpegQualityUsesTheLowByteLimitedToOneToHundred) {
    const TBitmap32 image = Noise(48, 32, 3);
    auto sizeAt = [&](int quality) {
        const QString name = PathOf(QStringLiteral("q%1.jpg").arg(quality));
        WriteImageFile(name, image, quality);
        return ReadAll(name);
    };
    EXPECT_LT(sizeAt(1).size(), sizeAt(100).size());
    const struct {
        int Given, Effective;
    } cases[] = {{0, 1},    {-256, 1}, {256, 1},   {101, 100},     {255, 100},
                 {-5, 100}, {300, 44}, {356, 100}, {50 + 512, 50}, {-206, 50}};
    for (const auto& c : cases) {
        EXPECT_EQ(ClampJpegQuality(c.Given), c.Effective) << c.Given;
        EXPECT_EQ(sizeAt(c.Given), sizeAt(c.Effective)) << c.Given;
    }
    EXPECT_NE(sizeAt(300), sizeAt(100));  // 300 is 44, not "above 100"
}

TEST_F(ImageSaverTest, AnEndingThatIsNoSaveTypeWritesNothing) {
    const TBitmap32 image = Noise(4, 4);
    WriteAll(PathOf(QStringLiteral("keep.jpeg")), "old");
    for (const char* name : {"keep.jpeg", "a.tif", "plain", "a.jpe"})
        EXPECT_NO_THROW(WriteImageFile(PathOf(QString::fromLatin1(name)), image, 95));
    EXPECT_EQ(Entries(FFolder.path()), QStringList{QStringLiteral("keep.jpeg")});
    EXPECT_EQ(ReadAll(PathOf(QStringLiteral("keep.jpeg"))), "old");
}

TEST_F(ImageSaverTest, ReplacingKeepsThePermissionsAndLeavesNoTemporaryFile) {
    const TBitmap32 image = Noise(8, 8);
    for (const char* name : {"p.JPG", "p.GIF", "p.PNG", "p.BMP"}) {
        const QString path = PathOf(QString::fromLatin1(name));
        WriteAll(path, "old content");
        const QByteArray encoded = QFile::encodeName(path);
        ASSERT_EQ(::chmod(encoded.constData(), 0640), 0);
        WriteImageFile(path, image, 90);
        struct stat st;
        ASSERT_EQ(::stat(encoded.constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u) << name;
        EXPECT_NE(ReadAll(path), "old content") << name;
        EXPECT_EQ(Entries(FFolder.path()), QStringList{QString::fromLatin1(name)}) << name;
        QFile::remove(path);
    }
}

TEST_F(ImageSaverTest, ANewFileGetsTheUsualModeOfNewFiles) {
    const mode_t previous = ::umask(022);
    const QString path = PathOf(QStringLiteral("new.png"));
    WriteImageFile(path, Noise(2, 2), 95);
    ::umask(previous);
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST_F(ImageSaverTest, AUsersFileOfAnyNameBesideTheTargetIsLeftAlone) {
    // Saves once went through one fixed temporary name and deleted a file that carried it.
    const QStringList bystanders = {QStringLiteral("Kelvo_Temp_File.JPG"),
                                    QStringLiteral(".t.JPG.kelvo-0"), QStringLiteral("t.JPG~")};
    for (const QString& name : bystanders)
        WriteAll(PathOf(name), "the user's own " + name.toUtf8());
    for (const char* target : {"t.JPG", "t.GIF", "t.PNG", "t.BMP"})
        WriteImageFile(PathOf(QLatin1String(target)), Gradient(16, 16), 95);
    for (const QString& name : bystanders)
        EXPECT_EQ(ReadAll(PathOf(name)), "the user's own " + name.toUtf8());
    EXPECT_EQ(Entries(FFolder.path()).size(), bystanders.size() + 4);
    EXPECT_EQ(ReadJpegRgb(PathOf(QStringLiteral("t.JPG"))).Width, 16);
}

TEST_F(ImageSaverTest, AFailedSaveKeepsTheOldFileWhateverItsName) {
    const TBitmap32 tooWide = [] {
        TBitmap32 image;
        image.SetSize(70000, 1);  // beyond what JPEG and GIF can hold: the encoders refuse
        return image;
    }();
    for (const char* name : {"Kelvo_Temp_File.JPG", "a.JPG", "a.GIF"}) {
        const QString target = PathOf(QLatin1String(name));
        WriteAll(target, "precious");
        EXPECT_THROW(WriteImageFile(target, tooWide, 95), KelvoError) << name;
        EXPECT_EQ(ReadAll(target), "precious") << name;
    }
    EXPECT_EQ(Entries(FFolder.path()),
              QStringList({QStringLiteral("Kelvo_Temp_File.JPG"), QStringLiteral("a.GIF"),
                           QStringLiteral("a.JPG")}));
}
