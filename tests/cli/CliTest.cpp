// kelvoimage-cli run as a separate process, the way scripts use it.

#include <gtest/gtest.h>

#include <png.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

#include "base/KelvoError.h"
#include "image/ImageSaver.h"
#include "image/QuarterTurns.h"
#include "support/TestFiles.h"
#include "transform/Resample.h"

#include <functional>

namespace {

using test_files::Entries;
using test_files::ReadAll;

struct TRun {
    int ExitCode = -1;
    QString StandardError;
};

TRun RunCli(const QStringList& arguments, const QStringList& prefix = {}) {
    QProcess process;
    QStringList all = prefix;
    all << QStringLiteral(KELVO_CLI_PATH) << arguments;
    process.start(all.takeFirst(), all);
    TRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        run.StandardError = QStringLiteral("did not finish normally");
        return run;
    }
    run.ExitCode = process.exitCode();
    run.StandardError = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// Every pixel distinct, so any misplaced pixel shows after a turn.
TBitmap32 Numbered(int width, int height) {
    TBitmap32 image;
    image.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.SetPixel(x, y, 0xFF000000u | TColor32(40 * x) << 16 | TColor32(60 * y) << 8 | 7);
    return image;
}

// The R,G,B of a PNG, one TColor32 (alpha 255) per pixel; empty when it cannot be read.
TBitmap32 ReadPng(const QString& fileName) {
    TBitmap32 result;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    const QByteArray path = QFile::encodeName(fileName);
    if (!png_image_begin_read_from_file(&image, path.constData())) return result;
    image.format = PNG_FORMAT_BGRA;
    result.SetSize(int(image.width), int(image.height));
    if (!png_image_finish_read(&image, nullptr, result.Bits(), 0, nullptr)) result.AssignEmpty();
    return result;
}

bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    return std::equal(a.Bits(), a.Bits() + a.PixelCount(), b.Bits());
}
QString ErrorLine(const QString& message) {
    return FormatErrorMessage(message) + QLatin1Char('\n');
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FFolder.isValid());
        FInput = FFolder.filePath(QStringLiteral("in.png"));
        WriteImageFile(FInput, Numbered(3, 2), 95);
    }
    QString PathOf(const QString& name) const { return FFolder.filePath(name); }
    QTemporaryDir FFolder;
    QString FInput;
};

}  // namespace

TEST_F(CliTest, TurnsAreAppliedInTheOrderGiven) {
    enum TTurn { Cw, Ccw };
    const struct {
        QStringList Arguments;
        std::vector<TTurn> Turns;
    } cases[] = {
        {{}, {}},
        {{QStringLiteral("--cw")}, {Cw}},
        {{QStringLiteral("--ccw")}, {Ccw}},
        {{QStringLiteral("--cw"), QStringLiteral("--cw")}, {Cw, Cw}},
        {{QStringLiteral("--cw"), QStringLiteral("--ccw")}, {Cw, Ccw}},
        {{QStringLiteral("--ccw"), QStringLiteral("--ccw"), QStringLiteral("--ccw")},
         {Ccw, Ccw, Ccw}},
    };
    for (const auto& c : cases) {
        const QString output = PathOf(QStringLiteral("out.png"));
        QFile::remove(output);
        const TRun run =
            RunCli(QStringList{FInput} + c.Arguments + QStringList{QStringLiteral("-o"), output});
        const QString label = c.Arguments.join(QLatin1Char(' '));
        ASSERT_EQ(run.ExitCode, 0)
            << label.toStdString() << ": " << run.StandardError.toStdString();
        EXPECT_TRUE(run.StandardError.isEmpty());
        TBitmap32 expected = Numbered(3, 2);
        for (TTurn turn : c.Turns)
            turn == Cw ? expected.TurnClockwise() : expected.TurnCounterClockwise();
        EXPECT_TRUE(SamePixels(ReadPng(output), expected)) << label.toStdString();
    }
    // One quarter turn makes the old top-left pixel the top-right one.
    RunCli(
        {FInput, QStringLiteral("--cw"), QStringLiteral("-o"), PathOf(QStringLiteral("cw.png"))});
    const TBitmap32 turned = ReadPng(PathOf(QStringLiteral("cw.png")));
    ASSERT_EQ(turned.Width(), 2);
    EXPECT_EQ(turned.GetPixel(1, 0), Numbered(3, 2).GetPixel(0, 0));
}

TEST_F(CliTest, QualityDefaultsTo95AndIsClampedLikeTheSaveCommand) {
    auto jpegAt = [&](const QStringList& quality) {
        const QString output = PathOf(QStringLiteral("q.jpg"));
        QFile::remove(output);
        const TRun run =
            RunCli(QStringList{FInput} + quality + QStringList{QStringLiteral("-o"), output});
        EXPECT_EQ(run.ExitCode, 0) << run.StandardError.toStdString();
        return ReadAll(output);
    };
    const QByteArray byDefault = jpegAt({});
    ASSERT_FALSE(byDefault.isEmpty());
    EXPECT_EQ(byDefault, jpegAt({QStringLiteral("--quality"), QStringLiteral("95")}));
    EXPECT_NE(byDefault, jpegAt({QStringLiteral("--quality"), QStringLiteral("1")}));
    EXPECT_EQ(jpegAt({QStringLiteral("--quality"), QStringLiteral("356")}),
              jpegAt({QStringLiteral("--quality"), QStringLiteral("100")}));
    EXPECT_EQ(jpegAt({QStringLiteral("--quality"), QStringLiteral("-5")}),
              jpegAt({QStringLiteral("--quality"), QStringLiteral("100")}));
}

TEST_F(CliTest, EveryFailureIsReportedWithExitCodeOneAndWritesNothing) {
    const QString output = PathOf(QStringLiteral("out.png"));
    const QString missing = PathOf(QStringLiteral("missing.png"));
    const struct {
        QStringList Arguments;
        QString Expected;  // part of the message
    } cases[] = {
        {{}, QStringLiteral("No input file")},
        {{FInput}, QStringLiteral("No output file")},
        {{FInput, QStringLiteral("-o")}, QStringLiteral("needs a value")},
        {{FInput, QStringLiteral("--flop"), QStringLiteral("-o"), output},
         QStringLiteral("Unknown option '--flop'")},
        {{FInput, QStringLiteral("--quality"), QStringLiteral("high"), QStringLiteral("-o"),
          output},
         QStringLiteral("Invalid quality 'high'")},
        {{FInput, FInput, QStringLiteral("-o"), output}, QStringLiteral("Only one input")},
        {{missing, QStringLiteral("-o"), output},
         ErrorLine(CannotOpenFileMessage(missing, ENOENT))},
        {{FInput, QStringLiteral("-o"), PathOf(QStringLiteral("out.jpeg"))},
         QStringLiteral("Nothing written")},
        {{FInput, QStringLiteral("-o"), PathOf(QStringLiteral("no/out.png"))},
         ErrorLine(CannotCreateFileMessage(PathOf(QStringLiteral("no/out.png")), ENOENT))},
    };
    for (const auto& c : cases) {
        const TRun run = RunCli(c.Arguments);
        const std::string label = c.Arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(run.ExitCode, 1) << label;
        EXPECT_TRUE(run.StandardError.contains(c.Expected))
            << label << "\n  got: " << run.StandardError.toStdString();
        EXPECT_EQ(Entries(FFolder.path()), QStringList{QStringLiteral("in.png")}) << label;
    }
}

TEST_F(CliTest, AReadOnlyFolderKeepsItsFileForAnOrdinaryUser) {
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty()) GTEST_SKIP() << "setpriv is not installed; cannot run as another user";
    const QStringList asNobody = {setpriv, QStringLiteral("--reuid=65534"),
                                  QStringLiteral("--regid=65534"),
                                  QStringLiteral("--clear-groups")};
    ASSERT_EQ(::chmod(QFile::encodeName(FFolder.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(FInput).constData(), 0644), 0);
    if (RunCli({QStringLiteral("--help")}, asNobody).ExitCode != 0)
        GTEST_SKIP() << "cannot run the CLI as user 65534 (no permission to switch, or the "
                        "build folder is closed to other users)";

    const QString folder = PathOf(QStringLiteral("ro"));
    ASSERT_TRUE(QDir().mkdir(folder));
    for (const char* name : {"old.PNG", "old.JPG", "old.GIF", "old.BMP"}) {
        const QString target = folder + QLatin1Char('/') + QLatin1String(name);
        ASSERT_TRUE(QFile::copy(FInput, target));
        ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0666), 0);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    const QByteArray before = ReadAll(FInput);
    for (const char* name : {"old.PNG", "old.JPG", "old.GIF", "old.BMP"}) {
        const QString target = folder + QLatin1Char('/') + QLatin1String(name);
        const TRun run =
            RunCli({FInput, QStringLiteral("--cw"), QStringLiteral("-o"), target}, asNobody);
        EXPECT_EQ(run.ExitCode, 1) << name;
        EXPECT_EQ(run.StandardError, ErrorLine(CannotCreateFileMessage(target, EACCES))) << name;
        EXPECT_EQ(ReadAll(target), before) << name;
    }
    EXPECT_EQ(Entries(folder), (QStringList{QStringLiteral("old.BMP"), QStringLiteral("old.GIF"),
                                            QStringLiteral("old.JPG"), QStringLiteral("old.PNG")}));
    ::chmod(QFile::encodeName(folder).constData(), 0755);  // so the folder can be cleaned up
}

TEST_F(CliTest, GeometryOperationsRunInOrderWithTheCommandsCode) {
    // The expected picture comes from the same core calls, applied in process.
    const auto flip = FlipVertical;
    const auto mirror = MirrorHorizontal;
    const auto twice = DoubleImage;
    const auto apply = [](TBitmap32& image, void (*transform)(const TBitmap32&, TBitmap32&)) {
        TBitmap32 source;
        source.Assign(image);
        transform(source, image);
    };
    const struct {
        QStringList Arguments;
        std::function<void(TBitmap32&)> Expected;
    } cases[] = {
        {{QStringLiteral("--flip")}, [&](TBitmap32& i) { apply(i, flip); }},
        {{QStringLiteral("--mirror"), QStringLiteral("--cw")},
         [&](TBitmap32& i) {
             apply(i, mirror);
             i.TurnClockwise();
         }},
        {{QStringLiteral("--double"), QStringLiteral("--mirror"), QStringLiteral("--half")},
         [&](TBitmap32& i) {
             apply(i, twice);
             apply(i, mirror);
             TBitmap32 source;
             source.Assign(i);
             ReduceImage(source, 2, i);
         }},
        {{QStringLiteral("--double"), QStringLiteral("--double"), QStringLiteral("--quarter")},
         [&](TBitmap32& i) {
             apply(i, twice);
             apply(i, twice);
             TBitmap32 source;
             source.Assign(i);
             ReduceImage(source, 4, i);
         }},
    };
    for (const auto& c : cases) {
        const QString output = PathOf(QStringLiteral("geometry.png"));
        QFile::remove(output);
        const TRun run =
            RunCli(QStringList{FInput} + c.Arguments + QStringList{QStringLiteral("-o"), output});
        const std::string label = c.Arguments.join(QLatin1Char(' ')).toStdString();
        ASSERT_EQ(run.ExitCode, 0) << label << ": " << run.StandardError.toStdString();
        TBitmap32 expected = Numbered(3, 2);
        c.Expected(expected);
        for (std::size_t i = 0; i < expected.PixelCount(); ++i)
            expected.Bits()[i] |= 0xFF000000u;
        EXPECT_TRUE(SamePixels(ReadPng(output), expected)) << label;
    }
}
