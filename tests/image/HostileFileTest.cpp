// Damaged and malicious input files: each either loads into a picture that owes nothing to
// uninitialised memory, or fails with one message, without blocking and without taking memory
// out of proportion to the file.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>
// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "base/KelvoError.h"
#include "image/Bitmap32.h"
#include "image/ImageLoader.h"
#include "support/TestCorpus.h"
#include "support/TestFiles.h"

namespace {

using test_files::ReadAll;
using test_files::WriteAll;

QString LoadError(const QString& name, TBitmap32& image) {
    try {
        LoadImageFromFile(name, image);
    } catch (const KelvoError& error) {
        return error.Message();
    }
    return QString();
}

void Put16(QByteArray& bytes, std::uint32_t v) {
    bytes.append(char(v & 0xFF));
    bytes.append(char(v >> 8 & 0xFF));
}

void Put32(QByteArray& bytes, std::uint32_t v) {
    Put16(bytes, v & 0xFFFF);
    Put16(bytes, v >> 16);
}

// A BMP with a 40-byte header, bit-field masks when given, a colour table of 0x00RRGGBB
// entries, and the stored pixel data exactly as given (rows bottom first unless height < 0).
struct TBmp {
    int width, height, bitCount;
    std::uint32_t compression;
    std::vector<std::uint32_t> palette;
    QByteArray pixels;
    std::vector<std::uint32_t> masks = {};

    QByteArray Bytes() const {
        const std::uint32_t offset = 14 + 40 + 4 * std::uint32_t(masks.size() + palette.size());
        QByteArray bytes("BM");
        Put32(bytes, offset + std::uint32_t(pixels.size()));
        Put32(bytes, 0);
        Put32(bytes, offset);
        Put32(bytes, 40);
        Put32(bytes, std::uint32_t(width));
        Put32(bytes, std::uint32_t(height));
        Put16(bytes, 1);
        Put16(bytes, std::uint32_t(bitCount));
        Put32(bytes, compression);
        Put32(bytes, std::uint32_t(pixels.size()));
        Put32(bytes, 2835);
        Put32(bytes, 2835);
        Put32(bytes, std::uint32_t(palette.size()));
        Put32(bytes, 0);
        for (std::uint32_t mask : masks)
            Put32(bytes, mask);
        for (std::uint32_t color : palette)
            Put32(bytes, color);
        return bytes + pixels;
    }
};

QByteArray Raw(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int v : values)
        bytes.append(char(v));
    return bytes;
}

constexpr std::uint32_t kRle8 = 1, kRle4 = 2, kBitFields = 3;
const std::vector<std::uint32_t> kPalette = {0x0A141E, 0xC86432, 0x010203};
constexpr TColor32 kC0 = 0xFF0A141Eu, kC1 = 0xFFC86432u, kC2 = 0xFF010203u;

class HostileFileTest : public ::testing::Test {
  protected:
    QString Path(const QString& name) const { return FDir.filePath(name); }
    QString Write(const QString& name, const QByteArray& bytes) const {
        WriteAll(Path(name), bytes);
        return Path(name);
    }
    QTemporaryDir FDir;
};

// Pixels an RLE stream never writes are 0 (black, alpha 0), whatever the raster held before;
// runs past the right edge are cut off.
TEST_F(HostileFileTest, RleSkippedPixelsAreBlackWithAlphaZero) {
    const struct {
        const char* label;
        TBmp bmp;
        std::vector<TColor32> expected;  // top row first
    } cases[] = {
        {"RLE8: delta, early end of line, absolute run, clipped run, early end of bitmap",
         {4, 3, 8, kRle8, kPalette,
          Raw({2, 1,              // bottom row: two of colour 1
               0, 2, 1, 1,        // delta one right, one up: x 3 of the middle row
               1, 2,              // one of colour 2
               0, 0,              // end of line
               0, 3, 0, 1, 2, 0,  // top row: literal 0, 1, 2 and a pad byte
               5, 1,              // five of colour 1, only one of which fits
               0, 1})},           // end of bitmap
         {kC0, kC1, kC2, kC1, 0, 0, 0, kC2, kC1, kC1, 0, 0}},
        {"RLE8: end of bitmap at once", {2, 2, 8, kRle8, kPalette, Raw({0, 1})}, {0, 0, 0, 0}},
        {"RLE8: rows past the top are dropped",
         {2, 1, 8, kRle8, kPalette, Raw({2, 2, 0, 0, 2, 1, 0, 1})},
         {kC2, kC2}},
        {"RLE4: nibbles alternate, literal run padded to a 16-bit boundary",
         {6, 2, 4, kRle4, kPalette,
          Raw({3, 0x12,                    // bottom row: 1, 2, 1
               0, 0,                       // end of line
               0, 5, 0x20, 0x12, 0x10, 0,  // top row: literal 2, 0, 1, 2, 1 (3 bytes + pad)
               2, 0x21,                    // 2, then a 1 past the right edge
               0, 1})},
         {kC2, kC0, kC1, kC2, kC1, kC2, kC1, kC2, kC1, 0, 0, 0}},
        {"RLE8: the last row whole without an end marker",
         {2, 1, 8, kRle8, kPalette, Raw({2, 0})},
         {kC0, kC0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const QString name = Write("rle.bmp", c.bmp.Bytes());
        TBitmap32 image;
        image.SetSize(c.bmp.width, c.bmp.height);
        image.Clear(0x5A5A5A5Au);  // what a reused store might have held
        ASSERT_EQ(LoadError(name, image), QString());
        ASSERT_EQ(image.Width(), c.bmp.width);
        ASSERT_EQ(image.Height(), c.bmp.height);
        for (int i = 0; i < c.bmp.width * c.bmp.height; ++i)
            EXPECT_EQ(image.Bits()[i], c.expected[std::size_t(i)])
                << std::hex << "at " << i % c.bmp.width << "," << i / c.bmp.width;
    }
}

TEST_F(HostileFileTest, BmpPixelDataEndingEarlyIsTruncated) {
    const QByteArray rows8 = Raw({0, 1, 2, 0, 1, 2, 0, 1});  // two rows of 4 at 8 bits
    const struct {
        const char* label;
        QByteArray bytes;
        QString message;  // empty: loads
    } cases[] = {
        {"8-bit palette, last row cut", TBmp{4, 2, 8, 0, kPalette, rows8.left(6)}.Bytes(),
         "BMP file is truncated"},
        {"1-bit, no rows at all", TBmp{8, 2, 1, 0, kPalette, QByteArray()}.Bytes(),
         "BMP file is truncated"},
        {"24-bit, last row one byte short", TBmp{3, 2, 24, 0, {}, QByteArray(20, 'x')}.Bytes(),
         "BMP file is truncated"},
        {"24-bit, only the last row's padding missing",
         TBmp{3, 2, 24, 0, {}, QByteArray(21, 'x')}.Bytes(), ""},
        {"16-bit, last row cut", TBmp{2, 2, 16, 0, {}, QByteArray(6, 'x')}.Bytes(),
         "BMP file is truncated"},
        {"16-bit bit fields, masks cut off",
         TBmp{2, 2, 16, kBitFields, {}, QByteArray()}.Bytes().left(60), "BMP file is truncated"},
        {"32-bit, last row cut", TBmp{2, 2, 32, 0, {}, QByteArray(12, 'x')}.Bytes(),
         "BMP file is truncated"},
        {"RLE8 stream ends before its end marker",
         TBmp{4, 3, 8, kRle8, kPalette, Raw({4, 1, 0, 0, 2, 2})}.Bytes(), "BMP file is truncated"},
        {"RLE8 literal run longer than the file",
         TBmp{4, 1, 8, kRle8, kPalette, Raw({0, 4, 1, 1})}.Bytes(), "BMP file is truncated"},
        {"RLE4 delta cut after its escape", TBmp{4, 2, 4, kRle4, kPalette, Raw({0, 2})}.Bytes(),
         "BMP file is truncated"},
        {"RLE stored top-down", TBmp{2, -2, 8, kRle8, kPalette, Raw({0, 1})}.Bytes(),
         "Compressed BMP files cannot be stored top-down"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const QString name = Write("cut.bmp", c.bytes);
        TBitmap32 image;
        EXPECT_EQ(LoadError(name, image), c.message);
        EXPECT_EQ(image.Empty(), !c.message.isEmpty());
    }
    // A pixel-data offset past the end of the file.
    QByteArray far = TBmp{2, 2, 24, 0, {}, QByteArray(16, 'x')}.Bytes();
    far[10] = char(0x40);
    far[11] = char(0x1F);
    TBitmap32 image;
    EXPECT_EQ(LoadError(Write("far.bmp", far), image), QStringLiteral("BMP file is truncated"));
}

// Five- and six-bit fields widen by repeating their top bits: a full field is 255.
TEST_F(HostileFileTest, SixteenBitChannelsWidenByBitReplication) {
    const auto pixel = [](std::uint32_t v) { return Raw({int(v & 0xFF), int(v >> 8)}); };
    const struct {
        const char* label;
        std::uint32_t compression;
        std::vector<std::uint32_t> masks;
        std::uint32_t stored;
        TColor32 expected;
    } cases[] = {
        {"5-5-5 white", 0, {}, 0x7FFF, 0xFFFFFFFFu},
        {"5-5-5 fields 16, 1, 3", 0, {}, 16u << 10 | 1u << 5 | 3u, 0xFF840818u},
        {"5-5-5 top bit ignored", 0, {}, 0x8000, 0xFF000000u},
        {"5-6-5 white", kBitFields, {0xF800, 0x07E0, 0x001F}, 0xFFFF, 0xFFFFFFFFu},
        {"5-6-5 green 32, 11", kBitFields, {0xF800, 0x07E0, 0x001F}, 32u << 5, 0xFF008200u},
        {"5-6-5 green 11", kBitFields, {0xF800, 0x07E0, 0x001F}, 11u << 5, 0xFF002C00u},
        {"4-4-4 fields 8, 15, 1", kBitFields, {0x0F00, 0x00F0, 0x000F}, 0x08F1, 0xFF88FF11u},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        QByteArray row = pixel(c.stored) + QByteArray(2, '\0');  // padded to four bytes
        const QString name =
            Write("rgb16.bmp", TBmp{1, 1, 16, c.compression, {}, row, c.masks}.Bytes());
        TBitmap32 image;
        ASSERT_EQ(LoadError(name, image), QString());
        EXPECT_EQ(image.GetPixel(0, 0), c.expected) << std::hex << image.GetPixel(0, 0);
    }
}

TEST_F(HostileFileTest, GifEndingAfterItsImageDescriptorIsTruncated) {
    // A 2x2 screen with a two-colour table, then a full image descriptor and nothing more.
    const QByteArray gif = QByteArray("GIF89a\x02\x00\x02\x00\x80\x00\x00", 13) +
                           QByteArray(6, '\0') +
                           QByteArray("\x2C\x00\x00\x00\x00\x02\x00\x02\x00\x00", 10);
    const struct {
        const char* label;
        QByteArray bytes;
    } cases[] = {
        {"nothing after the descriptor", gif},
        {"code size but no data", gif + Raw({2})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TBitmap32 image;
        const QString message = LoadError(Write("cut.gif", c.bytes), image);
        EXPECT_FALSE(message.isEmpty());
        EXPECT_FALSE(message.startsWith("GIF error #")) << message.toStdString();
        EXPECT_TRUE(image.Empty());
    }
    TBitmap32 image;
    EXPECT_EQ(LoadError(Write("cut.gif", gif), image), QStringLiteral("GIF file is truncated"));
}

// Each load runs in a child that an alarm ends, so a blocking open fails the test instead of
// hanging it.
TEST_F(HostileFileTest, SpecialFilesAreRefusedWithoutBlocking) {
    const QString realPicture =
        Write("real.bmp", TBmp{1, 1, 24, 0, {}, QByteArray(4, 'x')}.Bytes());
    ASSERT_TRUE(QFile::link(realPicture, Path("link.bmp")));
    const QString notRegular = QStringLiteral("Cannot open file \"%1\". Not a regular file");
    std::vector<std::pair<QString, QString>> cases;  // name, expected message ("" loads)
    for (const char* ending : {"jpg", "png", "gif", "bmp"}) {
        const QString fifo = Path(QStringLiteral("pipe.%1").arg(QLatin1String(ending)));
        ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        cases.emplace_back(fifo, notRegular.arg(fifo));
    }
    const QString tiffFifo = Path("pipe.tif");
    ASSERT_EQ(::mkfifo(QFile::encodeName(tiffFifo).constData(), 0600), 0);
    cases.emplace_back(tiffFifo, QStringLiteral("Unable to open file '%1'").arg(tiffFifo));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), Path("zero.png")));
    cases.emplace_back(Path("zero.png"), notRegular.arg(Path("zero.png")));
    cases.emplace_back(Path("link.bmp"), QString());

    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name.toStdString());
        int channel[2];
        ASSERT_EQ(::pipe(channel), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(channel[0]);
            ::alarm(20);
            TBitmap32 image;
            const QByteArray message = LoadError(name, image).toUtf8();
            const bool written = ::write(channel[1], message.constData(),
                                         std::size_t(message.size())) == message.size();
            ::_exit(written && image.Empty() == !message.isEmpty() ? 0 : 1);
        }
        ::close(channel[1]);
        QByteArray message;
        char buffer[512];
        for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
            message.append(buffer, n);
        ::close(channel[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_FALSE(WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) << "the load blocked";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(QString::fromUtf8(message), expected);
    }
}

// Whatever Qt says while a load runs (here through the raster's change notification, which the
// load calls) is kept from the user; the handler installed before is back afterwards.
TEST_F(HostileFileTest, QtStaysQuietDuringALoadAndIsHeardAgainAfterIt) {
    static QStringList heard;
    heard.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { heard << text; });
    const QString good = Write("one.bmp", TBmp{1, 1, 24, 0, {}, QByteArray(4, 'x')}.Bytes());
    const QString bad = Write("bad.bmp", TBmp{1, 1, 24, 0, {}, QByteArray(1, 'x')}.Bytes());
    TBitmap32 image;
    image.OnChange = [] { qWarning("during the load"); };
    const QString goodError = LoadError(good, image);
    const QString badError = LoadError(bad, image);
    image.OnChange = nullptr;
    qWarning("after the load");
    qInstallMessageHandler(previous);
    EXPECT_EQ(goodError, QString());
    EXPECT_EQ(badError, QStringLiteral("BMP file is truncated"));
    EXPECT_EQ(heard, QStringList{QStringLiteral("after the load")});
}

// Loads on two threads at once (the window's and the read-ahead's) overlap their quiet spans
// in every order; once both are done the handler installed before is the one in place.
TEST_F(HostileFileTest, OverlappingLoadsOnTwoThreadsPutTheHandlerBack) {
    static std::atomic<int> heard;
    heard = 0;
    const QtMessageHandler recording = [](QtMsgType, const QMessageLogContext&, const QString&) {
        ++heard;
    };
    const QtMessageHandler previous = qInstallMessageHandler(recording);
    const QString good = Write("one.bmp", TBmp{1, 1, 24, 0, {}, QByteArray(4, 'x')}.Bytes());
    const auto loadMany = [&] {
        TBitmap32 image;
        for (int i = 0; i < 300; ++i)
            EXPECT_EQ(LoadError(good, image), QString());
    };
    std::thread other(loadMany);
    loadMany();
    other.join();
    qWarning("after the loads");
    EXPECT_EQ(qInstallMessageHandler(previous), recording);
    EXPECT_EQ(heard, 1);
}

// ---- the command-line tool in a child process ----

struct TChildRun {
    int exitCode = -1;
    QByteArray standardError;
    QByteArray output;        // the written file, if any
    long peakKilobytes = -1;  // the child's peak resident memory
};

// Runs kelvoimage-cli INPUT -o OUTPUT with one more environment setting, and reads back the
// written file and the child's peak memory.
TChildRun RunCli(const QString& input, const QString& output, const char* environment) {
    QFile::remove(output);
    TChildRun run;
    int channel[2];
    if (::pipe(channel) != 0) return run;
    const QByteArray program = QByteArrayLiteral(KELVO_CLI_PATH);
    const QByteArray in = QFile::encodeName(input), out = QFile::encodeName(output);
    const pid_t child = ::fork();
    if (child < 0) return run;
    if (child == 0) {
        ::dup2(channel[1], 2);
        ::close(channel[0]);
        ::close(channel[1]);
        if (environment) ::putenv(const_cast<char*>(environment));
#if !defined(__SANITIZE_ADDRESS__)
        // A safety net only: a regression must not take the machine's memory with it.
        const rlimit limit{std::uint64_t(4) << 30, std::uint64_t(4) << 30};
        ::setrlimit(RLIMIT_AS, &limit);
#endif
        ::execl(program.constData(), program.constData(), in.constData(), "-o", out.constData(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(channel[1]);
    char buffer[512];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        run.standardError.append(buffer, n);
    ::close(channel[0]);
    int status = 0;
    rusage usage{};
    if (::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status)) return run;
    run.exitCode = WEXITSTATUS(status);
    run.peakKilobytes = usage.ru_maxrss;
    run.output = ReadAll(output);
    return run;
}

// Files whose pixels once came partly from memory the decoder never wrote: two runs with
// different malloc fillings must agree byte for byte, and say nothing unless they fail.
TEST_F(HostileFileTest, DamagedFilesGiveTheSamePictureWhateverMallocLeftBehind) {
    // The suite's damaged BMPs join the files made here when the suites are there.
    std::vector<QString> inputs;
    const QString suites = test_corpus::Folder();
    for (const char* file :
         {"b/shortfile.bmp", "b/badrle.bmp", "b/badrle4.bmp", "b/badrlebis.bmp", "b/badrleter.bmp",
          "b/badrle4bis.bmp", "b/badrle4ter.bmp", "b/pal8badindex.bmp", "b/badbitssize.bmp",
          "q/pal8rletrns.bmp", "q/pal8rlecut.bmp", "q/pal4rlecut.bmp", "q/pal4rletrns.bmp",
          "q/pal8offs.bmp", "q/pal8oversizepal.bmp", "q/rgb16-231.bmp", "q/rgba16-4444.bmp",
          "q/pal8os2-sz.bmp"}) {
        const QString path = suites + "/bmpsuite/" + file;
        if (!suites.isEmpty() && QFile::exists(path)) inputs.push_back(path);
    }
    inputs.push_back(Write(
        "skips.bmp", TBmp{4, 3, 8, kRle8, kPalette, Raw({2, 1, 0, 2, 1, 1, 1, 2, 0, 1})}.Bytes()));
    inputs.push_back(Write("short.bmp", TBmp{30, 20, 24, 0, {}, QByteArray(1000, '\x55')}.Bytes()));

    for (const QString& input : inputs) {
        SCOPED_TRACE(input.toStdString());
        const TChildRun first = RunCli(input, Path("first.bmp"), "MALLOC_PERTURB_=85");
        const TChildRun second = RunCli(input, Path("second.bmp"), "MALLOC_PERTURB_=170");
        ASSERT_TRUE(first.exitCode == 0 || first.exitCode == 1) << first.exitCode;
        EXPECT_EQ(first.exitCode, second.exitCode);
        EXPECT_EQ(first.standardError, second.standardError);
        EXPECT_EQ(first.output, second.output);
        if (first.exitCode == 0) {
            EXPECT_EQ(first.standardError, QByteArray());
            EXPECT_FALSE(first.output.isEmpty());
        } else {
            EXPECT_EQ(first.standardError.count('\n'), 1) << first.standardError.constData();
        }
    }
}

// A 16 x 16 progressive JPEG whose frame header is then patched to side x side pixels.
QString WriteTinyProgressiveJpeg(const QString& name, int side, bool fullSizeColour) {
    std::FILE* file = std::fopen(QFile::encodeName(name).constData(), "wb");
    if (!file) return QString();
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = 16;
    info.image_height = 16;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    if (fullSizeColour) info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = 1;
    jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    JSAMPLE row[16 * 3] = {};
    for (int y = 0; y < 16; ++y) {
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
    QByteArray bytes = ReadAll(name);
    const qsizetype sof = bytes.indexOf(QByteArray("\xFF\xC2", 2));
    if (sof < 0) return QString();
    for (int at : {5, 7}) {  // height, then width
        bytes[sof + at] = char(side >> 8);
        bytes[sof + at + 1] = char(side & 0xFF);
    }
    WriteAll(name, bytes);
    return name;
}

// A few hundred bytes that declare a picture of gigabytes: refused from the header, with the
// raster's message, before memory is taken. The child's peak memory is the proof.
TEST_F(HostileFileTest, TinyFilesDeclaringHugePicturesStayFarBelowSixHundredMegabytes) {
    // 154 bytes: a 24-bit BMP header for 16000 x 16000 and a hundred bytes of pixels.
    const QString bmp =
        Write("big.bmp", TBmp{16000, 16000, 24, 0, {}, QByteArray(100, 'x')}.Bytes());

    // An RLE8 file of 8200 x 8200 that ends at once: 269 MB of raster from 60 bytes, just
    // above the allowance that any file gets, so refused by the ratio to the file's size.
    const QString rle = Write("big-rle.bmp", TBmp{8200, 8200, 8, kRle8, {0}, Raw({0, 1})}.Bytes());

    // Progressive JPEGs of a few hundred bytes: one declaring 20000 x 20000 pixels, whose raster
    // is refused; one declaring 8000 x 8000 with full-size colour (4:4:4), whose raster would be
    // allowed but whose bytes cannot fill its million blocks; the same padded to 2.5 KB, which
    // could, so that its coefficients (384 MB, kept by libjpeg until the last scan) are refused.
    const QString jpeg = WriteTinyProgressiveJpeg(Path("big.jpg"), 20000, false);
    const QString unfilled = WriteTinyProgressiveJpeg(Path("unfilled.jpg"), 8000, true);
    const QString coefficients = WriteTinyProgressiveJpeg(Path("coefficients.jpg"), 8000, true);
    WriteAll(coefficients, ReadAll(coefficients) + QByteArray(2048, '\0'));

    // A 35-byte GIF with a 20000 x 20000 screen and a 1x1 frame, and one with an 8000 x 4000
    // screen, whose raster the size rule alone would allow though no 35 bytes can fill it.
    const QString gif = Write(
        "big.gif", QByteArray("GIF89a\x20\x4E\x20\x4E\x80\x00\x00", 13) + QByteArray(6, '\0') +
                       QByteArray("\x2C\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0;", 16));
    const QString wideGif = Write(
        "wide.gif", QByteArray("GIF89a\x40\x1F\xA0\x0F\x80\x00\x00", 13) + QByteArray(6, '\0') +
                        QByteArray("\x2C\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0;", 16));

    // A TIFF IFD of 20000 x 20000 grey pixels in one strip of 16 bytes.
    QByteArray tiffBytes("II*\0\x08\0\0\0", 8);
    const auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
        Put16(tiffBytes, tag);
        Put16(tiffBytes, type);
        Put32(tiffBytes, 1);
        Put32(tiffBytes, value);
    };
    Put16(tiffBytes, 9);
    entry(256, 4, 20000);  // ImageWidth
    entry(257, 4, 20000);  // ImageLength
    entry(258, 3, 8);      // BitsPerSample
    entry(259, 3, 1);      // no compression
    entry(262, 3, 1);      // Photometric: min-is-black
    entry(273, 4, 8);      // StripOffsets
    entry(277, 3, 1);      // SamplesPerPixel
    entry(278, 4, 20000);  // RowsPerStrip
    entry(279, 4, 16);     // StripByteCounts
    tiffBytes.append(QByteArray(4, '\0'));
    const QString tiff = Write("big.tif", tiffBytes);

    const struct {
        QString input;
        QByteArray message;
    } cases[] = {
        {bmp, "Can't allocate the DIB handle."},
        {rle, "Can't allocate the DIB handle."},
        {jpeg, "Can't allocate the DIB handle."},
        {unfilled, "Can't allocate the DIB handle."},
        {coefficients, QStringLiteral("JPEG error #%1.").arg(JERR_NO_BACKING_STORE).toUtf8()},
        {gif, "Can't allocate the DIB handle."},
        {wideGif, "Can't allocate the DIB handle."},
        {tiff, "Unable to create TBitmap buffer."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        EXPECT_LT(QFileInfo(c.input).size(), c.input == coefficients ? 3000 : 600);
        const TChildRun run = RunCli(c.input, Path("out.bmp"), nullptr);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.standardError, QByteArray("kelvoimage-cli: ") + QFile::encodeName(c.input) +
                                         ": " + c.message + '\n');
        EXPECT_TRUE(run.output.isEmpty());
        ASSERT_GT(run.peakKilobytes, 0);
        EXPECT_LT(run.peakKilobytes, 600 * 1024);
        std::printf("%s: peak %ld kB\n", qPrintable(QFileInfo(c.input).fileName()),
                    run.peakKilobytes);
    }
}

// The allowance grows with the file: the picture refused above from 60 bytes loads when its
// RLE data really covers every pixel (half a megabyte, a ratio near 500 : 1).
TEST_F(HostileFileTest, ThePictureMayGrowWithItsFile) {
    const int side = 8200;
    QByteArray runs;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x + 255 <= side; x += 255)
            runs += Raw({255, 1});
        runs += Raw({side % 255, 2, 0, 0});
    }
    runs += Raw({0, 1});
    const QString name = Write("full-rle.bmp", TBmp{side, side, 8, kRle8, kPalette, runs}.Bytes());
    runs = QByteArray();
    TBitmap32 image;
    ASSERT_EQ(LoadError(name, image), QString());
    ASSERT_EQ(image.Width(), side);
    EXPECT_EQ(image.GetPixel(0, 0), kC1);
    EXPECT_EQ(image.GetPixel(side - 1, side - 1), kC2);
}

}  // namespace
