// Saves that cannot complete: the file that was there must survive byte for byte, no
// temporary file may stay behind, and the user hears why.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cerrno>

#include "base/KelvoError.h"
#include "image/ImageSaver.h"
#include "support/RasterPatterns.h"
#include "support/TestFiles.h"

namespace {

using test_files::Entries;
using test_files::ReadAll;
using test_files::WriteAll;

const char* const kSaveNames[] = {"old.JPG", "old.GIF", "old.PNG", "old.BMP"};

// Runs the save and returns the message it failed with; an empty string if it did not fail.
template <typename Save>
QString FailureOf(Save save) {
    try {
        save();
    } catch (const KelvoError& error) {
        return error.Message();
    }
    return QString();
}

QByteArray OldContent(const char* name) {
    return QByteArray("the old ") + name + QByteArray(200, '#');
}

}  // namespace

TEST(ImageSaverFailure, AFolderThatDoesNotExistIsReportedAndNothingIsCreated) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const char* name : kSaveNames) {
        const QString target = folder.filePath(QStringLiteral("missing/") + QLatin1String(name));
        EXPECT_EQ(FailureOf([&] { WriteImageFile(target, Noise(4, 4, 12345), 95); }),
                  CannotCreateFileMessage(target, ENOENT));
    }
    EXPECT_TRUE(Entries(folder.path()).isEmpty());
}

TEST(ImageSaverFailure, ATargetThatIsAFolderIsReportedAndKept) {
    // A rename over it would fail only after the whole picture was written; either way the
    // failure must not pass as a successful save.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const char* name : kSaveNames) {
        const QString target = folder.filePath(QLatin1String(name));
        ASSERT_TRUE(QDir(folder.path()).mkdir(QLatin1String(name)));
        WriteAll(target + QStringLiteral("/inside"), "x");
        EXPECT_EQ(FailureOf([&] { WriteImageFile(target, Noise(4, 4, 12345), 95); }),
                  CannotCreateFileMessage(target, EISDIR))
            << name;
        EXPECT_EQ(ReadAll(target + QStringLiteral("/inside")), "x");
        EXPECT_EQ(Entries(folder.path()), QStringList{QLatin1String(name)}) << name;
        ASSERT_TRUE(QDir(target).removeRecursively());
    }
}

TEST(ImageSaverFailure, APipeUnderTheTargetsNameIsRefusedAndKept) {
    // Its folder is writable, so a rename would quietly put the picture in the pipe's place.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const char* name : kSaveNames) {
        const QString target = folder.filePath(QLatin1String(name));
        ASSERT_EQ(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
        EXPECT_EQ(FailureOf([&] { WriteImageFile(target, Noise(4, 4, 12345), 95); }),
                  QStringLiteral("Cannot create file \"") + target +
                      QStringLiteral("\". Not a regular file"))
            << name;
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(target).constData(), &info), 0);
        EXPECT_TRUE(S_ISFIFO(info.st_mode)) << name;
        EXPECT_EQ(Entries(folder.path()), QStringList{QLatin1String(name)}) << name;
        ASSERT_TRUE(QFile::remove(target));
    }
}

TEST(ImageSaverFailure, AnEmptyImageNeverReplacesAFile) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const TBitmap32 empty;
    for (const char* name : kSaveNames) {
        const QString target = folder.filePath(QLatin1String(name));
        WriteAll(target, OldContent(name));
        EXPECT_FALSE(FailureOf([&] { WriteImageFile(target, empty, 95); }).isEmpty()) << name;
        EXPECT_EQ(ReadAll(target), OldContent(name)) << name;
    }
    const QString gif = folder.filePath(QStringLiteral("t.GIF"));
    EXPECT_FALSE(FailureOf([&] { WriteTransparentGif(gif, empty); }).isEmpty());
    EXPECT_EQ(Entries(folder.path()).size(), 4);
}

TEST(ImageSaverFailure, AGifWiderThanTheFormatAllowsIsRefused) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString target = folder.filePath(QStringLiteral("wide.gif"));
    WriteAll(target, OldContent("wide"));
    TBitmap32 wide;
    wide.SetSize(65536, 1);
    EXPECT_FALSE(FailureOf([&] { WriteImageFile(target, wide, 95); }).isEmpty());
    EXPECT_EQ(ReadAll(target), OldContent("wide"));
    EXPECT_EQ(Entries(folder.path()), QStringList{QStringLiteral("wide.gif")});
}

class FullDiskTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FFolder.isValid());
        FMount = FFolder.filePath(QStringLiteral("small"));
        ASSERT_TRUE(QDir().mkpath(FMount));
        QProcess mount;
        mount.start(QStringLiteral("mount"),
                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                     QStringLiteral("size=64k"), QStringLiteral("tmpfs"), FMount});
        if (!mount.waitForFinished(30000) || mount.exitStatus() != QProcess::NormalExit ||
            mount.exitCode() != 0)
            GTEST_SKIP() << "cannot mount a small tmpfs here (needs root in a namespace that "
                            "allows mounting): "
                         << mount.readAllStandardError().toStdString();
        FMounted = true;
    }
    void TearDown() override {
        if (!FMounted) return;
        QProcess::execute(QStringLiteral("umount"), {FMount});
    }
    QTemporaryDir FFolder;
    QString FMount;
    bool FMounted = false;
};

TEST_F(FullDiskTest, EveryFormatLeavesTheOldFileWhenTheDiskFills) {
    // 400 x 400 noise needs several hundred KB in every format; the disk holds 64 KB.
    const TBitmap32 image = Noise(400, 400, 12345);
    for (const char* name : kSaveNames) {
        const QString target = FMount + QLatin1Char('/') + QLatin1String(name);
        WriteAll(target, OldContent(name));
        EXPECT_EQ(FailureOf([&] { WriteImageFile(target, image, 100); }),
                  CannotCreateFileMessage(target, ENOSPC))
            << name;
        EXPECT_EQ(ReadAll(target), OldContent(name)) << name;
    }
    const QString gif = FMount + QStringLiteral("/old.GIF");
    EXPECT_EQ(FailureOf([&] { WriteTransparentGif(gif, image); }),
              CannotCreateFileMessage(gif, ENOSPC));
    EXPECT_EQ(ReadAll(gif), OldContent("old.GIF"));
    QStringList expected;
    for (const char* name : kSaveNames)
        expected << QLatin1String(name);
    expected.sort();
    EXPECT_EQ(Entries(FMount), expected);
}
