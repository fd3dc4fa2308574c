// The command line reads what phones and cameras write, whatever the file's name says, and
// names the file in its message when it cannot.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "image/Bitmap32.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "support/CameraFormats.h"
#include "support/CliRun.h"
#include "support/RasterPatterns.h"
#include "support/TestFiles.h"

namespace {

TEST(CameraFormatsCli, NewFormatsConvertAndCutFilesAreNamed) {
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(QLatin1String(name)); };
    TBitmap32 picture;
    FillPattern(picture, 30, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            picture.ScanLine(y)[x] |= 0xFF000000u;
    const QByteArray webp = camera_formats::WebpBytes(picture, true, false);
    // A WebP with a JPEG's name, as a download may carry.
    test_files::WriteAll(path("download.jpg"), webp);
    const TCliRun converted = RunCli({path("download.jpg"), "-o", path("out.BMP")});
    EXPECT_EQ(converted.ExitCode, 0) << converted.StandardError.toStdString();
    TBitmap32 written;
    LoadImageFromFile(path("out.BMP"), written);
    EXPECT_TRUE(SamePixels(written, picture));

    test_files::WriteAll(path("cut.webp"), webp.left(webp.size() / 2));
    const TCliRun cut = RunCli({path("cut.webp"), "-o", path("cut.BMP")});
    EXPECT_EQ(cut.ExitCode, 1);
    EXPECT_TRUE(cut.StandardError.contains(path("cut.webp"))) << cut.StandardError.toStdString();
}

}  // namespace
