// Decoding small generated files of every type through LoadImageFromFile, and every failure
// message the loader gives.

#include <gif_lib.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>
#include <zlib.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>
// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "base/KelvoError.h"
#include "image/Bitmap32.h"
#include "image/ImageLoader.h"
#include "image/JpegDecoder.h"

namespace {

constexpr TColor32 kOpaqueBlack = 0xFF000000u;

// The message of the KelvoError that loading throws, or "" when the load succeeds.
QString LoadError(const QString& name, TBitmap32& image) {
    try {
        LoadImageFromFile(name, image);
    } catch (const KelvoError& error) {
        return error.Message();
    }
    return QString();
}

void WriteBytes(const QString& name, const QByteArray& bytes) {
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray ReadBytes(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// ---- fixture writers through the codec libraries themselves ----

struct TPngLayout {
    int width, height, colorType, bitDepth;
    bool interlaced;
    std::vector<std::vector<png_byte>> rows;
    std::vector<png_color> palette = {};
    std::vector<png_byte> paletteAlpha = {};  // tRNS for a palette file
};

void WritePng(const QString& name, const TPngLayout& layout) {
    std::FILE* file = std::fopen(QFile::encodeName(name).constData(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(layout.width), png_uint_32(layout.height), layout.bitDepth,
                 layout.colorType, layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!layout.palette.empty())
        png_set_PLTE(png, info, layout.palette.data(), int(layout.palette.size()));
    if (!layout.paletteAlpha.empty())
        png_set_tRNS(png, info, layout.paletteAlpha.data(), int(layout.paletteAlpha.size()),
                     nullptr);
    png_write_info(png, info);
    if (layout.bitDepth == 16) png_set_swap(png);  // rows below are written little-endian
    std::vector<png_bytep> rows;
    for (const auto& row : layout.rows)
        rows.push_back(const_cast<png_bytep>(row.data()));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

struct TGifFrame {
    int left, top, width, height;
    bool interlaced;
    std::vector<GifColorType> localColors;  // empty: use the global table
    int transparentIndex;                   // -1: none
    std::vector<GifPixelType> pixels;       // row-major, in picture order
};

void WriteGif(const QString& name, int width, int height, const std::vector<GifColorType>& global,
              const std::vector<TGifFrame>& frames) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(QFile::encodeName(name).constData(), false, &error);
    ASSERT_NE(gif, nullptr);
    EGifSetGifVersion(gif, true);
    const auto makeMap = [](const std::vector<GifColorType>& colors) -> ColorMapObject* {
        return colors.empty() ? nullptr : GifMakeMapObject(int(colors.size()), colors.data());
    };
    ColorMapObject* globalMap = makeMap(global);
    EGifPutScreenDesc(gif, width, height, 8, 0, globalMap);
    for (const TGifFrame& frame : frames) {
        if (frame.transparentIndex >= 0) {
            const GifByteType control[4] = {0x01, 0, 0, GifByteType(frame.transparentIndex)};
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
        }
        ColorMapObject* localMap = makeMap(frame.localColors);
        EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlaced,
                         localMap);
        std::vector<int> order;
        if (frame.interlaced) {
            for (int start : {0, 4, 2, 1})
                for (int y = start; y < frame.height; y += start == 0   ? 8
                                                           : start == 4 ? 8
                                                                        : start * 2)
                    order.push_back(y);
        } else {
            for (int y = 0; y < frame.height; ++y)
                order.push_back(y);
        }
        for (int y : order)
            EGifPutLine(gif, const_cast<GifPixelType*>(&frame.pixels[std::size_t(y * frame.width)]),
                        frame.width);
        GifFreeMapObject(localMap);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(globalMap);
}

// Rows of RGBA samples, stored in the file bottom row first when bottomUp is set.
void WriteTiff(const QString& name, int width, int height, const std::vector<std::uint8_t>& rgba,
               bool bottomUp) {
    TIFF* tiff = TIFFOpen(QFile::encodeName(name).constData(), "w");
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, std::uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, std::uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, bottomUp ? ORIENTATION_BOTLEFT : ORIENTATION_TOPLEFT);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, std::uint32_t(height));
    for (int row = 0; row < height; ++row) {
        const int y = bottomUp ? height - 1 - row : row;
        TIFFWriteScanline(tiff, const_cast<std::uint8_t*>(&rgba[std::size_t(y * width * 4)]),
                          std::uint32_t(row), 0);
    }
    TIFFClose(tiff);
}

// A grey picture in one strip whose stored bytes are the first `kept` bytes of its data (all of
// them when kept is negative), uncompressed or deflated.
void WriteGreyTiffStrip(const QString& name, int width, int height, std::uint8_t grey,
                        std::uint16_t compression, qsizetype kept) {
    QByteArray data(qsizetype(width) * height, char(grey));
    if (compression == COMPRESSION_ADOBE_DEFLATE) {
        uLongf size = compressBound(uLong(data.size()));
        QByteArray packed(qsizetype(size), '\0');
        ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                            reinterpret_cast<const Bytef*>(data.constData()), uLong(data.size()),
                            Z_BEST_COMPRESSION),
                  Z_OK);
        packed.resize(qsizetype(size));
        data = packed;
    }
    if (kept >= 0) data.truncate(kept);
    TIFF* tiff = TIFFOpen(QFile::encodeName(name).constData(), "w");
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, std::uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, std::uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, std::uint32_t(height));
    ASSERT_EQ(TIFFWriteRawStrip(tiff, 0, data.data(), data.size()), data.size());
    TIFFClose(tiff);
}

// A JPEG of the given components (1 grey, 3 RGB, 4 CMYK stored the Adobe way, inverted).
void WriteJpeg(const QString& name, int width, int height, int components,
               const std::function<void(int x, int y, JSAMPLE* out)>& pixel, int quality = 100) {
    std::FILE* file = std::fopen(QFile::encodeName(name).constData(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(std::size_t(width * components));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            pixel(x, y, &row[std::size_t(x * components)]);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

// 32-bit BMP bytes, uncompressed, with the given alpha byte in each pixel.
QByteArray Bmp32Bytes(int width, int height, bool topDown, const std::vector<TColor32>& topFirst) {
    QByteArray bytes;
    const auto put16 = [&](std::uint32_t v) {
        bytes.append(char(v & 0xFF));
        bytes.append(char(v >> 8 & 0xFF));
    };
    const auto put32 = [&](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    bytes.append("BM");
    put32(std::uint32_t(54 + width * height * 4));
    put32(0);
    put32(54);
    put32(40);
    put32(std::uint32_t(width));
    put32(std::uint32_t(topDown ? -height : height));
    put16(1);
    put16(32);
    put32(0);
    put32(std::uint32_t(width * height * 4));
    put32(2835);
    put32(2835);
    put32(0);
    put32(0);
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        for (int x = 0; x < width; ++x)
            put32(topFirst[std::size_t(y * width + x)]);
    }
    return bytes;
}

class ImageLoaderTest : public ::testing::Test {
  protected:
    QString Path(const QString& name) const { return FDir.filePath(name); }
    QTemporaryDir FDir;
};

// ---- choosing the decoder ----

TEST(ImageFileTypeTest, ChosenByTheNameEndingWithoutRegardToCase) {
    const struct {
        const char* name;
        TImageFileType type;
    } cases[] = {
        {"photo.jpeg", TImageFileType::Jpeg},
        {"photo.JPE", TImageFileType::Jpeg},
        {"photo", TImageFileType::Jpeg},
        {"photo.jpg", TImageFileType::Jpeg},
        {"", TImageFileType::Jpeg},
        {"gif", TImageFileType::Jpeg},
        {"photo.gif.txt", TImageFileType::Jpeg},
        {"Photo.Gif", TImageFileType::Gif},
        {"a.gif.gif", TImageFileType::Gif},
        {"x.png.bmp", TImageFileType::Bmp},
        {"/dir.gif/x.BmP", TImageFileType::Bmp},
        {"x.PNG", TImageFileType::Png},
        {"scan.tiff", TImageFileType::Tiff},
        {"scan.TIF", TImageFileType::Tiff},
        {"scan.tiff.tif", TImageFileType::Tiff},
        {"scan.tifff", TImageFileType::Jpeg},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ImageFileTypeOf(QString::fromUtf8(c.name)), c.type) << c.name;
}

// ---- pixels of each format ----

TEST_F(ImageLoaderTest, PngKindsExpandToRgbaDrawnOverBlack) {
    const png_color palette[] = {{255, 0, 0}, {0, 0, 255}};
    const struct {
        const char* label;
        TPngLayout layout;
        std::vector<TColor32> expected;  // top row first
    } cases[] = {
        {"RGBA half-transparent white, opaque red, fully transparent green",
         {3,
          1,
          PNG_COLOR_TYPE_RGBA,
          8,
          false,
          {{255, 255, 255, 128, 255, 0, 0, 255, 0, 255, 0, 0}}},
         {0xFF808080u, 0xFFFF0000u, kOpaqueBlack}},
        {"palette with tRNS: the transparent entry comes out black",
         {2,
          2,
          PNG_COLOR_TYPE_PALETTE,
          8,
          false,
          {{0, 1}, {1, 0}},
          {palette[0], palette[1]},
          {0, 255}},
         {kOpaqueBlack, 0xFF0000FFu, 0xFF0000FFu, kOpaqueBlack}},
        {"grey 16-bit scaled to 8 bits",
         {2, 1, PNG_COLOR_TYPE_GRAY, 16, false, {{0xFF, 0xFF, 0x00, 0x80}}},
         {0xFFFFFFFFu, 0xFF808080u}},
        {"grey 1-bit",
         {3, 1, PNG_COLOR_TYPE_GRAY, 1, false, {{0xA0}}},
         {0xFFFFFFFFu, kOpaqueBlack, 0xFFFFFFFFu}},
        {"grey with alpha",
         {1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {{200, 0}}},
         {kOpaqueBlack}},
        {"interlaced RGB, every pixel in its place after the seven passes",
         {9, 9, PNG_COLOR_TYPE_RGB, 8, true, {}},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TPngLayout layout = c.layout;
        std::vector<TColor32> expected = c.expected;
        if (layout.rows.empty()) {  // the interlaced case: a distinct colour per pixel
            for (int y = 0; y < layout.height; ++y) {
                std::vector<png_byte> row;
                for (int x = 0; x < layout.width; ++x) {
                    row.insert(row.end(), {png_byte(x * 20), png_byte(y * 20), png_byte(x + y)});
                    expected.push_back(0xFF000000u | TColor32(x * 20) << 16 |
                                       TColor32(y * 20) << 8 | TColor32(x + y));
                }
                layout.rows.push_back(row);
            }
        }
        const QString name = Path("case.png");
        WritePng(name, layout);
        TBitmap32 image;
        ASSERT_EQ(LoadError(name, image), QString());
        ASSERT_EQ(image.Width(), layout.width);
        ASSERT_EQ(image.Height(), layout.height);
        for (int y = 0; y < layout.height; ++y)
            for (int x = 0; x < layout.width; ++x)
                EXPECT_EQ(image.GetPixel(x, y), expected[std::size_t(y * layout.width + x)])
                    << "at " << x << "," << y;
    }
}

TEST_F(ImageLoaderTest, GifFirstFrameDrawnOnTheLogicalScreen) {
    const std::vector<GifColorType> global = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    std::vector<GifPixelType> interlacedPixels;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 2; ++x)
            interlacedPixels.push_back(GifPixelType(1 + (y % 3)));
    const struct {
        const char* label;
        int width, height;
        std::vector<TGifFrame> frames;
        std::function<TColor32(int x, int y)> expected;
    } cases[] = {
        {"animated: only the first frame, a 2x2 inset whose surroundings stay black",
         4,
         4,
         {{1, 1, 2, 2, false, {}, -1, {1, 2, 3, 1}},
          {0, 0, 4, 4, false, {}, -1, std::vector<GifPixelType>(16, 3)}},
         [](int x, int y) -> TColor32 {
             if (x < 1 || x > 2 || y < 1 || y > 2) return kOpaqueBlack;
             const TColor32 colors[] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFF0000u};
             return colors[(y - 1) * 2 + (x - 1)];
         }},
        {"transparent index gives black, local colour table used",
         2,
         1,
         {{0, 0, 2, 1, false, {{10, 20, 30}, {40, 50, 60}}, 0, {0, 1}}},
         [](int x, int) -> TColor32 { return x == 0 ? kOpaqueBlack : 0xFF28323Cu; }},
        {"interlaced rows come back in picture order",
         2,
         10,
         {{0, 0, 2, 10, true, {}, -1, interlacedPixels}},
         [](int, int y) -> TColor32 {
             const TColor32 colors[] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};
             return colors[y % 3];
         }},
        {"a frame sticking out of the screen is clipped",
         2,
         2,
         {{1, 1, 3, 3, false, {}, -1, {1, 1, 1, 2, 2, 2, 3, 3, 3}}},
         [](int x, int y) -> TColor32 { return x == 1 && y == 1 ? 0xFFFF0000u : kOpaqueBlack; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const QString name = Path("case.gif");
        WriteGif(name, c.width, c.height, global, c.frames);
        TBitmap32 image;
        for (int attempt = 0; attempt < 2; ++attempt) {  // loading again gives the same frame
            ASSERT_EQ(LoadError(name, image), QString());
            ASSERT_EQ(image.Width(), c.width);
            ASSERT_EQ(image.Height(), c.height);
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x)
                    EXPECT_EQ(image.GetPixel(x, y), c.expected(x, y)) << "at " << x << "," << y;
        }
    }
}

TEST_F(ImageLoaderTest, TiffUprightWithAlphaKeptInEitherRowOrder) {
    // 2 x 2: red, green / blue, half-transparent white; libtiff's RGBA reader premultiplies
    // unassociated alpha, and the alpha byte itself is kept.
    const std::vector<std::uint8_t> rgba = {255, 0, 0,   255, 0,   255, 0,   255,
                                            0,   0, 255, 255, 255, 255, 255, 128};
    const TColor32 expected[] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0x80808080u};
    for (bool bottomUp : {false, true}) {
        SCOPED_TRACE(bottomUp ? "bottom-up orientation" : "top-down orientation");
        const QString name = Path(bottomUp ? "up.tif" : "down.TIFF");
        WriteTiff(name, 2, 2, rgba, bottomUp);
        TBitmap32 image;
        ASSERT_EQ(LoadError(name, image), QString());
        ASSERT_EQ(image.Width(), 2);
        ASSERT_EQ(image.Height(), 2);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(image.GetPixel(i % 2, i / 2), expected[i]) << i;
    }
}

// Strips that cannot expand to the picture they declare (a decompression bomb, or a file that
// lost nearly all of its data) are refused before the raster is made; real files, even the most
// compressible, and a file that kept a fair part of its rows still load.
TEST_F(ImageLoaderTest, TiffStripsMustBeAbleToHoldThePictureTheyDeclare) {
    constexpr int kWidth = 3000, kHeight = 2000;  // a 24 MB raster
    const qsizetype raw = qsizetype(kWidth) * kHeight;
    const struct {
        const char* label;
        std::uint16_t compression;
        qsizetype kept;
        bool loads;
    } cases[] = {
        {"flat grey deflated as tightly as zlib can", COMPRESSION_ADOBE_DEFLATE, -1, true},
        {"the deflated strip cut to 100 bytes", COMPRESSION_ADOBE_DEFLATE, 100, false},
        {"uncompressed, a tenth of the rows kept", COMPRESSION_NONE, raw / 10, true},
        {"uncompressed, a hundredth of the rows kept", COMPRESSION_NONE, raw / 100, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const QString name = Path("strip.tif");
        WriteGreyTiffStrip(name, kWidth, kHeight, 200, c.compression, c.kept);
        TBitmap32 image;
        const QString error = LoadError(name, image);
        if (c.loads) {
            ASSERT_EQ(error, QString());
            ASSERT_EQ(image.Width(), kWidth);
            ASSERT_EQ(image.Height(), kHeight);
            EXPECT_EQ(image.GetPixel(7, 0), 0xFFC8C8C8u);
        } else {
            EXPECT_EQ(error, QStringLiteral("Unable to create TBitmap buffer"));
            EXPECT_TRUE(image.Empty());
        }
    }
}

TEST_F(ImageLoaderTest, JpegColourGreyAndCmykDecodeToOpaquePixels) {
    const struct {
        const char* label;
        int components;
        std::function<void(int, int, JSAMPLE*)> pixel;
        TColor32 left, right;  // expected colours of the left and right halves
    } cases[] = {
        {"RGB", 3,
         [](int x, int, JSAMPLE* p) {
             p[0] = x < 8 ? 200 : 10;
             p[1] = x < 8 ? 30 : 220;
             p[2] = x < 8 ? 60 : 120;
         },
         0xFFC81E3Cu, 0xFF0ADC78u},
        {"grey", 1, [](int x, int, JSAMPLE* p) { p[0] = x < 8 ? 40 : 230; }, 0xFF282828u,
         0xFFE6E6E6u},
        {"CMYK stored inverted", 4,
         [](int x, int, JSAMPLE* p) {  // pure red ink-free left, black right
             p[0] = x < 8 ? 255 : 255;
             p[1] = x < 8 ? 0 : 255;
             p[2] = x < 8 ? 0 : 255;
             p[3] = x < 8 ? 255 : 0;
         },
         0xFFFF0000u, kOpaqueBlack},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const QString name = Path("case.jpg");
        WriteJpeg(name, 16, 8, c.components, c.pixel);
        TBitmap32 image;
        ASSERT_EQ(LoadError(name, image), QString());
        ASSERT_EQ(image.Width(), 16);
        ASSERT_EQ(image.Height(), 8);
        // Lossy coding: compare away from the edge, allowing a small error per channel.
        for (const auto& [x, want] : {std::pair{2, c.left}, std::pair{13, c.right}})
            for (int y = 0; y < 8; ++y) {
                const TColor32 got = image.GetPixel(x, y);
                EXPECT_EQ(got >> 24, 0xFFu);
                for (int shift : {0, 8, 16})
                    EXPECT_NEAR(int(got >> shift & 0xFF), int(want >> shift & 0xFF), 3)
                        << "at " << x << "," << y << " shift " << shift;
            }
    }
}

TEST_F(ImageLoaderTest, TruncatedJpegShowsTheRowsItHolds) {
    // libjpeg warns about the premature end and fills the rest grey; the photograph's received
    // part is worth showing, so the load succeeds at full size.
    // A flat red top and a noisy rest, so that the cut falls well inside the noisy rows.
    const QString whole = Path("whole.jpg");
    WriteJpeg(whole, 64, 256, 3, [](int x, int y, JSAMPLE* p) {
        p[0] = y < 64 ? 250 : JSAMPLE((x * 73 + y * 151) * 2654435761u >> 24);
        p[1] = y < 64 ? 0 : JSAMPLE((x * 37 + y * 11) * 2246822519u >> 24);
        p[2] = y < 64 ? 0 : JSAMPLE((x * 5 + y * 97) * 3266489917u >> 24);
    });
    const QByteArray bytes = ReadBytes(whole);
    const QString cut = Path("cut.jpg");
    WriteBytes(cut, bytes.left(bytes.size() / 2));
    TBitmap32 image;
    ASSERT_EQ(LoadError(cut, image), QString());
    ASSERT_EQ(image.Width(), 64);
    ASSERT_EQ(image.Height(), 256);
    EXPECT_NEAR(int(image.GetPixel(10, 4) >> 16 & 0xFF), 250, 4);
    const TColor32 last = image.GetPixel(10, 255);
    EXPECT_NEAR(int(last & 0xFF), 128, 4) << std::hex << last;  // libjpeg's grey fill
}

TEST_F(ImageLoaderTest, Bmp32KeepsItsAlphaByteInEitherRowOrder) {
    const std::vector<TColor32> pixels = {0x00112233u, 0x7F445566u, 0xFF778899u,
                                          0x01AABBCCu, 0x80DDEEFFu, 0x00000000u};
    for (bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        const QString name = Path("alpha.bmp");
        WriteBytes(name, Bmp32Bytes(3, 2, topDown, pixels));
        TBitmap32 image;
        ASSERT_EQ(LoadError(name, image), QString());
        ASSERT_EQ(image.Width(), 3);
        ASSERT_EQ(image.Height(), 2);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(image.GetPixel(i % 3, i / 3), pixels[std::size_t(i)]);
    }
}

TEST_F(ImageLoaderTest, BmpOtherDepthsDrawnOpaque) {
    QImage source(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            source.setPixel(x, y, qRgb(x * 50, y * 100, 77));
    const struct {
        const char* label;
        QImage picture;
    } cases[] = {
        {"24-bit", source.convertToFormat(QImage::Format_RGB888)},
        {"8-bit palette", source.convertToFormat(QImage::Format_Indexed8)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const QString name = Path("depth.BMP");
        ASSERT_TRUE(c.picture.save(name, "BMP"));
        TBitmap32 image;
        ASSERT_EQ(LoadError(name, image), QString());
        ASSERT_EQ(image.Width(), 5);
        ASSERT_EQ(image.Height(), 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(image.GetPixel(x, y), 0xFF000000u | c.picture.pixel(x, y))
                    << x << "," << y;
    }
}

TEST_F(ImageLoaderTest, BmpBeyondQtsDefaultAllocationLimitLoads) {
    // 8200 x 4200 pixels take 138 MB as 32-bit pixels, more than Qt's own default limit.
    QImage picture(8200, 4200, QImage::Format_RGB888);
    picture.fill(QColor(10, 20, 30));
    picture.setPixel(8199, 4199, qRgb(200, 100, 50));
    const QString name = Path("big.bmp");
    ASSERT_TRUE(picture.save(name, "BMP"));
    picture = QImage();
    TBitmap32 image;
    ASSERT_EQ(LoadError(name, image), QString());
    EXPECT_EQ(image.Width(), 8200);
    EXPECT_EQ(image.Height(), 4200);
    EXPECT_EQ(image.GetPixel(0, 0), 0xFF0A141Eu);
    EXPECT_EQ(image.GetPixel(8199, 4199), 0xFFC86432u);
}

TEST_F(ImageLoaderTest, ReloadingIntoARasterOfTheSameSizeReplacesEveryPixel) {
    const QString name = Path("flat.png");
    WritePng(name, {2, 1, PNG_COLOR_TYPE_RGBA, 8, false, {{9, 8, 7, 255, 1, 2, 3, 0}}});
    TBitmap32 image;
    image.SetSize(2, 1);
    image.Clear(0x12345678u);
    ASSERT_EQ(LoadError(name, image), QString());
    EXPECT_EQ(image.GetPixel(0, 0), 0xFF090807u);
    EXPECT_EQ(image.GetPixel(1, 0), kOpaqueBlack);
}

// ---- failures ----

TEST_F(ImageLoaderTest, EveryFailureGivesItsMessageAndAnEmptyImage) {
    const QString validPng = Path("valid.png");
    WritePng(validPng, {16, 16, PNG_COLOR_TYPE_GRAY, 8, false,
                        std::vector<std::vector<png_byte>>(16, std::vector<png_byte>(16, 7))});
    const QByteArray pngBytes = ReadBytes(validPng);
    WriteBytes(Path("cut.png"), pngBytes.left(pngBytes.size() - 20));
    WriteBytes(Path("empty.jpg"), QByteArray());
    WriteBytes(Path("text.gif"), "plain text, not a picture");
    WriteBytes(Path("text.bmp"), "plain text, not a picture");
    WriteBytes(Path("text.png"), "plain text, not a picture");
    WriteBytes(Path("text.tif"), "plain text, not a picture");
    WriteBytes(Path("notes.txt"), "plain text, not a picture");
    ASSERT_TRUE(QDir(FDir.path()).mkdir("folder.png"));

    const QString missingTiff = QStringLiteral("no/such/dir/scan.TIF");
    const struct {
        QString name;
        QString message;  // empty: any non-empty message
    } cases[] = {
        {Path("missing.jpg"), CannotOpenFileMessage(Path("missing.jpg"), ENOENT)},
        {Path("missing.gif"), CannotOpenFileMessage(Path("missing.gif"), ENOENT)},
        {Path("missing.bmp"), CannotOpenFileMessage(Path("missing.bmp"), ENOENT)},
        {Path("missing.png"), CannotOpenFileMessage(Path("missing.png"), ENOENT)},
        {QString(), CannotOpenFileMessage(QString(), ENOENT)},
        {Path("folder.png"), CannotOpenFileMessage(Path("folder.png"), EISDIR)},
        {missingTiff, QStringLiteral("Unable to open file 'no/such/dir/scan.TIF'")},
        {Path("text.tif"), "Unable to open file '" + Path("text.tif") + "'"},
        {Path("notes.txt"), QStringLiteral("JPEG error #%1").arg(JERR_NO_SOI)},
        {Path("empty.jpg"), QStringLiteral("JPEG error #%1").arg(JERR_INPUT_EMPTY)},
        {Path("text.gif"), QString::fromLatin1(GifErrorString(D_GIF_ERR_NOT_GIF_FILE))},
        {Path("text.bmp"), QStringLiteral("Not a BMP file")},
        {Path("text.png"), QString()},
        {Path("cut.png"), QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        TBitmap32 image;
        image.SetSize(3, 3);  // a previous picture that must not survive the failure
        const QString message = LoadError(c.name, image);
        if (c.message.isEmpty())
            EXPECT_FALSE(message.isEmpty());
        else
            EXPECT_EQ(message, c.message);
        EXPECT_TRUE(image.Empty());
        EXPECT_EQ(image.Width(), 0);
        EXPECT_EQ(image.Height(), 0);
    }
}

// Hand-made headers declaring pictures far beyond what a raster may hold: each must be refused
// from its header alone (the files are a few dozen bytes, so nothing else could be read).
TEST_F(ImageLoaderTest, HugeDeclaredSizesAreRefusedBeforeAnyPixelMemory) {
    // JPEG: a small valid file whose frame header is patched to 60000 x 60000.
    const QString small = Path("small.jpg");
    WriteJpeg(small, 8, 8, 3, [](int, int, JSAMPLE* p) { p[0] = p[1] = p[2] = 1; });
    QByteArray jpeg = ReadBytes(small);
    const qsizetype sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    jpeg[sof + 5] = char(0xEA);
    jpeg[sof + 6] = char(0x60);
    jpeg[sof + 7] = char(0xEA);
    jpeg[sof + 8] = char(0x60);
    WriteBytes(Path("huge.jpg"), jpeg);

    // PNG: libpng writes a valid IHDR for 200000 x 200000, followed here by the start of the
    // data (libpng reads every chunk up to the first IDAT before it reports the header).
    {
        std::FILE* file = std::fopen(QFile::encodeName(Path("huge.png")).constData(), "wb");
        ASSERT_NE(file, nullptr);
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, file);
        png_set_IHDR(png, info, 200000, 200000, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        const QByteArray idat("IDAT\x78\x9c", 6);
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(idat.constData()), 6);
        QByteArray chunk("\0\0\0\x02", 4);
        chunk += idat;
        for (int shift : {24, 16, 8, 0})
            chunk += char(crc >> shift & 0xFF);
        WriteBytes(Path("huge.png"), ReadBytes(Path("huge.png")) + chunk);
    }

    // GIF: a 65535 x 65535 logical screen with a global table of two colours.
    WriteBytes(Path("huge.gif"), QByteArray("GIF89a\xFF\xFF\xFF\xFF\x80\x00\x00", 13) +
                                     QByteArray(6, '\0') + QByteArray(";"));

    // BMP: 3,000,000 x 2,000,000 at 24 bits.
    QByteArray bmp = Bmp32Bytes(1, 1, false, {0});
    const auto put32 = [&](int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = char(v >> (8 * i) & 0xFF);
    };
    put32(18, 3000000);
    put32(22, 2000000);
    bmp[28] = 24;
    WriteBytes(Path("huge.bmp"), bmp);

    // TIFF: a classic little-endian header and an IFD of 100000 x 100000 grey pixels.
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    const auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
        const std::uint8_t bytes[12] = {std::uint8_t(tag),
                                        std::uint8_t(tag >> 8),
                                        std::uint8_t(type),
                                        0,
                                        1,
                                        0,
                                        0,
                                        0,
                                        std::uint8_t(value),
                                        std::uint8_t(value >> 8),
                                        std::uint8_t(value >> 16),
                                        std::uint8_t(value >> 24)};
        tiff.append(reinterpret_cast<const char*>(bytes), 12);
    };
    tiff.append("\x08\0", 2);
    entry(256, 4, 100000);  // ImageWidth
    entry(257, 4, 100000);  // ImageLength
    entry(258, 3, 8);       // BitsPerSample
    entry(262, 3, 1);       // Photometric: min-is-black
    entry(273, 4, 8);       // StripOffsets
    entry(277, 3, 1);       // SamplesPerPixel
    entry(278, 4, 100000);  // RowsPerStrip
    entry(279, 4, 16);      // StripByteCounts
    tiff.append(QByteArray(4, '\0'));
    WriteBytes(Path("huge.tif"), tiff);

    const struct {
        const char* name;
        const char* message;
    } cases[] = {
        {"huge.jpg", "Can't allocate the DIB handle"},
        {"huge.png", "Can't allocate the DIB handle"},
        {"huge.gif", "Can't allocate the DIB handle"},
        {"huge.bmp", "Can't allocate the DIB handle"},
        {"huge.tif", "Unable to create TBitmap buffer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TBitmap32 image;
        EXPECT_EQ(LoadError(Path(c.name), image), QString::fromLatin1(c.message));
        EXPECT_TRUE(image.Empty());
    }
}

TEST_F(ImageLoaderTest, TooManyProgressiveScansAreRefused) {
    // A progressive file whose scans are repeated past the limit: each copy is a legal
    // refinement-free rescan, so only the count can stop it.
    const QString base = Path("progressive.jpg");
    {
        std::FILE* file = std::fopen(QFile::encodeName(base).constData(), "wb");
        ASSERT_NE(file, nullptr);
        jpeg_compress_struct info{};
        jpeg_error_mgr errors{};
        info.err = jpeg_std_error(&errors);
        jpeg_create_compress(&info);
        jpeg_stdio_dest(&info, file);
        info.image_width = 8;
        info.image_height = 8;
        info.input_components = 1;
        info.in_color_space = JCS_GRAYSCALE;
        jpeg_set_defaults(&info);
        jpeg_simple_progression(&info);
        jpeg_start_compress(&info, TRUE);
        JSAMPLE row[8] = {};
        for (int y = 0; y < 8; ++y) {
            JSAMPROW rows[1] = {row};
            jpeg_write_scanlines(&info, rows, 1);
        }
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        std::fclose(file);
    }
    // The first scan (DC first pass) is repeated; libjpeg accepts repeated DC-first scans with
    // a warning, so without a limit it would decode every one.
    const QByteArray bytes = ReadBytes(base);
    const qsizetype firstScan = bytes.indexOf(QByteArray("\xFF\xDA", 2));
    const qsizetype secondScan = bytes.indexOf(QByteArray("\xFF\xDA", 2), firstScan + 2);
    ASSERT_GT(firstScan, 0);
    ASSERT_GT(secondScan, firstScan);
    const QByteArray scan = bytes.mid(firstScan, secondScan - firstScan);
    QByteArray bomb = bytes.left(secondScan);
    for (int i = 0; i < kMaxJpegScans + 10; ++i)
        bomb += scan;
    bomb += bytes.mid(secondScan);
    WriteBytes(Path("bomb.jpg"), bomb);

    TBitmap32 image;
    EXPECT_EQ(LoadError(base, image), QString());
    EXPECT_EQ(LoadError(Path("bomb.jpg"), image),
              QStringLiteral("JPEG error #%1").arg(kJpegTooManyScansCode));
    EXPECT_TRUE(image.Empty());
}

// Root reads every file, so the unreadable case runs in a child switched to "nobody".
TEST_F(ImageLoaderTest, UnreadableFileGivesThePlatformsOpenError) {
    const QString name = Path("locked.png");
    WritePng(name, {1, 1, PNG_COLOR_TYPE_GRAY, 8, false, {{0}}});
    ASSERT_EQ(::chmod(QFile::encodeName(name).constData(), 0), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(FDir.path()).constData(), 0755), 0);
    const QString expected = CannotOpenFileMessage(name, EACCES);

    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(channel[0]);
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        TBitmap32 image;
        const QByteArray message = LoadError(name, image).toUtf8();
        const bool written =
            ::write(channel[1], message.constData(), std::size_t(message.size())) == message.size();
        ::_exit(written && image.Empty() ? 0 : 1);
    }
    ::close(channel[1]);
    QByteArray message;
    char buffer[512];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        message.append(buffer, n);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "cannot switch to an unprivileged user to test an unreadable file";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the image was not left empty";
    EXPECT_EQ(QString::fromUtf8(message), expected);
}

TEST(SwapRedBlueTest, ExchangesBitsZeroToSevenWithSixteenToTwentyThree) {
    TColor32 pixels[] = {0x11223344u, 0xFF0000FFu, 0x00FF00FFu, 0xAB00CD00u, 0x12345678u};
    SwapRedBlue(2, 2, pixels);  // four pixels; the fifth stays
    EXPECT_EQ(pixels[0], 0x11443322u);
    EXPECT_EQ(pixels[1], 0xFFFF0000u);
    EXPECT_EQ(pixels[2], 0x00FF00FFu);
    EXPECT_EQ(pixels[3], 0xAB00CD00u);
    EXPECT_EQ(pixels[4], 0x12345678u);
}

}  // namespace
