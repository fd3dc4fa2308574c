// The tool loads libtiff, libheif, LibRaw and Exiv2 from its modules only when a file needs them:
// a copy without the modules still starts and handles the common formats, names the file and the
// missing module for the others, and with the module in ../lib/kelvoimage/ writes what the
// build's tool writes.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "image/Bitmap32.h"
#include "image/ImageSaver.h"
#include "support/CameraFormats.h"
#include "support/CliRun.h"
#include "support/PhotoTags.h"
#include "support/RasterPatterns.h"
#include "support/TestFiles.h"

namespace {

using test_files::ReadAll;
using test_files::WriteAll;

// An uncompressed RGB TIFF of the picture's colours, one strip.
QByteArray PlainTiff(const TBitmap32& picture) {
    using W = camera_formats::TTiffWriter;
    QByteArray pixels;
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            const TColor32 c = picture.GetPixel(x, y);
            pixels += char((c >> 16) & 0xFF);
            pixels += char((c >> 8) & 0xFF);
            pixels += char(c & 0xFF);
        }
    W tiff;
    const std::uint32_t data = tiff.AddData(pixels);
    const std::uint32_t first = tiff.AddDirectory({
        W::Long(256, std::uint32_t(picture.Width())),
        W::Long(257, std::uint32_t(picture.Height())),
        {258, 3, 3, W::Shorts({8, 8, 8})},
        W::Short(259, 1),
        W::Short(262, 2),
        W::Long(273, data),
        W::Short(277, 3),
        W::Long(278, std::uint32_t(picture.Height())),
        W::Long(279, std::uint32_t(pixels.size())),
    });
    return tiff.Bytes(first);
}

class LibraryModulesCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FFolder.isValid());
        // bin/ and lib/ of a prefix of its own, so that nothing else can be found from there.
        ASSERT_TRUE(QDir(FFolder.path()).mkpath(QStringLiteral("prefix/bin")));
        FLoneTool = PathOf(QStringLiteral("prefix/bin/kelvoimage-cli"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(KELVO_CLI_PATH), FLoneTool));
    }
    QString PathOf(const QString& name) const { return FFolder.filePath(name); }
    TCliRun RunLone(const QStringList& arguments) const {
        TCliRunSetup setup;
        setup.Program = FLoneTool;
        return RunCli(arguments, setup);
    }
    // Puts the build's module where an installed tool looks for it; returns where.
    QString Install(const QString& module) const {
        const QString folder = PathOf(QStringLiteral("prefix/lib/kelvoimage"));
        const QString built = QFileInfo(QStringLiteral(KELVO_CLI_PATH)).dir().filePath(module);
        const QString installed = folder + QLatin1Char('/') + module;
        EXPECT_TRUE(QDir().mkpath(folder));
        EXPECT_TRUE(QFile::copy(built, installed));
        return installed;
    }

    QTemporaryDir FFolder;
    QString FLoneTool;
};

TEST_F(LibraryModulesCliTest, ACopyWithoutModulesHandlesTheCommonFormats) {
    const TCliRun version = RunLone({QStringLiteral("--version")});
    EXPECT_EQ(version.ExitCode, 0);
    EXPECT_TRUE(version.StandardOutput.startsWith("kelvoimage-cli ")) << version.StandardOutput.data();
    const QString input = PathOf(QStringLiteral("in.png"));
    WriteImageFile(input, Noise(12, 8, 4), 95);
    // A JPEG without tags needs none of the modules either.
    for (const char* output : {"out.bmp", "out.jpg", "out.gif"}) {
        SCOPED_TRACE(output);
        const TCliRun run = RunLone({input, QStringLiteral("--cw"), QStringLiteral("-o"),
                                     PathOf(QLatin1String(output))});
        EXPECT_EQ(run.ExitCode, 0);
        EXPECT_EQ(run.StandardError, QString());
    }
    const TCliRun fromJpeg = RunLone({PathOf(QStringLiteral("out.jpg")), QStringLiteral("--negative"),
                                      QStringLiteral("-o"), PathOf(QStringLiteral("again.jpg"))});
    EXPECT_EQ(fromJpeg.ExitCode, 0);
    EXPECT_EQ(fromJpeg.StandardError, QString());
}

TEST_F(LibraryModulesCliTest, AMissingModuleIsNamedWithTheFileAndAnInstalledOneIsUsed) {
    const TBitmap32 picture = Noise(16, 12, 7);
    const QString tiff = PathOf(QStringLiteral("photo.tif"));
    WriteAll(tiff, PlainTiff(picture));
    const QString heif = PathOf(QStringLiteral("photo.heic"));
    const std::optional<QString> heifFailure =
        camera_formats::WriteHeif(heif, picture, heif_compression_HEVC);
    ASSERT_FALSE(heifFailure) << heifFailure->toStdString();
    const QString preview = PathOf(QStringLiteral("preview.jpg"));
    WriteImageFile(preview, picture, 90);
    const QString raw = PathOf(QStringLiteral("photo.dng"));
    WriteAll(raw, camera_formats::DngLikeFile(ReadAll(preview), 16, 12, 6));
    const QString tagged = PathOf(QStringLiteral("tagged.jpg"));
    WriteImageFile(tagged, picture, 90);
    photo_tags::SetOrientation(tagged, 6);

    struct Case {
        const char* Name;
        QString Input;
        QStringList Job;  // after the input; the output last, when it writes one
        const char* Failure;
        const char* Module;
    };
    const Case cases[] = {
        {"TIFF", tiff, {QStringLiteral("-o"), PathOf(QStringLiteral("tiff.png"))},
         "TIFF pictures cannot be read", "kelvoimage-cli-tiff.so"},
        {"HEIF", heif, {QStringLiteral("-o"), PathOf(QStringLiteral("heif.png"))},
         "HEIF and AVIF pictures cannot be read", "kelvoimage-cli-heif.so"},
        {"RAW", raw, {QStringLiteral("-o"), PathOf(QStringLiteral("raw.png"))},
         "Camera RAW files cannot be read", "kelvoimage-cli-raw.so"},
        // The band path writes the photo's tags; the lossless turn reads its orientation.
        {"tags written", tagged,
         {QStringLiteral("--negative"), QStringLiteral("-o"), PathOf(QStringLiteral("neg.jpg"))},
         "The photo's tags cannot be read or written", "kelvoimage-cli-tags.so"},
        {"tags read", tagged,
         {QStringLiteral("--cw"), QStringLiteral("-o"), PathOf(QStringLiteral("cw.jpg"))},
         "The photo's tags cannot be read or written", "kelvoimage-cli-tags.so"},
        {"tag report", tagged, {QStringLiteral("--info"), QStringLiteral("--json")},
         "The photo's tags cannot be read or written", "kelvoimage-cli-tags.so"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const QStringList arguments = QStringList{c.Input} + c.Job;
        const bool writes = c.Job.contains(QStringLiteral("-o"));
        const TCliRun missing = RunLone(arguments);
        EXPECT_EQ(missing.ExitCode, 1);
        EXPECT_EQ(missing.StandardError,
                  CliErrorLine(c.Input, QStringLiteral("%1: %2 is not installed beside the program "
                                                       "or in ../lib/kelvoimage/")
                                            .arg(QLatin1String(c.Failure), QLatin1String(c.Module))));
        EXPECT_TRUE(missing.StandardOutput.isEmpty());
        if (writes) EXPECT_FALSE(QFile::exists(c.Job.last()));

        // The build's tool (its modules beside it) and the copy with the module installed do
        // the same.
        const TCliRun built = RunCli(arguments);
        ASSERT_EQ(built.ExitCode, 0) << built.StandardError.toStdString();
        const QByteArray expected = writes ? ReadAll(c.Job.last()) : built.StandardOutput;
        ASSERT_FALSE(expected.isEmpty());
        if (writes) QFile::remove(c.Job.last());
        const QString module = Install(QLatin1String(c.Module));
        const TCliRun installed = RunLone(arguments);
        EXPECT_EQ(installed.ExitCode, 0) << installed.StandardError.toStdString();
        EXPECT_EQ(installed.StandardError, built.StandardError);
        EXPECT_EQ(writes ? ReadAll(c.Job.last()) : installed.StandardOutput, expected);
        ASSERT_TRUE(QFile::remove(module));
    }
}

}  // namespace
