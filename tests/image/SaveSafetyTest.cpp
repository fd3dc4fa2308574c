// Saves under the faults users meet: write-protected photos, symbolic links, two saves into one
// folder at the same moment, and a save killed while it writes. Each case runs with the unnamed
// new file and with the named one that file systems without unnamed files get.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <latch>
#include <thread>

#include "base/AtomicFile.h"
#include "base/KelvoError.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "support/RasterPatterns.h"
#include "support/TestFiles.h"

namespace {

using test_files::Entries;
using test_files::ReadAll;
using test_files::RunUnprivileged;
using test_files::WriteAll;

constexpr uid_t kNobody = 65534;

TBitmap32 Solid(int width, int height, TColor32 color) {
    TBitmap32 image;
    image.SetSize(width, height);
    image.Clear(color);
    return image;
}

// The width and the colour in the middle of the picture in the file; width -1 when it cannot be
// read. A solid JPEG keeps its colour within a few steps.
struct TSeen {
    int Width = -1;
    TColor32 Middle = 0;
};
TSeen Seen(const QString& fileName) {
    TBitmap32 image;
    try {
        LoadImageFromFile(fileName, image);
    } catch (const KelvoError&) {
        return {};
    }
    return {image.Width(), image.GetPixel(image.Width() / 2, image.Height() / 2) & 0xFFFFFFu};
}
bool Near(TColor32 a, TColor32 b) {
    for (int shift : {0, 8, 16})
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 8) return false;
    return true;
}

QString FailureOf(const std::function<void()>& save) {
    try {
        save();
    } catch (const KelvoError& error) {
        return error.Message();
    }
    return QString();
}

// What a symbolic link holds, unresolved.
QByteArray LinkText(const QString& path) {
    char text[4096];
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), text, sizeof text);
    return length < 0 ? QByteArray() : QByteArray(text, length);
}

mode_t ModeOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

const char* const kEndings[] = {"JPG", "GIF", "PNG", "BMP"};

class SaveSafety : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FFolder.isValid());
        TAtomicFile::UseNamedTemporaryFiles(GetParam());
    }
    void TearDown() override { TAtomicFile::UseNamedTemporaryFiles(false); }
    QString PathOf(const QString& name) const { return FFolder.filePath(name); }
    QTemporaryDir FFolder;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(NewFile, SaveSafety, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Named" : "Unnamed";
                         });

TEST_P(SaveSafety, AFileTheUserMayNotWriteIsRefusedAndKept) {
    // The folder is open to everybody, so only the file's own permission can stop the save.
    ASSERT_EQ(::chmod(QFile::encodeName(FFolder.path()).constData(), 0777), 0);
    const bool root = ::geteuid() == 0;
    const struct {
        const char* Name;
        mode_t Mode;
        bool OwnedByOther;  // stays root's while the save runs as nobody
        bool ThroughLink;
        bool Refused;
    } cases[] = {
        {"read-only file", 0444, false, false, true},
        {"another user's file", 0644, true, false, true},
        {"link to a read-only file", 0444, false, true, true},
        {"own writable file", 0644, false, false, false},
        {"link to an own writable file", 0600, false, true, false},
    };
    const TBitmap32 image = Solid(6, 4, 0x00C02040u);
    for (const auto& c : cases) {
        if (c.OwnedByOther && !root) continue;  // only root can give a file away
        for (const char* ending : kEndings) {
            SCOPED_TRACE(std::string(c.Name) + " ." + ending);
            const QString file = PathOf(QStringLiteral("photo.") + QLatin1String(ending));
            const QString target =
                c.ThroughLink ? PathOf(QStringLiteral("link.") + QLatin1String(ending)) : file;
            const QByteArray old = "old photo " + QByteArray(ending);
            WriteAll(file, old);
            if (c.ThroughLink) {
                ASSERT_TRUE(QFile::link(file, target));
            }
            if (root && !c.OwnedByOther) {
                ASSERT_EQ(::chown(QFile::encodeName(file).constData(), kNobody, kNobody), 0);
            }
            ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), c.Mode), 0);
            const QStringList before = Entries(FFolder.path());
            const QString expected = CannotCreateFileMessage(target, EACCES);

            const std::optional<int> status = RunUnprivileged([&] {
                const QString message = FailureOf([&] { WriteImageFile(target, image, 90); });
                return message.isEmpty() ? 0 : (message == expected ? 1 : 2);
            });
            if (!status) GTEST_SKIP() << "cannot run as an unprivileged user";
            EXPECT_EQ(*status, c.Refused ? 1 : 0) << "0: saved, 1: refused, 2: other message";
            if (c.Refused) {
                EXPECT_EQ(ReadAll(file), old);
            } else {
                EXPECT_EQ(Seen(file).Width, 6);
            }
            EXPECT_EQ(ModeOf(file), c.Mode);
            EXPECT_EQ(Entries(FFolder.path()), before) << "nothing left behind";
            if (c.ThroughLink) {
                EXPECT_EQ(LinkText(target), QFile::encodeName(file));
            }
            QFile::remove(target);
            QFile::remove(file);
        }
    }
}

TEST_P(SaveSafety, ALinkKeepsLeadingToTheFileThatReceivesThePicture) {
    const QString photos = PathOf(QStringLiteral("photos"));
    const QString shortcuts = PathOf(QStringLiteral("shortcuts"));
    ASSERT_TRUE(QDir().mkpath(photos));
    ASSERT_TRUE(QDir().mkpath(shortcuts));
    const struct {
        const char* Name;
        const char* LinkText;  // what the link in "shortcuts" holds
        const char* Via;       // an intermediate link in "shortcuts", or nullptr
    } cases[] = {
        {"absolute link into another folder", nullptr, nullptr},
        {"relative link", "../photos/", nullptr},
        {"link to a link", nullptr, "middle"},
    };
    for (const auto& c : cases) {
        for (const char* ending : kEndings) {
            SCOPED_TRACE(std::string(c.Name) + " ." + ending);
            const QString name = QStringLiteral("cat.") + QLatin1String(ending);
            const QString file = photos + QLatin1Char('/') + name;
            WriteAll(file, "old");
            ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0640), 0);
            const QString link = shortcuts + QLatin1Char('/') + name;
            const QString linkText = c.LinkText ? QLatin1String(c.LinkText) + name : file;
            QString first = linkText;
            if (c.Via) {
                const QString via = shortcuts + QLatin1Char('/') + QLatin1String(c.Via);
                ASSERT_TRUE(QFile::link(file, via));
                first = via;
            }
            ASSERT_EQ(::symlink(QFile::encodeName(first).constData(),
                                QFile::encodeName(link).constData()),
                      0);
            const QStringList shortcutsBefore = Entries(shortcuts);

            WriteImageFile(link, Solid(5, 3, 0x00204080u), 90);

            EXPECT_TRUE(QFileInfo(link).isSymLink());
            EXPECT_EQ(LinkText(link), QFile::encodeName(first)) << "the link holds what it held";
            EXPECT_EQ(Seen(file).Width, 5);
            EXPECT_EQ(ModeOf(file), 0640u);
            EXPECT_EQ(Entries(photos), QStringList{name});
            EXPECT_EQ(Entries(shortcuts), shortcutsBefore);
            for (const QString& entry : Entries(shortcuts))
                QFile::remove(shortcuts + QLatin1Char('/') + entry);
            QFile::remove(file);
        }
    }
}

TEST_P(SaveSafety, ALinkThatLeadsNowhereIsAFailedSave) {
    for (const char* ending : kEndings) {
        SCOPED_TRACE(ending);
        const QString link = PathOf(QStringLiteral("gone.") + QLatin1String(ending));
        const QByteArray destination = "missing/photo." + QByteArray(ending);
        ASSERT_EQ(::symlink(destination.constData(), QFile::encodeName(link).constData()), 0);
        const QString expected = QStringLiteral("Cannot create file \"") + link +
                                 QStringLiteral("\". The link leads to \"") +
                                 QLatin1String(destination) +
                                 QStringLiteral("\", which does not exist");
        EXPECT_EQ(FailureOf([&] { WriteImageFile(link, Solid(2, 2, 0), 90); }), expected);
        EXPECT_EQ(FailureOf([&] { WriteTransparentGif(link, Solid(2, 2, 0)); }), expected);
        EXPECT_EQ(LinkText(link), destination);
        EXPECT_EQ(Entries(FFolder.path()), QStringList{QFileInfo(link).fileName()});
        QFile::remove(link);
    }
}

TEST_P(SaveSafety, AFailedSaveLeavesNothingBehind) {
    TBitmap32 tooWide;
    tooWide.SetSize(70000, 1);  // the JPEG and GIF encoders refuse it half-way
    for (const char* name : {"a.JPG", "a.GIF"}) {
        WriteAll(PathOf(QLatin1String(name)), "old");
        EXPECT_FALSE(
            FailureOf([&] { WriteImageFile(PathOf(QLatin1String(name)), tooWide, 90); }).isEmpty());
        EXPECT_EQ(ReadAll(PathOf(QLatin1String(name))), "old");
    }
    const QString folder = PathOf(QStringLiteral("b.PNG"));  // a folder under the target's name
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_EQ(FailureOf([&] { WriteImageFile(folder, Solid(2, 2, 0), 90); }),
              CannotCreateFileMessage(folder, EISDIR));
    EXPECT_EQ(
        Entries(FFolder.path()),
        QStringList({QStringLiteral("a.GIF"), QStringLiteral("a.JPG"), QStringLiteral("b.PNG")}));
}

TEST_P(SaveSafety, NamesAsLongAsTheFileSystemAllowsAreSavedInPlace) {
    // Temporary names once grew with the target's and passed the 255-byte limit first.
    QString cjk;
    for (int i = 0; i < 80; ++i)
        cjk += QChar(0x5199 + i);  // three bytes each in UTF-8
    const QString names[] = {
        QString(246, QLatin1Char('n')) + QStringLiteral(".JPG"),       // 250 bytes
        QString(251, QLatin1Char('n')) + QStringLiteral(".PNG"),       // 255 bytes
        cjk + QString(11, QLatin1Char('z')) + QStringLiteral(".GIF"),  // 255 bytes
    };
    const TBitmap32 image = Solid(5, 3, 0x00209040u);
    for (const QString& name : names) {
        SCOPED_TRACE(QFile::encodeName(name).size());
        const QString target = PathOf(name);
        WriteAll(target, "the photo before the save");
        EXPECT_EQ(FailureOf([&] { WriteImageFile(target, image, 90); }), QString());
        EXPECT_EQ(Seen(target).Width, 5);
        EXPECT_EQ(Entries(FFolder.path()), QStringList{name});
        QFile::remove(target);
    }
}

TEST_P(SaveSafety, ASaveRemovesOnlyTheStaleTemporaryFilesOfDeadSaves) {
    const QString folder = FFolder.path();
    const auto make = [&](const char* name, int ageHours) {
        const QString path = PathOf(QLatin1String(name));
        WriteAll(path, "left by a save that died");
        const std::time_t when = std::time(nullptr) - std::time_t(ageHours) * 3600;
        const struct timespec times[2] = {{when, 0}, {when, 0}};
        EXPECT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
        return path;
    };
    make(".kelvo-save-0123456789abcdef", 25);  // stale: goes
    make(".kelvo-save-00000000000000ff", 23);  // not a day old: stays
    const QString held = make(".kelvo-save-fedcba9876543210", 48);
    make(".kelvo-save-0123456789abcdeg", 48);       // not ours: stays
    make(".kelvo-save-0123456789abcdef0", 48);      // not ours: stays
    make("photo.kelvo-save-0123456789abcdef", 48);  // not ours: stays
    ASSERT_TRUE(QDir().mkpath(PathOf(QStringLiteral(".kelvo-save-1111111111111111"))));
    // A save still writing holds its file locked, whatever the clock says.
    const int lock = ::open(QFile::encodeName(held).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);

    WriteImageFile(PathOf(QStringLiteral("photo.PNG")), Solid(2, 2, 0), 90);
    EXPECT_EQ(Entries(folder), QStringList({QStringLiteral(".kelvo-save-00000000000000ff"),
                                            QStringLiteral(".kelvo-save-0123456789abcdef0"),
                                            QStringLiteral(".kelvo-save-0123456789abcdeg"),
                                            QStringLiteral(".kelvo-save-1111111111111111"),
                                            QStringLiteral(".kelvo-save-fedcba9876543210"),
                                            QStringLiteral("photo.PNG"),
                                            QStringLiteral("photo.kelvo-save-0123456789abcdef")}));
    ::close(lock);
    WriteImageFile(PathOf(QStringLiteral("photo.PNG")), Solid(2, 2, 0), 90);
    EXPECT_FALSE(Entries(folder).contains(QStringLiteral(".kelvo-save-fedcba9876543210")))
        << "the lock went with its holder";
}

TEST_P(SaveSafety, TwoSavesIntoOneFolderAtOnceEachWriteTheirOwnPicture) {
    const struct {
        const char* Name;
        TBitmap32 Image;
        TColor32 Color;
    } saves[] = {
        {"a.JPG", Solid(16, 8, 0x00E01010u), 0x00E01010u},
        {"b.JPG", Solid(24, 8, 0x001010E0u), 0x001010E0u},
        {"c.PNG", Solid(32, 8, 0x0010E010u), 0x0010E010u},
    };
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        std::latch start(std::ssize(saves));
        QString failures[std::size(saves)];
        {
            std::vector<std::jthread> threads;
            for (std::size_t i = 0; i < std::size(saves); ++i)
                threads.emplace_back([&, i] {
                    start.arrive_and_wait();
                    failures[i] = FailureOf([&] {
                        WriteImageFile(PathOf(QLatin1String(saves[i].Name)), saves[i].Image, 90);
                    });
                });
        }
        QStringList names;
        for (std::size_t i = 0; i < std::size(saves); ++i) {
            EXPECT_EQ(failures[i], QString()) << saves[i].Name;
            const TSeen seen = Seen(PathOf(QLatin1String(saves[i].Name)));
            EXPECT_EQ(seen.Width, saves[i].Image.Width()) << saves[i].Name;
            EXPECT_TRUE(Near(seen.Middle, saves[i].Color))
                << saves[i].Name << ": " << std::hex << seen.Middle;
            names << QLatin1String(saves[i].Name);
        }
        EXPECT_EQ(Entries(FFolder.path()), names);
        if (::testing::Test::HasFailure()) break;
    }
}

TEST_P(SaveSafety, TwoSavesOntoOneFileLeaveOneWholePicture) {
    const TBitmap32 pictures[] = {Noise(40, 30, 1), Noise(30, 40, 2)};
    QByteArray whole[2];
    for (int i = 0; i < 2; ++i) {
        const QString alone = PathOf(QStringLiteral("alone%1.BMP").arg(i));
        WriteImageFile(alone, pictures[i], 90);
        whole[i] = ReadAll(alone);
        QFile::remove(alone);
    }
    const QString target = PathOf(QStringLiteral("both.BMP"));
    for (int round = 0; round < 50; ++round) {
        std::latch start(2);
        {
            std::jthread first([&] {
                start.arrive_and_wait();
                WriteImageFile(target, pictures[0], 90);
            });
            std::jthread second([&] {
                start.arrive_and_wait();
                WriteImageFile(target, pictures[1], 90);
            });
        }
        const QByteArray result = ReadAll(target);
        ASSERT_TRUE(result == whole[0] || result == whole[1]) << "round " << round;
        ASSERT_EQ(Entries(FFolder.path()), QStringList{QStringLiteral("both.BMP")});
    }
}

// ---- through kelvoimage-cli, as separate processes ----

namespace {

class CliSaves : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FFolder.isValid());
        FInputs = FFolder.filePath(QStringLiteral("inputs"));
        FOutputs = FFolder.filePath(QStringLiteral("outputs"));
        ASSERT_TRUE(QDir().mkpath(FInputs));
        ASSERT_TRUE(QDir().mkpath(FOutputs));
    }
    static void Start(QProcess& process, const QStringList& arguments) {
        process.start(QStringLiteral(KELVO_CLI_PATH), arguments);
        ASSERT_TRUE(process.waitForStarted(30000));
    }
    QTemporaryDir FFolder;
    QString FInputs;
    QString FOutputs;
};

// The files the process has open in the folder, as the kernel names them ("#123 (deleted)" for
// an unnamed one).
QStringList OpenFilesIn(qint64 pid, const QString& folder) {
    QStringList open;
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd :
         QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::decodeName(LinkText(fds + QLatin1Char('/') + fd));
        if (target.startsWith(folder + QLatin1Char('/'))) open << target;
    }
    return open;
}

}  // namespace

TEST_F(CliSaves, TwoCommandLinesWritingIntoOneFolderEachWriteTheirOwnPicture) {
    const struct {
        const char* Input;
        const char* Output;
        TBitmap32 Image;
        TColor32 Color;
    } jobs[] = {
        {"red.PNG", "a.JPG", Solid(16, 8, 0x00E01010u), 0x00E01010u},
        {"blue.PNG", "b.JPG", Solid(24, 8, 0x001010E0u), 0x001010E0u},
    };
    for (const auto& job : jobs)
        WriteImageFile(FInputs + QLatin1Char('/') + QLatin1String(job.Input), job.Image, 90);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        QProcess processes[2];
        for (int i = 0; i < 2; ++i)
            Start(processes[i],
                  {FInputs + QLatin1Char('/') + QLatin1String(jobs[i].Input), QStringLiteral("-o"),
                   FOutputs + QLatin1Char('/') + QLatin1String(jobs[i].Output)});
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(processes[i].waitForFinished(60000));
            EXPECT_EQ(processes[i].exitCode(), 0) << processes[i].readAllStandardError().data();
            const TSeen seen = Seen(FOutputs + QLatin1Char('/') + QLatin1String(jobs[i].Output));
            EXPECT_EQ(seen.Width, jobs[i].Image.Width());
            EXPECT_TRUE(Near(seen.Middle, jobs[i].Color)) << std::hex << seen.Middle;
        }
        EXPECT_EQ(Entries(FOutputs),
                  QStringList({QStringLiteral("a.JPG"), QStringLiteral("b.JPG")}));
        if (::testing::Test::HasFailure()) break;
    }
}

TEST_F(CliSaves, ASaveKilledWhileWritingLeavesTheOldFileAndNothingElse) {
    // Noise does not compress: the PNG takes long enough to write that the kill lands inside.
    const QString input = FInputs + QStringLiteral("/big.BMP");
    WriteImageFile(input, Noise(2400, 1600, 9), 90);
    const QString target = FOutputs + QStringLiteral("/photo.PNG");
    const QByteArray old = "the photo before the save";
    int killedWhileWriting = 0;
    for (const int delayMs : {0, 2, 10, 40, 120}) {
        SCOPED_TRACE(delayMs);
        WriteAll(target, old);
        QProcess process;
        Start(process, {input, QStringLiteral("-o"), target});
        // Wait until the new file is open in the target's folder, then let it write a while.
        const qint64 pid = process.processId();
        bool writing = false;
        QElapsedTimer waited;
        waited.start();
        while (!writing && process.state() == QProcess::Running && waited.elapsed() < 60000) {
            writing = !OpenFilesIn(pid, FOutputs).isEmpty();
            if (!writing) process.waitForFinished(1);
        }
        if (writing) {
            QThread::msleep(std::uint32_t(delayMs));
            ::kill(pid_t(pid), SIGKILL);
        }
        ASSERT_TRUE(process.waitForFinished(60000));
        if (writing && process.exitStatus() == QProcess::CrashExit) ++killedWhileWriting;
        EXPECT_EQ(Entries(FOutputs), QStringList{QStringLiteral("photo.PNG")});
        const QByteArray now = ReadAll(target);
        // Either untouched, or the whole new picture when the kill came after the rename.
        if (now != old) {
            EXPECT_EQ(Seen(target).Width, 2400);
        }
    }
    EXPECT_GT(killedWhileWriting, 0) << "no save was caught in the middle of writing";
}
