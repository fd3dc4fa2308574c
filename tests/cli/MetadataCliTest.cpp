// kelvoimage-cli and camera tags: --upright, tags kept on JPEG output, --strip.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "support/CliRun.h"
#include "support/PhotoTags.h"

namespace {

TBitmap32 Load(const QString& fileName) {
    TBitmap32 image;
    LoadImageFromFile(fileName, image);
    return image;
}

}  // namespace

TEST(MetadataCli, UprightStripAndTheOrientationWritten) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString photo = folder.filePath(QStringLiteral("photo.JPG"));
    TBitmap32 stored;
    stored.SetSize(20, 30);
    stored.Clear(0xFF406080u);
    WriteImageFile(photo, stored, 95);
    photo_tags::AddCameraMetadata(photo, 6, 3000, QByteArray());
    const QString png = folder.filePath(QStringLiteral("flat.PNG"));
    WriteImageFile(png, stored, 95);

    struct TCase {
        QStringList Options;
        bool FromPng;
        int Width;                // of the written picture
        const char* Orientation;  // the written tag; "<absent>" when there are no tags
    };
    const TCase cases[] = {
        {{}, false, 20, "6"},
        {{"--upright"}, false, 30, "1"},
        {{"--upright", "--cw"}, false, 20, "1"},
        // A step that moves pixels acts on the picture as shown: upright first.
        {{"--half"}, false, 15, "1"},
        {{"--mirror"}, false, 30, "1"},
        {{"--rotate", "10"}, false, 30, "1"},
        // As stored, a change of size keeps the stored orientation true.
        {{"--as-stored", "--half"}, false, 10, "6"},
        {{"--as-stored", "--mirror"}, false, 20, "1"},
        {{"--strip"}, false, 20, "<absent>"},
        {{"--upright", "--strip"}, false, 30, "<absent>"},
        {{"--upright"}, true, 20, "<absent>"},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Options.join(QLatin1Char(' ')).toStdString() +
                     (test.FromPng ? " from PNG" : ""));
        const QString out = folder.filePath(QStringLiteral("out.JPG"));
        QFile::remove(out);
        ASSERT_EQ(RunCli(QStringList{test.FromPng ? png : photo} + test.Options +
                         QStringList{QStringLiteral("-o"), out})
                      .ExitCode,
                  0);
        EXPECT_EQ(Load(out).Width(), test.Width);
        const photo_tags::TTags tags = photo_tags::Read(out);
        EXPECT_EQ(tags.ExifValue("Exif.Image.Orientation"), test.Orientation);
        const bool kept = std::string(test.Orientation) != "<absent>";
        EXPECT_EQ(tags.ExifValue("Exif.Image.Model"), kept ? "K-1 Test" : "<absent>");
        EXPECT_EQ(tags.Icc.size(), kept ? 3000 : 0);
        EXPECT_EQ(tags.Iptc.empty(), !kept);
        if (kept) {
            EXPECT_EQ(tags.ExifValue("Exif.Photo.PixelXDimension"), std::to_string(test.Width));
        }
    }
}
