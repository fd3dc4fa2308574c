// kelvoimage-cli run as a separate process, the way scripts use it.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <png.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

#include "base/KelvoError.h"
#include "hotspot/HotSpotRemoval.h"
#include "image/ImageSaver.h"
#include "image/QuarterTurns.h"
#include "support/CliRun.h"
#include "support/TestFiles.h"
#include "transform/AffineTransform.h"
#include "transform/Crop.h"
#include "transform/Resample.h"

#include <functional>

namespace {

using test_files::Entries;
using test_files::ReadAll;

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
        const TCliRun run =
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

TEST_F(CliTest, QualityDefaultsTo95) {
    auto jpegAt = [&](const QStringList& quality) {
        const QString output = PathOf(QStringLiteral("q.jpg"));
        QFile::remove(output);
        const TCliRun run =
            RunCli(QStringList{FInput} + quality + QStringList{QStringLiteral("-o"), output});
        EXPECT_EQ(run.ExitCode, 0) << run.StandardError.toStdString();
        return ReadAll(output);
    };
    const QByteArray byDefault = jpegAt({});
    ASSERT_FALSE(byDefault.isEmpty());
    EXPECT_EQ(byDefault, jpegAt({QStringLiteral("--quality"), QStringLiteral("95")}));
    EXPECT_NE(byDefault, jpegAt({QStringLiteral("--quality"), QStringLiteral("1")}));
    EXPECT_NE(byDefault, jpegAt({QStringLiteral("--quality"), QStringLiteral("100")}));
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
        {{FInput, QStringLiteral("-o"), PathOf(QStringLiteral("out.tiff"))},
         QStringLiteral("Nothing written")},
        {{FInput, QStringLiteral("-o"), PathOf(QStringLiteral("no/out.png"))},
         ErrorLine(CannotCreateFileMessage(PathOf(QStringLiteral("no/out.png")), ENOENT))},
    };
    for (const auto& c : cases) {
        const TCliRun run = RunCli(c.Arguments);
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
    if (RunCli({QStringLiteral("--help")}, TCliRunSetup::Under(asNobody)).ExitCode != 0)
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
        const TCliRun run = RunCli({FInput, QStringLiteral("--cw"), QStringLiteral("-o"), target},
                                   TCliRunSetup::Under(asNobody));
        EXPECT_EQ(run.ExitCode, 1) << name;
        EXPECT_EQ(run.StandardError, CliErrorLine(target, CannotCreateFileMessage(target, EACCES)))
            << name;
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
        const TCliRun run =
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

namespace {

// Runs the tool with arguments given as raw bytes, the way a shell passes any file name, and
// returns its exit code (-1 when it did not exit normally) and standard error.
struct TRawRun {
    int ExitCode = -1;
    QByteArray StandardError;
};
TRawRun RunCliRaw(const QString& folder, const std::vector<QByteArray>& arguments) {
    const QByteArray program = QByteArrayLiteral(KELVO_CLI_PATH);
    const QByteArray errors = QFile::encodeName(folder) + "/stderr.txt";
    std::vector<char*> argv{const_cast<char*>(program.constData())};
    for (const QByteArray& argument : arguments)
        argv.push_back(const_cast<char*>(argument.constData()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errors.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t child = -1;
    TRawRun run;
    const int spawned =
        posix_spawn(&child, program.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned == 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.ExitCode = WEXITSTATUS(status);
    run.StandardError = ReadAll(QFile::decodeName(errors));
    QFile::remove(QFile::decodeName(errors));
    return run;
}

bool RawExists(const QByteArray& path) {
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0;
}

}  // namespace

TEST_F(CliTest, FileNamesAreTheBytesGivenOrRefused) {
    const QByteArray folder = QFile::encodeName(FFolder.path()) + '/';
    const QByteArray input = QFile::encodeName(FInput);
    // Two names that differ only in a byte that is not UTF-8 once landed in one file.
    for (const char* name : {"a\xE9.PNG", "a\xE8.PNG"}) {
        const TRawRun run = RunCliRaw(FFolder.path(), {input, "-o", folder + name});
        EXPECT_EQ(run.ExitCode, 1) << name;
        const QByteArray shown = folder + (name[1] == '\xE9' ? "a\\xE9.PNG" : "a\\xE8.PNG");
        EXPECT_EQ(run.StandardError,
                  "kelvoimage-cli: Cannot use the name '" + shown + "': it is not valid UTF-8.\n");
    }
    EXPECT_EQ(Entries(FFolder.path()), QStringList{QStringLiteral("in.png")});

    // An input of that kind is refused just the same, even when the file exists.
    const QByteArray oddInput = folder + "in\xFF.png";
    ASSERT_EQ(::link(input.constData(), oddInput.constData()), 0);
    const TRawRun refused = RunCliRaw(FFolder.path(), {oddInput, "-o", folder + "out.PNG"});
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_TRUE(refused.StandardError.startsWith("kelvoimage-cli: Cannot use the name '"))
        << refused.StandardError.data();
    EXPECT_FALSE(RawExists(folder + "out.PNG"));
    ASSERT_EQ(::unlink(oddInput.constData()), 0);

    // Valid UTF-8 beyond ASCII is written under exactly its own bytes.
    const QByteArray accented = folder + "caf\xC3\xA9.PNG";
    const TRawRun written = RunCliRaw(FFolder.path(), {input, "--cw", "-o", accented});
    EXPECT_EQ(written.ExitCode, 0) << written.StandardError.data();
    EXPECT_TRUE(RawExists(accented));
    EXPECT_EQ(ReadPng(QFile::decodeName(accented)).Width(), 2);
}

TEST_F(CliTest, AnInputStartingWithADashFollowsTwoDashes) {
    const QString dashed = PathOf(QStringLiteral("-dash.png"));
    ASSERT_TRUE(QFile::copy(FInput, dashed));
    const QString output = PathOf(QStringLiteral("out.png"));
    // Run from the folder, so the input is the bare name with its leading dash.
    const struct {
        QStringList Arguments;
        int ExitCode;
        QString Error;
    } cases[] = {
        {{QStringLiteral("--cw"), QStringLiteral("-o"), output, QStringLiteral("--"),
          QStringLiteral("-dash.png")},
         0,
         QString()},
        {{QStringLiteral("-dash.png"), QStringLiteral("-o"), output},
         1,
         CliErrorLine({}, QStringLiteral("Unknown option '-dash.png'"))},
        // After the two dashes nothing is an option any more.
        {{QStringLiteral("--"), QStringLiteral("-dash.png"), QStringLiteral("-o"), output},
         1,
         CliErrorLine(
             {},
             QStringLiteral("Only one input file may be given without --out-dir, not also '-o'"))},
    };
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(FFolder.path()));
    for (const auto& c : cases) {
        const std::string label = c.Arguments.join(QLatin1Char(' ')).toStdString();
        QFile::remove(output);
        const TCliRun run = RunCli(c.Arguments);
        EXPECT_EQ(run.ExitCode, c.ExitCode) << label;
        EXPECT_EQ(run.StandardError, c.Error) << label;
        EXPECT_EQ(QFileInfo::exists(output), c.ExitCode == 0) << label;
        if (c.ExitCode == 0) {
            EXPECT_EQ(ReadPng(output).Width(), 2) << label;
        }
    }
    QDir::setCurrent(previous);
}

TEST_F(CliTest, RunningOutOfMemoryIsAMessageAndExitCodeOne) {
    // A BMP that claims two terabytes (a sparse file): reading it cannot get the memory.
    const QString huge = PathOf(QStringLiteral("huge.BMP"));
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        if (!file.resize(qint64(1) << 41)) GTEST_SKIP() << "no sparse file of 2 TB here";
    }
    QProcess process;
#if defined(__SANITIZE_ADDRESS__)
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       QStringLiteral("allocator_may_return_null=1"));
    process.setProcessEnvironment(environment);
#else
    // Whatever the machine's overcommit policy, the allocation must fail rather than succeed.
    process.setChildProcessModifier([] {
        const rlimit limit{rlim_t(4) << 30, rlim_t(4) << 30};
        ::setrlimit(RLIMIT_AS, &limit);
    });
#endif
    process.start(QStringLiteral(KELVO_CLI_PATH),
                  {huge, QStringLiteral("-o"), PathOf(QStringLiteral("out.PNG"))});
    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "aborted instead of reporting";
    EXPECT_EQ(process.exitCode(), 1);
    const QByteArray errors = process.readAllStandardError();
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer warns about the failed allocation before the program speaks.
    EXPECT_TRUE(errors.endsWith("\n" + CliPrefix(huge).toLocal8Bit() + "Out of memory.\n"))
        << errors.data();
#else
    EXPECT_EQ(errors, CliPrefix(huge).toLocal8Bit() + "Out of memory.\n");
#endif
    EXPECT_FALSE(QFileInfo::exists(PathOf(QStringLiteral("out.PNG"))));
}

TEST_F(CliTest, RotateRendersOnceFromTheInputWithTheSlidersCode) {
    TBitmap32 picture;
    picture.SetSize(41, 29);
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 41; ++x)
            picture.SetPixel(x, y, 0xFF000000u | TColor32(6 * x) << 16 | TColor32(8 * y) << 8 | 99);
    const QString input = PathOf(QStringLiteral("rotate-in.png"));
    WriteImageFile(input, picture, 95);
    const TBitmap32 loaded = ReadPng(input);
    for (const char* degrees : {"15", "-180", "180", "-37", "0"}) {
        const QString output = PathOf(QStringLiteral("rotated.png"));
        QFile::remove(output);
        const TCliRun run = RunCli({input, QStringLiteral("--rotate"), QLatin1String(degrees),
                                    QStringLiteral("-o"), output});
        ASSERT_EQ(run.ExitCode, 0) << degrees << ": " << run.StandardError.toStdString();
        TBitmap32 expected;
        RotateImage(loaded, QByteArray(degrees).toInt(), expected);
        EXPECT_TRUE(SamePixels(ReadPng(output), expected)) << degrees;
    }
}

TEST_F(CliTest, RotateRefusesAnythingButWholeDegreesUpToAHalfTurn) {
    const QString output = PathOf(QStringLiteral("out.png"));
    for (const char* degrees : {"181", "-181", "1.5", "abc", "", "15deg"}) {
        const TCliRun run = RunCli({FInput, QStringLiteral("--rotate"), QLatin1String(degrees),
                                    QStringLiteral("-o"), output});
        EXPECT_EQ(run.ExitCode, 1) << degrees;
        EXPECT_TRUE(run.StandardError.startsWith(CliPrefix() + QStringLiteral("Invalid angle")))
            << degrees << ": " << run.StandardError.toStdString();
        EXPECT_EQ(Entries(FFolder.path()), QStringList{QStringLiteral("in.png")}) << degrees;
    }
}

TEST_F(CliTest, HotSpotSettingsCountWhereverTheyStand) {
    TBitmap32 hotSpot, target;
    hotSpot.SetSize(23, 12);
    target.SetSize(23, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 23; ++x) {
            hotSpot.SetPixel(x, y,
                             0xFF000000u | TColor32(11 * x) << 16 | TColor32(20 * y) << 8 | 77);
            target.SetPixel(x, y,
                            0xFF000000u | TColor32(200 - 3 * x) << 16 | TColor32(9 * y) << 8 | 250);
        }
    const QString hotSpotFile = PathOf(QStringLiteral("hot.png"));
    const QString targetFile = PathOf(QStringLiteral("target.png"));
    WriteImageFile(hotSpotFile, hotSpot, 95);
    WriteImageFile(targetFile, target, 95);
    const QString hs = QStringLiteral("--hotspot");
    const QString off = QStringLiteral("--offset");
    const QString mul = QStringLiteral("--multiplier");
    const QString smooth = QStringLiteral("--smoothing");
    const QString bars = QStringLiteral("--bars");
    const struct {
        QStringList Arguments;
        THotSpotSettings Settings;
    } cases[] = {
        {{hs, hotSpotFile}, {0, 1, 1, false}},
        {{hs, hotSpotFile, off, "50", mul, "2", smooth, "3"}, {50, 2, 3, false}},
        {{off, "50", smooth, "3", hs, hotSpotFile, mul, "2"}, {50, 2, 3, false}},
        {{mul, "0.5", bars, hs, hotSpotFile, off, "-7.5", smooth, "5"}, {-7.5, 0.5, 5, true}},
        {{smooth, "1", hs, hotSpotFile, bars}, {0, 1, 1, true}},
    };
    for (const auto& c : cases) {
        const std::string label = c.Arguments.join(QLatin1Char(' ')).toStdString();
        const QString output = PathOf(QStringLiteral("corrected.png"));
        QFile::remove(output);
        const TCliRun run = RunCli(QStringList{targetFile} + c.Arguments +
                                   QStringList{QStringLiteral("-o"), output});
        ASSERT_EQ(run.ExitCode, 0) << label << ": " << run.StandardError.toStdString();
        TBitmap32 hot = ReadPng(hotSpotFile);
        TBitmap32 expected = ReadPng(targetFile);
        RemoveHotSpots(std::move(hot), c.Settings, expected);
        for (std::size_t i = 0; i < expected.PixelCount(); ++i)
            expected.Bits()[i] |= 0xFF000000u;
        EXPECT_TRUE(SamePixels(ReadPng(output), expected)) << label;
    }
}

TEST_F(CliTest, HotSpotRefusalsComeBeforeAnythingIsWritten) {
    const QString output = PathOf(QStringLiteral("out.png"));
    const QString missing = PathOf(QStringLiteral("missing.png"));
    const QString hs = QStringLiteral("--hotspot");
    const QString off = QStringLiteral("--offset");
    const QString mul = QStringLiteral("--multiplier");
    const struct {
        QStringList Arguments;
        QString Expected;
    } cases[] = {
        {{hs, FInput, off, "abc"}, ErrorLine(kOffsetNotANumber)},
        {{hs, FInput, off, ""}, ErrorLine(kOffsetNotANumber)},
        {{hs, FInput, mul, " "}, ErrorLine(kMultiplierNotANumber)},
        {{mul, "abc", hs, FInput, off, "1x"}, ErrorLine(kOffsetNotANumber)},
        {{hs, FInput, QStringLiteral("--smoothing"), "6"}, QStringLiteral("Invalid smoothing '6'")},
        {{hs, FInput, QStringLiteral("--bars")}, ErrorLine(kTooNarrowForBars)},
        {{off, "5"}, QStringLiteral("go with --hotspot")},
        {{hs, missing}, ErrorLine(CannotOpenFileMessage(missing, ENOENT))},
    };
    for (const auto& c : cases) {
        const std::string label = c.Arguments.join(QLatin1Char(' ')).toStdString();
        const TCliRun run =
            RunCli(QStringList{FInput} + c.Arguments + QStringList{QStringLiteral("-o"), output});
        EXPECT_EQ(run.ExitCode, 1) << label;
        EXPECT_TRUE(run.StandardError.contains(c.Expected))
            << label << "\n  got: " << run.StandardError.toStdString();
        EXPECT_EQ(Entries(FFolder.path()), QStringList{QStringLiteral("in.png")}) << label;
    }
}

TEST_F(CliTest, CropTakesAnyRectangleOfOnePixelOrMoreClampedToTheImage) {
    const QString input = PathOf(QStringLiteral("big.png"));
    WriteImageFile(input, Numbered(40, 30), 95);
    struct Case {
        const char* crop;
        TSelection expected;
    };
    const Case cases[] = {
        {"5,6,20,12", {5, 6, 25, 18}},   {"-5,0,20,15", {0, 0, 15, 15}},
        {"25,10,100,100", {25, 10, 40, 30}},  // past the right and bottom edges
        {"5,5,5,5", {5, 5, 10, 10}},     {"39,29,1,1", {39, 29, 40, 30}},
        {"5,5,9,20", {5, 5, 14, 25}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.crop);
        const QString output = PathOf(QStringLiteral("crop.png"));
        QFile::remove(output);
        const TCliRun run = RunCli(
            {input, QStringLiteral("--crop"), QLatin1String(c.crop), QStringLiteral("-o"), output});
        ASSERT_EQ(run.ExitCode, 0) << run.StandardError.toStdString();
        TBitmap32 expected;
        CropImage(Numbered(40, 30), c.expected, expected);
        EXPECT_TRUE(SamePixels(ReadPng(output), expected));
    }
    // An empty rectangle, or one with no pixel inside the image: the rectangle and the image's
    // size are named, and nothing is written.
    const struct {
        const char* crop;
        const char* why;
    } refused[] = {
        {"45,0,20,20", "lies outside the 40 x 30 image"},
        {"-20,5,20,5", "lies outside the 40 x 30 image"},
        {"0,30,5,5", "lies outside the 40 x 30 image"},
        {"0,0,0,5", "is empty: its width and height must be at least 1 (the image is 40 x 30)"},
        {"30,25,-20,-15",
         "is empty: its width and height must be at least 1 (the image is 40 x 30)"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.crop);
        const QString output = PathOf(QStringLiteral("refused.png"));
        const TCliRun run = RunCli(
            {input, QStringLiteral("--crop"), QLatin1String(c.crop), QStringLiteral("-o"), output});
        EXPECT_EQ(run.ExitCode, 1);
        EXPECT_EQ(run.StandardError,
                  CliErrorLine(input, QStringLiteral("The crop %1 %2")
                                          .arg(QLatin1String(c.crop), QLatin1String(c.why))));
        EXPECT_FALSE(QFile::exists(output));
    }
}

TEST_F(CliTest, CropRejectsAnythingButFourIntegers) {
    for (const char* crop :
         {"1,2,30", "1,2,30,40,5", "1,2,x,4", "1.5,2,30,40", "", "99999999999,0,1,1"}) {
        SCOPED_TRACE(crop);
        const QString output = PathOf(QStringLiteral("bad.png"));
        const TCliRun run = RunCli(
            {FInput, QStringLiteral("--crop"), QLatin1String(crop), QStringLiteral("-o"), output});
        EXPECT_EQ(run.ExitCode, 1);
        EXPECT_TRUE(run.StandardError.contains(QStringLiteral("crop")))
            << run.StandardError.toStdString();
        EXPECT_FALSE(QFile::exists(output));
    }
}
