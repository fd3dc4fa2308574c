// kelvoimage-cli as scripts drive it: the usual spellings, the refusals, messages that name the
// file, the standard streams, batches and the JSON information.

#include <gtest/gtest.h>

#include <pty.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <cerrno>
#include <cstdio>
#include <vector>
// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "base/KelvoError.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "support/CameraFormats.h"
#include "support/CliRun.h"
#include "support/JpegLayout.h"
#include "support/RasterPatterns.h"
#include "support/TaggedJpeg.h"
#include "support/TestFiles.h"

namespace {

using test_files::Entries;
using test_files::ReadAll;
using test_files::WriteAll;

QString Said(const QString& file, const QString& message) {
    return CliErrorLine(file, message);
}

// A baseline JPEG with a restart marker after every row of blocks, written by libjpeg itself.
QByteArray JpegWithRestarts(const TBitmap32& picture) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(picture.Width());
    info.image_height = JDIMENSION(picture.Height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    info.restart_in_rows = 1;
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(std::size_t(picture.Width()) * 3);
    while (info.next_scanline < info.image_height) {
        const int y = int(info.next_scanline);
        for (int x = 0; x < picture.Width(); ++x) {
            const TColor32 c = picture.GetPixel(x, y);
            row[std::size_t(x) * 3] = (c >> 16) & 0xFF;
            row[std::size_t(x) * 3 + 1] = (c >> 8) & 0xFF;
            row[std::size_t(x) * 3 + 2] = c & 0xFF;
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

// The file a camera leaves when a card error eats part of a restart interval: the data between
// the first two restart markers loses its second half, the rest of the file is intact.
QByteArray DamagedInsideTheScan(const QByteArray& jpeg) {
    const qsizetype scan = jpeg_layout::LayoutOf(jpeg).ScanData;
    const qsizetype first = jpeg.indexOf(QByteArray("\xFF\xD0", 2), scan);
    const qsizetype second = jpeg.indexOf(QByteArray("\xFF\xD1", 2), first);
    if (scan < 0 || first < 0 || second < 0) return {};
    QByteArray damaged = jpeg;
    const qsizetype middle = first + 2 + (second - first - 2) / 2;
    damaged.remove(middle, second - middle);
    return damaged;
}

// The tool with a file on its standard input (none when empty).
TCliRun RunWithInput(const QStringList& arguments, const QString& standardInput) {
    QProcess process;
    if (!standardInput.isEmpty()) process.setStandardInputFile(standardInput);
    process.start(QStringLiteral(KELVO_CLI_PATH), arguments);
    TCliRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.ExitCode = process.exitCode();
    run.StandardOutput = process.readAllStandardOutput();
    run.StandardError = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

class CliScriptingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FFolder.isValid());
        FInput = PathOf(QStringLiteral("in.png"));
        WriteImageFile(FInput, Noise(24, 16, 3), 95);
    }
    QString PathOf(const QString& name) const { return FFolder.filePath(name); }
    QTemporaryDir FFolder;
    QString FInput;
};

}  // namespace

TEST_F(CliScriptingTest, EverySpellingOfAnOptionWritesTheSameFile) {
    const QString expected = PathOf(QStringLiteral("expected.png"));
    ASSERT_EQ(RunCli({FInput, QStringLiteral("--brightness"), QStringLiteral("20"),
                      QStringLiteral("--crop"), QStringLiteral("2,2,12,8"), QStringLiteral("-o"),
                      expected})
                  .ExitCode,
              0);
    const QString out = PathOf(QStringLiteral("out.png"));
    const QStringList spellings[] = {
        {QStringLiteral("--brightness=20"), QStringLiteral("--crop=2,2,12,8"), QStringLiteral("-o"),
         out},
        {QStringLiteral("--brightness"), QStringLiteral("20"), QStringLiteral("--crop"),
         QStringLiteral("2,2,12,8"), QStringLiteral("--output"), out},
        {QStringLiteral("--output=") + out, QStringLiteral("--crop=2,2,12,8"),
         QStringLiteral("--brightness=20")},
        {QStringLiteral("--brightness=20"), QStringLiteral("--crop=2,2,12,8"),
         QStringLiteral("--format=png"), QStringLiteral("-o"), out},
    };
    for (const QStringList& spelling : spellings) {
        SCOPED_TRACE(spelling.join(QLatin1Char(' ')).toStdString());
        QFile::remove(out);
        const TCliRun run = RunCli(QStringList{FInput} + spelling);
        ASSERT_EQ(run.ExitCode, 0) << run.StandardError.toStdString();
        EXPECT_EQ(ReadAll(out), ReadAll(expected));
    }
    // The endings of JPEG files, in any letter case, write JPEG.
    const QByteArray jpeg = [&] {
        const QString jpg = PathOf(QStringLiteral("expected.jpg"));
        RunCli({FInput, QStringLiteral("-o"), jpg});
        return ReadAll(jpg);
    }();
    ASSERT_TRUE(jpeg.startsWith("\xFF\xD8"));
    for (const char* name : {"a.jpeg", "b.JPEG", "c.jpe", "d.Jpe"}) {
        const TCliRun run = RunCli({FInput, QStringLiteral("-o"), PathOf(QLatin1String(name))});
        EXPECT_EQ(run.ExitCode, 0) << name << ": " << run.StandardError.toStdString();
        EXPECT_EQ(ReadAll(PathOf(QLatin1String(name))), jpeg) << name;
    }
}

TEST_F(CliScriptingTest, RangesAndConflictsAreRefusedBeforeAnythingIsWritten) {
    const QString out = PathOf(QStringLiteral("out.png"));
    const QString pdf = PathOf(QStringLiteral("page.pdf"));
    const QString missingFolder = PathOf(QStringLiteral("nowhere"));
    const struct {
        QStringList Arguments;
        QString File;  // the file the message names, if any
        QString Message;
    } cases[] = {
        {{FInput, "--quality", "0", "-o", out},
         {},
         "Invalid quality '0': it must lie between 1 and 100"},
        {{FInput, "--quality=101", "-o", out},
         {},
         "Invalid quality '101': it must lie between 1 and 100"},
        {{FInput, "--quality", "-5", "-o", out},
         {},
         "Invalid quality '-5': it must lie between 1 and 100"},
        {{FInput, "-j", "0", "--out-dir", FFolder.path()},
         {},
         "Invalid number of jobs '0': it must lie between 1 and 256"},
        {{FInput, "-o", out, "--output", PathOf("second.png")},
         {},
         "Only one output may be given: -o and -o"},
        {{FInput, "-o", out, "--out-dir", FFolder.path()},
         {},
         "Only one output may be given: -o and --out-dir"},
        {{FInput, "--info", "-o", PathOf("x.jpg")},
         {},
         "--info and -o cannot be given together: a run makes one result"},
        {{FInput, "--histogram", "-o", out},
         {},
         "--histogram and -o cannot be given together: a run makes one result"},
        {{FInput, "--print-pdf", pdf, "--info"},
         {},
         "--print-pdf and --info cannot be given together: a run makes one result"},
        {{FInput, "--info", "--histogram"},
         {},
         "--info and --histogram cannot be given together: a run makes one result"},
        {{FInput, "--page", "Letter", "-o", out}, {}, "--page goes with --print-pdf"},
        {{FInput, "--print-pdf", out},
         {},
         QStringLiteral("Nothing written: '%1' does not end with .pdf").arg(out)},
        {{FInput, "--json", "-o", out}, {}, "--json goes with --info"},
        {{FInput, FInput, "-o", out},
         {},
         QStringLiteral("Only one input file may be given without --out-dir, not also '%1'")
             .arg(FInput)},
        {{FInput, "-o", "-"},
         {},
         "Writing to standard output (-o -) needs --format JPG, PNG, GIF or BMP"},
        {{FInput, "--format", "tiff", "-o", "-"},
         {},
         "Invalid format 'tiff': JPG, PNG, GIF or BMP is needed"},
        {{FInput, "--format", "JPG", "-o", out},
         {},
         QStringLiteral("--format JPG disagrees with the ending of '%1'").arg(out)},
        {{FInput, "-o", PathOf("out.tif")},
         {},
         QStringLiteral("Nothing written: '%1' does not end with .jpg, .jpeg, .jpe, .png, .gif or "
                        ".bmp (--format names the type)")
             .arg(PathOf("out.tif"))},
        {{FInput, "--cw=1", "-o", out}, {}, "Option --cw takes no value"},
        {{FInput, "--flop=1", "-o", out}, {}, "Unknown option '--flop'"},
        {{FInput, "--out-dir", missingFolder}, missingFolder, "No such folder"},
        {{"-", "-", "--out-dir", FFolder.path()}, {}, "Standard input (-) can be read only once"},
    };
    for (const auto& c : cases) {
        const std::string label = c.Arguments.join(QLatin1Char(' ')).toStdString();
        const TCliRun run = RunCli(c.Arguments);
        EXPECT_EQ(run.ExitCode, 1) << label;
        EXPECT_EQ(run.StandardError, Said(c.File, c.Message)) << label;
        EXPECT_TRUE(run.StandardOutput.isEmpty()) << label;
        EXPECT_EQ(Entries(FFolder.path()), QStringList{QStringLiteral("in.png")}) << label;
    }
}

TEST_F(CliScriptingTest, EveryFailureNamesTheFileItConcerns) {
    const QString fake = PathOf(QStringLiteral("fake.jpg"));
    WriteAll(fake, "this is a text, not a picture\n");
    const QString photo = PathOf(QStringLiteral("photo.jpg"));
    WriteImageFile(photo, Noise(32, 16, 5), 90);
    const QString truncated = PathOf(QStringLiteral("truncated.jpg"));
    WriteAll(truncated, ReadAll(photo).left(200));
    const QString missing = PathOf(QStringLiteral("missing.png"));
    const QString noFolder = PathOf(QStringLiteral("no/out.png"));
    const QString noFolderJpeg = PathOf(QStringLiteral("no/out.jpg"));
    const QString noFolderPdf = PathOf(QStringLiteral("no/page.pdf"));
    // Damaged files of the kinds the tool's modules decode: their messages are the decoders'.
    const QString cutTiff = PathOf(QStringLiteral("cut.tif"));
    WriteAll(cutTiff, QByteArray("II*\0\x08\0\0\0\x40\0", 10));
    const QString cutHeif = PathOf(QStringLiteral("cut.heic"));
    WriteAll(cutHeif, QByteArray("\0\0\0\x18" "ftypheic\0\0\0\0" "mif1heic" "\0\0\0\x08", 28));
    const QString cutRaw = PathOf(QStringLiteral("cut.raf"));
    WriteAll(cutRaw, "FUJIFILMCCD-RAW 0201FF393107");
    const auto loadError = [](const QString& file) {
        TBitmap32 image;
        try {
            LoadImageFromFile(file, image);
        } catch (const KelvoError& error) {
            return error.Message();
        }
        return QString();
    };
    const struct {
        QStringList Arguments;
        QString File;
        QString Message;
    } cases[] = {
        {{fake, "-o", PathOf("a.png")}, fake, loadError(fake)},
        {{truncated, "-o", PathOf("a.png")}, truncated, loadError(truncated)},
        {{missing, "-o", PathOf("a.png")}, missing, CannotOpenFileMessage(missing, ENOENT)},
        {{FInput, "-o", noFolder}, noFolder, CannotCreateFileMessage(noFolder, ENOENT)},
        // JPEG to JPEG by point operations runs in bands: its failures are named the same.
        {{photo, "--negative", "-o", noFolderJpeg},
         noFolderJpeg,
         CannotCreateFileMessage(noFolderJpeg, ENOENT)},
        {{fake, "--negative", "-o", PathOf("a.jpg")}, fake, loadError(fake)},
        {{cutTiff, "-o", PathOf("a.png")}, cutTiff, loadError(cutTiff)},
        {{cutHeif, "-o", PathOf("a.png")}, cutHeif, loadError(cutHeif)},
        {{cutRaw, "-o", PathOf("a.png")}, cutRaw, loadError(cutRaw)},
        {{FInput, "--hotspot", missing, "-o", PathOf("a.png")},
         missing,
         CannotOpenFileMessage(missing, ENOENT)},
        {{FInput, "--print-pdf", noFolderPdf},
         noFolderPdf,
         CannotCreateFileMessage(noFolderPdf, ENOENT)},
    };
    for (const auto& c : cases) {
        const std::string label = c.Arguments.join(QLatin1Char(' ')).toStdString();
        ASSERT_FALSE(c.Message.isEmpty()) << label;
        const TCliRun run = RunCli(c.Arguments);
        EXPECT_EQ(run.ExitCode, 1) << label;
        EXPECT_EQ(run.StandardError, Said(c.File, c.Message)) << label;
        EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("a.png")))) << label;
        EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("a.jpg")))) << label;
    }
    EXPECT_TRUE(loadError(fake).startsWith(QStringLiteral("JPEG error #")));
}

TEST_F(CliScriptingTest, ADamagedJpegThatStillDecodesIsAWarning) {
    const QByteArray whole = JpegWithRestarts(Noise(64, 48, 9));
    const QByteArray damaged = DamagedInsideTheScan(whole);
    ASSERT_FALSE(damaged.isEmpty());
    const QString input = PathOf(QStringLiteral("damaged.jpg"));
    WriteAll(input, damaged);
    const QString warning = QStringLiteral(
                                "kelvoimage-cli: warning: %1: Corrupt JPEG data: "
                                "premature end of data segment\n")
                                .arg(input);
    // The band path (JPEG to JPEG, a point operation) and the whole picture's path alike.
    for (const QStringList& job : {QStringList{QStringLiteral("--negative"), QStringLiteral("-o"),
                                               PathOf(QStringLiteral("out.jpg"))},
                                   QStringList{QStringLiteral("--cw"), QStringLiteral("-o"),
                                               PathOf(QStringLiteral("out.png"))}}) {
        SCOPED_TRACE(job.join(QLatin1Char(' ')).toStdString());
        const TCliRun run = RunCli(QStringList{input} + job);
        EXPECT_EQ(run.ExitCode, 0);
        EXPECT_EQ(run.StandardError, warning);
        EXPECT_TRUE(QFile::exists(job.last()));
        const TCliRun quiet = RunCli(QStringList{input, QStringLiteral("--quiet")} + job);
        EXPECT_EQ(quiet.ExitCode, 0);
        EXPECT_EQ(quiet.StandardError, QString());
    }
    // The undamaged file says nothing.
    WriteAll(input, whole);
    const TCliRun clean =
        RunCli({input, QStringLiteral("-o"), PathOf(QStringLiteral("clean.png"))});
    EXPECT_EQ(clean.ExitCode, 0);
    EXPECT_EQ(clean.StandardError, QString());
}

// A camera's preview is a JPEG too: its damage is the same warning, though LibRaw's part of the
// tool lives in a module of its own.
TEST_F(CliScriptingTest, ARawWhosePreviewIsDamagedWarnsAsAJpegDoes) {
    const QByteArray damaged = DamagedInsideTheScan(JpegWithRestarts(Noise(64, 48, 9)));
    ASSERT_FALSE(damaged.isEmpty());
    const QString input = PathOf(QStringLiteral("damaged.dng"));
    WriteAll(input, camera_formats::DngLikeFile(damaged, 64, 48, 1));
    const TCliRun run = RunCli({input, QStringLiteral("-o"), PathOf(QStringLiteral("out.png"))});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.StandardError, QStringLiteral("kelvoimage-cli: warning: %1: Corrupt JPEG data: "
                                                "premature end of data segment\n")
                                     .arg(input));
    EXPECT_TRUE(QFile::exists(PathOf(QStringLiteral("out.png"))));
}

TEST_F(CliScriptingTest, StandardInputAndOutputCarryTheSameBytesAsFiles) {
    const QString photo = PathOf(QStringLiteral("photo.jpg"));
    WriteImageFile(photo, Noise(40, 30, 4), 90);
    const struct {
        QString Input;
        QStringList Job;
        QString Format;
        QString Ending;
    } cases[] = {
        {FInput, {QStringLiteral("--cw")}, QStringLiteral("PNG"), QStringLiteral(".png")},
        {photo, {QStringLiteral("--negative")}, QStringLiteral("JPG"), QStringLiteral(".jpg")},
        {photo, {QStringLiteral("--half")}, QStringLiteral("bmp"), QStringLiteral(".bmp")},
        {FInput, {}, QStringLiteral("GIF"), QStringLiteral(".gif")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.Input + QLatin1Char(' ') + c.Format).toStdString());
        const QString expected = PathOf(QStringLiteral("expected") + c.Ending);
        ASSERT_EQ(RunCli(QStringList{c.Input} + c.Job + QStringList{QStringLiteral("-o"), expected})
                      .ExitCode,
                  0);
        const QStringList toStdout = c.Job + QStringList{QStringLiteral("--format"), c.Format,
                                                         QStringLiteral("-o"), QStringLiteral("-")};
        const TCliRun fromFile = RunWithInput(QStringList{c.Input} + toStdout, QString());
        EXPECT_EQ(fromFile.ExitCode, 0) << fromFile.StandardError.toStdString();
        EXPECT_EQ(fromFile.StandardOutput, ReadAll(expected));
        const TCliRun streams = RunWithInput(QStringList{QStringLiteral("-")} + toStdout, c.Input);
        EXPECT_EQ(streams.ExitCode, 0) << streams.StandardError.toStdString();
        EXPECT_EQ(streams.StandardOutput, ReadAll(expected));
        const QString fromStdin = PathOf(QStringLiteral("from-stdin") + c.Ending);
        const TCliRun toFile = RunWithInput(
            QStringList{QStringLiteral("-")} + c.Job + QStringList{QStringLiteral("-o"), fromStdin},
            c.Input);
        EXPECT_EQ(toFile.ExitCode, 0) << toFile.StandardError.toStdString();
        EXPECT_EQ(ReadAll(fromStdin), ReadAll(expected));
    }
    // What standard input holds is named as such when it is no picture.
    const QString text = PathOf(QStringLiteral("text.txt"));
    WriteAll(text, "hello\n");
    const TCliRun refused = RunWithInput(
        {QStringLiteral("-"), QStringLiteral("-o"), PathOf(QStringLiteral("x.png"))}, text);
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_TRUE(refused.StandardError.startsWith(
        QStringLiteral("kelvoimage-cli: (standard input): JPEG error #")))
        << refused.StandardError.toStdString();
    EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("x.png"))));
}

TEST_F(CliScriptingTest, ABatchDoesEveryFileItCanAndNamesTheOnesItCannot) {
    const QString source = PathOf(QStringLiteral("source"));
    const QString target = PathOf(QStringLiteral("target"));
    ASSERT_TRUE(QDir().mkdir(source));
    ASSERT_TRUE(QDir().mkdir(target));
    QStringList inputs;
    for (int i = 0; i < 5; ++i) {
        const QString name = QStringLiteral("%1/p%2.%3")
                                 .arg(source)
                                 .arg(i)
                                 .arg(i % 2 ? QStringLiteral("JPG") : QStringLiteral("png"));
        if (i != 2) WriteImageFile(name, Noise(30 + i, 20, std::uint32_t(i + 1)), 90);
        inputs << name;
    }
    const TCliRun run = RunCli(
        QStringList{QStringLiteral("--negative"), QStringLiteral("--out-dir"), target} + inputs);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.StandardError, Said(inputs[2], CannotOpenFileMessage(inputs[2], ENOENT)));
    EXPECT_EQ(Entries(target), (QStringList{"p0.png", "p1.JPG", "p3.JPG", "p4.png"}));
    // Each is the file a run of its own writes.
    for (int i : {0, 1, 3, 4}) {
        const QString single = PathOf(QFileInfo(inputs[i]).fileName());
        ASSERT_EQ(RunCli({inputs[i], QStringLiteral("--negative"), QStringLiteral("-o"), single})
                      .ExitCode,
                  0);
        EXPECT_EQ(ReadAll(target + QLatin1Char('/') + QFileInfo(inputs[i]).fileName()),
                  ReadAll(single))
            << i;
    }
    // --format gives the written files its ending.
    const QString converted = PathOf(QStringLiteral("converted"));
    ASSERT_TRUE(QDir().mkdir(converted));
    const TCliRun formatted = RunCli({QStringLiteral("--format=bmp"), QStringLiteral("--out-dir"),
                                      converted, inputs[0], inputs[1]});
    EXPECT_EQ(formatted.ExitCode, 0) << formatted.StandardError.toStdString();
    EXPECT_EQ(Entries(converted), (QStringList{"p0.bmp", "p1.bmp"}));
    // Two inputs of one name would write one file twice.
    const TCliRun clash = RunCli(
        {QStringLiteral("--out-dir"), converted, inputs[0], target + QStringLiteral("/p0.png")});
    EXPECT_EQ(clash.ExitCode, 1);
    EXPECT_TRUE(clash.StandardError.contains(QStringLiteral("would both be written")))
        << clash.StandardError.toStdString();
}

TEST_F(CliScriptingTest, OneOrTwoFilesAtOnceWriteTheSameBytes) {
    QStringList inputs;
    for (int i = 0; i < 4; ++i) {
        const QString name = PathOf(QStringLiteral("p%1.%2").arg(i).arg(
            i % 2 ? QStringLiteral("jpg") : QStringLiteral("png")));
        WriteImageFile(name, Noise(300, 200, std::uint32_t(i + 7)), 90);
        inputs << name;
    }
    // The histogram equalisation's loops run over the cores when a file is alone.
    for (const QStringList& steps :
         {QStringList{QStringLiteral("--negative")},
          QStringList{QStringLiteral("--linear"), QStringLiteral("--cw")}}) {
        SCOPED_TRACE(steps.join(QLatin1Char(' ')).toStdString());
        QByteArray written[2][4];
        for (int jobs : {1, 2}) {
            const QString folder = PathOf(QStringLiteral("j%1-%2").arg(jobs).arg(steps.size()));
            ASSERT_TRUE(QDir().mkdir(folder));
            const TCliRun run = RunCli(steps +
                                       QStringList{QStringLiteral("-j"), QString::number(jobs),
                                                   QStringLiteral("--out-dir"), folder} +
                                       inputs);
            ASSERT_EQ(run.ExitCode, 0) << run.StandardError.toStdString();
            for (int i = 0; i < 4; ++i)
                written[jobs - 1][i] =
                    ReadAll(folder + QLatin1Char('/') + QFileInfo(inputs[i]).fileName());
        }
        for (int i = 0; i < 4; ++i) {
            EXPECT_FALSE(written[0][i].isEmpty()) << i;
            EXPECT_EQ(written[0][i], written[1][i]) << i;
        }
    }
}

TEST_F(CliScriptingTest, InfoAsJsonHoldsWhatTheReportShows) {
    using namespace tagged_jpeg;
    const QString photo = PathOf(QStringLiteral("photo.jpg"));
    Write(photo, {
                     {"Exif.Image.Make", 2, Ascii("Canon")},
                     {"Exif.Image.Model", 2, Ascii("EOS 5")},
                     {"Exif.Photo.ISOSpeedRatings", 3, Short(400)},
                 });
    const TCliRun report =
        RunCli({photo, QStringLiteral("--info")}, TCliRunSetup::WithPointDecimals());
    ASSERT_EQ(report.ExitCode, 0);
    EXPECT_EQ(report.StandardOutput,
              QByteArray("Manufacturer: Canon\r\nModel: EOS 5\r\nISO Speed: 400\r\n"));

    const TCliRun one = RunCli({photo, QStringLiteral("--info"), QStringLiteral("--json")});
    ASSERT_EQ(one.ExitCode, 0) << one.StandardError.toStdString();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(one.StandardOutput, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << one.StandardOutput.toStdString();
    ASSERT_TRUE(document.isObject());
    const QJsonObject object = document.object();
    EXPECT_EQ(object.value(QStringLiteral("file")).toString(), photo);
    EXPECT_EQ(object.value(QStringLiteral("format")).toString(), QStringLiteral("JPEG"));
    EXPECT_EQ(object.value(QStringLiteral("width")).toInt(), 8);
    EXPECT_EQ(object.value(QStringLiteral("height")).toInt(), 6);
    const QJsonObject tags = object.value(QStringLiteral("tags")).toObject();
    EXPECT_EQ(tags.value(QStringLiteral("Exif.Image.Make")).toString(), QStringLiteral("Canon"));
    EXPECT_EQ(tags.value(QStringLiteral("Exif.Image.Model")).toString(), QStringLiteral("EOS 5"));
    EXPECT_EQ(tags.value(QStringLiteral("Exif.Photo.ISOSpeedRatings")).toString(),
              QStringLiteral("400"));

    // Several files: an array in the order given; a file without tags (a PNG) has an empty set,
    // and one that cannot be read is named on standard error and left out.
    const QString missing = PathOf(QStringLiteral("missing.jpg"));
    const TCliRun several =
        RunCli({QStringLiteral("--info"), QStringLiteral("--json"), FInput, missing, photo});
    EXPECT_EQ(several.ExitCode, 1);
    EXPECT_EQ(several.StandardError, Said(missing, CannotOpenFileMessage(missing, ENOENT)));
    const QJsonDocument array = QJsonDocument::fromJson(several.StandardOutput, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << several.StandardOutput.toStdString();
    ASSERT_TRUE(array.isArray());
    ASSERT_EQ(array.array().size(), 2);
    const QJsonObject png = array.array().at(0).toObject();
    EXPECT_EQ(png.value(QStringLiteral("file")).toString(), FInput);
    EXPECT_EQ(png.value(QStringLiteral("format")).toString(), QStringLiteral("PNG"));
    EXPECT_EQ(png.value(QStringLiteral("width")).toInt(), 24);
    EXPECT_EQ(png.value(QStringLiteral("height")).toInt(), 16);
    EXPECT_TRUE(png.value(QStringLiteral("tags")).toObject().isEmpty());
    EXPECT_EQ(array.array().at(1).toObject(), object);
}

TEST_F(CliScriptingTest, HelpListsEveryOptionUnderItsHeadingInOneColumn) {
    const TCliRun run = RunCli({QStringLiteral("--help")});
    ASSERT_EQ(run.ExitCode, 0);
    const QStringList lines = QString::fromLocal8Bit(run.StandardOutput).split(QLatin1Char('\n'));
    QStringList headings;
    int column = -1;
    for (const QString& line : lines) {
        if (!line.isEmpty() && !line.startsWith(QLatin1Char(' ')) &&
            line.endsWith(QLatin1Char(':')))
            headings << line;
        if (!line.startsWith(QStringLiteral("  -"))) continue;
        // The meaning starts after two spaces at least, in the same column on every line.
        const qsizetype gap = line.indexOf(QStringLiteral("  "), 2);
        if (gap < 0) continue;  // a long option: its meaning is on the next line
        qsizetype start = gap;
        while (start < line.size() && line[start] == QLatin1Char(' '))
            ++start;
        if (column < 0) column = int(start);
        EXPECT_EQ(start, column) << line.toStdString();
    }
    EXPECT_EQ(headings, (QStringList{"Input and output:", "Geometry:", "Tone and colour:",
                                     "Hot spot:", "Information:", "Batch:"}));
}

namespace {

bool TerminalsCanBeOpened() {
    int terminal = -1;
    int tool = -1;
    if (::openpty(&terminal, &tool, nullptr, nullptr, nullptr) != 0) return false;
    ::close(tool);
    ::close(terminal);
    return true;
}

// The tool with its standard error on a terminal of its own; what it wrote there.
QByteArray StandardErrorOnATerminal(const QStringList& arguments) {
    int terminal = -1;
    int tool = -1;
    if (::openpty(&terminal, &tool, nullptr, nullptr, nullptr) != 0) return "no terminal";
    QProcess process;
    process.setChildProcessModifier([tool] { ::dup2(tool, STDERR_FILENO); });
    process.start(QStringLiteral(KELVO_CLI_PATH), arguments);
    const bool finished = process.waitForFinished(120000);
    ::close(tool);
    QByteArray written;
    char buffer[4096];
    for (ssize_t read; (read = ::read(terminal, buffer, sizeof buffer)) > 0;)
        written.append(buffer, qsizetype(read));
    ::close(terminal);
    return finished && process.exitCode() == 0 ? written : QByteArray("failed: ") + written;
}

}  // namespace

TEST_F(CliScriptingTest, ABatchShowsItsProgressOnATerminalOnly) {
    if (!TerminalsCanBeOpened()) GTEST_SKIP() << "no pseudo-terminal can be opened here";
    const QString target = PathOf(QStringLiteral("target"));
    ASSERT_TRUE(QDir().mkdir(target));
    QStringList inputs;
    for (int i = 0; i < 3; ++i) {
        inputs << PathOf(QStringLiteral("p%1.png").arg(i));
        WriteImageFile(inputs.last(), Noise(20, 10, std::uint32_t(i + 1)), 90);
    }
    const QStringList batch = QStringList{QStringLiteral("-j"), QStringLiteral("1"),
                                          QStringLiteral("--out-dir"), target} +
                              inputs;
    const QByteArray shown = StandardErrorOnATerminal(batch);
    // Redrawn in place: each state on the line the carriage return went back to, the last
    // cleared away.
    EXPECT_TRUE(shown.startsWith("kelvoimage-cli: 0/3, p0.png\r\x1b[K")) << shown.data();
    EXPECT_TRUE(shown.contains("\r\x1b[Kkelvoimage-cli: 1/3, about ")) << shown.data();
    EXPECT_TRUE(shown.endsWith("\r\x1b[Kkelvoimage-cli: 3/3\r\x1b[K")) << shown.data();
    EXPECT_FALSE(shown.contains('\n')) << shown.data();
    EXPECT_EQ(StandardErrorOnATerminal(QStringList{QStringLiteral("--quiet")} + batch),
              QByteArray());
    // Not on a terminal: nothing but the messages.
    const TCliRun piped = RunCli(batch);
    EXPECT_EQ(piped.ExitCode, 0);
    EXPECT_EQ(piped.StandardError, QString());
}
