// Capture dates read from the photos' own EXIF, and "Start by Date" ordering by them.

#include "browse/CaptureDate.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "BrowseTestSupport.h"
#include "browse/FolderList.h"
#include "support/TaggedJpeg.h"

using namespace browse_test;

namespace {

// A JPEG whose EXIF holds this DateTimeOriginal and, when given, SubSecTimeOriginal.
void WriteTakenAt(const QString& path, const char* date, const char* subSeconds = nullptr) {
    std::vector<tagged_jpeg::TTag> tags = {
        {"Exif.Image.Make", 2, tagged_jpeg::Ascii("Kelvo")},
        {"Exif.Photo.DateTimeOriginal", 2, tagged_jpeg::Ascii(date)}};
    if (subSeconds) tags.push_back({"Exif.Photo.SubSecTimeOriginal", 2, tagged_jpeg::Ascii(subSeconds)});
    tagged_jpeg::Write(path, tags);
}

class CaptureDateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        ForgetCaptureDates();
    }
    QString Path(const QString& name) const { return FDir.filePath(name); }
    QStringList Names(const QStringList& list) const {
        QStringList names;
        for (const QString& entry : list)
            names << entry.mid(FDir.path().size() + 1);
        return names;
    }

    QTemporaryDir FDir;
    TScopedEnv FZone{"TZ", "UTC"};
};

TEST_F(CaptureDateTest, StampsFromJpegAndTiff) {
    struct Case {
        const char* Date;
        const char* SubSeconds;
        std::optional<TCaptureStamp> Expected;
    } cases[] = {
        {"2024:05:06 07:08:09", nullptr, 20240506070809000},
        {"2024:05:06 07:08:09", "5", 20240506070809500},   // a fraction, not a count of ms
        {"2024:05:06 07:08:09", "045", 20240506070809045},
        {"2024:05:06 07:08:09", "123456", 20240506070809123},
        {"0000:00:00 00:00:00", nullptr, std::nullopt},  // a camera whose clock was never set
        {"                   ", nullptr, std::nullopt},
        {"2024:13:06 07:08:09", nullptr, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Date) + " / " + (c.SubSeconds ? c.SubSeconds : "-"));
        const QString path = Path("taken.jpg");
        WriteTakenAt(path, c.Date, c.SubSeconds);
        EXPECT_EQ(ReadCaptureStamp(path), c.Expected);
    }

    // The same EXIF structure as a bare TIFF header, as camera RAW files begin.
    WriteTakenAt(Path("raw.jpg"), "2023:01:02 03:04:05", "25");
    const QByteArray jpeg = *ReadFile(Path("raw.jpg"));
    const qsizetype exif = jpeg.indexOf(QByteArray("Exif\0\0", 6));
    ASSERT_GT(exif, 0);
    const QByteArray tiff = jpeg.mid(exif + 6);
    EXPECT_EQ(ParseCaptureStamp(tiff), 20230102030405250);

    // Cut short: no stamp, and a reader that read a prefix is told that more may help.
    bool needMore = false;
    EXPECT_EQ(ParseCaptureStamp(jpeg.left(exif + 40), &needMore), std::nullopt);
    EXPECT_TRUE(needMore);
    // Not a photo at all.
    ASSERT_TRUE(WriteFile(Path("notes.jpg"), "plain text, no EXIF"));
    EXPECT_EQ(ReadCaptureStamp(Path("notes.jpg")), std::nullopt);
    EXPECT_EQ(ReadCaptureStamp(Path("missing.jpg")), std::nullopt);
}

TEST_F(CaptureDateTest, DateFoundPastALargeLeadingSegment) {
    // A JPEG whose EXIF segment comes after 40 KB of another segment: past the first read.
    WriteTakenAt(Path("src.jpg"), "2022:02:02 02:02:02");
    const QByteArray source = *ReadFile(Path("src.jpg"));
    QByteArray filler("\xFF\xE2", 2);
    const int length = 40000;
    filler.append(char(length >> 8)).append(char(length & 0xFF));
    filler.append(QByteArray(length - 2, 'x'));
    ASSERT_TRUE(WriteFile(Path("late.jpg"), source.left(2) + filler + source.mid(2)));
    EXPECT_EQ(ReadCaptureStamp(Path("late.jpg")), 20220202020202000);
}

TEST_F(CaptureDateTest, DateTakenOrderFollowsTheCameraNotTheFiles) {
    // Copied off the card in another order: the modification times disagree with the capture.
    WriteTakenAt(Path("a.jpg"), "2024:06:01 10:00:00");
    WriteTakenAt(Path("b.jpg"), "2024:06:01 10:00:01", "2");
    WriteTakenAt(Path("c.jpg"), "2024:06:01 10:00:01", "7");  // a burst: the sub-seconds decide
    WriteTakenAt(Path("same2.jpg"), "2024:06:01 09:00:00");
    WriteTakenAt(Path("same1.jpg"), "2024:06:01 12:00:00");
    ASSERT_TRUE(WriteFile(Path("untagged.jpg"), "no EXIF here"));
    ASSERT_TRUE(SetModified(Path("a.jpg"), Utc(2024, 7, 1, 0, 0, 6)));
    ASSERT_TRUE(SetModified(Path("b.jpg"), Utc(2024, 7, 1, 0, 0, 4)));
    ASSERT_TRUE(SetModified(Path("c.jpg"), Utc(2024, 7, 1, 0, 0, 2)));
    ASSERT_TRUE(SetModified(Path("same2.jpg"), Utc(2024, 7, 1, 0, 0, 10)));
    ASSERT_TRUE(SetModified(Path("same1.jpg"), Utc(2024, 7, 1, 0, 0, 10)));
    // Without a capture date, the file's own time stands in: before every capture here.
    ASSERT_TRUE(SetModified(Path("untagged.jpg"), Utc(2024, 5, 1, 0, 0, 0)));

    EXPECT_EQ(Names(CollectFolderImages(FDir.path(), TFolderOrder::ByDateTaken)),
              QStringList({"untagged.jpg", "same2.jpg", "a.jpg", "b.jpg", "c.jpg", "same1.jpg"}));
    // Unchecked, the modification times as before, ties by name.
    EXPECT_EQ(Names(CollectFolderImages(FDir.path(), TFolderOrder::ByDate)),
              QStringList({"untagged.jpg", "c.jpg", "b.jpg", "a.jpg", "same1.jpg", "same2.jpg"}));

    // Equal capture times fall back to the name.
    WriteTakenAt(Path("same2.jpg"), "2024:06:01 12:00:00");
    ASSERT_TRUE(SetModified(Path("same2.jpg"), Utc(2024, 7, 1, 0, 0, 12)));
    EXPECT_EQ(Names(CollectFolderImages(FDir.path(), TFolderOrder::ByDateTaken)),
              QStringList({"untagged.jpg", "a.jpg", "b.jpg", "c.jpg", "same1.jpg", "same2.jpg"}))
        << "a file changed since the last listing must be read again, not taken from the cache";
}

}  // namespace
