#include "browse/FileOperations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

#include "BrowseTestSupport.h"

using namespace browse_test;

namespace {

class FileOperationsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(FDir.isValid()); }
    QString Path(const QString& name) const { return FDir.filePath(name); }
    QStringList Listing(const QString& folder) const {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                      QDir::Name);
    }

    QTemporaryDir FDir;
};

TEST_F(FileOperationsTest, RenameOutcomes) {
    struct Case {
        const char* what;
        const char* from;
        const char* to;
        bool renamed;
        int error;  // the reason given for a failure
    };
    // The folder before each case holds a.jpg ("first"), b.jpg ("second") and the sub-folder
    // sub holding c.jpg ("third").
    const Case cases[] = {
        {"to a new name", "a.jpg", "new.jpg", true, 0},
        {"into another folder", "a.jpg", "sub/a.jpg", true, 0},
        {"case only, on a case-sensitive file system", "a.jpg", "A.JPG", true, 0},
        {"onto an existing file", "a.jpg", "b.jpg", false, EEXIST},
        {"onto an existing file in another folder", "a.jpg", "sub/c.jpg", false, EEXIST},
        {"onto an existing folder", "a.jpg", "sub", false, EEXIST},
        {"from a missing file", "missing.jpg", "new.jpg", false, ENOENT},
        {"into a missing folder", "a.jpg", "nowhere/a.jpg", false, ENOENT},
        {"to an empty name", "a.jpg", "", false, ENOENT},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(WriteFile(dir.filePath("a.jpg"), "first"));
        ASSERT_TRUE(WriteFile(dir.filePath("b.jpg"), "second"));
        ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
        ASSERT_TRUE(WriteFile(dir.filePath("sub/c.jpg"), "third"));
        const QString from = dir.filePath(c.from);
        const QString to = *c.to ? dir.filePath(c.to) : QString();
        const auto before = ReadFile(from);

        int error = -1;
        EXPECT_EQ(RenameWithoutReplacing(from, to, &error), c.renamed) << c.what;
        EXPECT_EQ(error, c.error) << c.what << ": " << std::strerror(error);

        if (c.renamed) {
            EXPECT_FALSE(QFile::exists(from)) << c.what;
            EXPECT_EQ(ReadFile(to), before) << c.what;
        } else {
            EXPECT_EQ(ReadFile(from), before) << c.what;
        }
        // Nothing else is touched, whatever the outcome.
        EXPECT_EQ(ReadFile(dir.filePath("b.jpg")), "second") << c.what;
        EXPECT_EQ(ReadFile(dir.filePath("sub/c.jpg")), "third") << c.what;
        EXPECT_FALSE(QFile::exists(dir.filePath("nowhere"))) << c.what;
    }
}

TEST_F(FileOperationsTest, CaseOnlyRenameLeavesOneEntryWithTheNewCase) {
    ASSERT_TRUE(WriteFile(Path("a.jpg"), "x"));
    ASSERT_TRUE(RenameWithoutReplacing(Path("a.jpg"), Path("A.JPG")));
    EXPECT_EQ(Listing(FDir.path()), QStringList({"A.JPG"}));
}

TEST_F(FileOperationsTest, SameFileUnderItsOwnOrAnotherSpelling) {
    ASSERT_TRUE(WriteFile(Path("a.jpg"), "keep"));
    ASSERT_TRUE(SetModified(Path("a.jpg"), 1000000000));
    EXPECT_TRUE(RenameWithoutReplacing(Path("a.jpg"), Path("a.jpg")));
    EXPECT_TRUE(RenameWithoutReplacing(FDir.path() + "/./a.jpg", Path("a.jpg")));
    EXPECT_EQ(Listing(FDir.path()), QStringList({"a.jpg"}));
    EXPECT_EQ(ReadFile(Path("a.jpg")), "keep");
    EXPECT_EQ(Modified(Path("a.jpg")), 1000000000);
    // The same path of a file that is not there is no success.
    EXPECT_FALSE(RenameWithoutReplacing(Path("gone.jpg"), Path("gone.jpg")));
}

TEST_F(FileOperationsTest, HardLinkedNamesAreTwoFilesThatAreNotReplaced) {
    ASSERT_TRUE(WriteFile(Path("a.jpg"), "shared"));
    ASSERT_EQ(link(QFile::encodeName(Path("a.jpg")).constData(),
                   QFile::encodeName(Path("b.jpg")).constData()),
              0);
    EXPECT_FALSE(RenameWithoutReplacing(Path("a.jpg"), Path("b.jpg")));
    EXPECT_EQ(Listing(FDir.path()), QStringList({"a.jpg", "b.jpg"}));
}

TEST_F(FileOperationsTest, RenameOfALinkMovesTheLinkNotItsTarget) {
    ASSERT_TRUE(WriteFile(Path("target.jpg"), "t"));
    ASSERT_EQ(symlink("target.jpg", QFile::encodeName(Path("link.jpg")).constData()), 0);
    EXPECT_TRUE(RenameWithoutReplacing(Path("link.jpg"), Path("moved.jpg")));
    EXPECT_EQ(QFileInfo(Path("moved.jpg")).symLinkTarget(), Path("target.jpg"));
    EXPECT_EQ(ReadFile(Path("target.jpg")), "t");
}

// The move to another file system has to copy. /dev/shm is usually a separate memory file
// system; the test skips where it is not.
TEST_F(FileOperationsTest, MoveToAnotherFileSystemCopiesThenRemoves) {
    QTemporaryDir other(QStringLiteral("/dev/shm/kelvo-rename-XXXXXX"));
    struct stat here {};
    struct stat there {};
    if (!other.isValid() || stat(QFile::encodeName(FDir.path()).constData(), &here) != 0 ||
        stat(QFile::encodeName(other.path()).constData(), &there) != 0 ||
        here.st_dev == there.st_dev)
        GTEST_SKIP() << "no second file system next to the temporary folder";

    QByteArray contents(3 << 20, '\0');
    for (int i = 0; i < contents.size(); ++i)
        contents[i] = char(i * 7 + i / 4096);
    ASSERT_TRUE(WriteFile(Path("a.jpg"), contents));
    ASSERT_EQ(chmod(QFile::encodeName(Path("a.jpg")).constData(), 0640), 0);
    ASSERT_TRUE(SetModified(Path("a.jpg"), 1234567890));
    ASSERT_TRUE(WriteFile(other.filePath("taken.jpg"), "taken"));

    EXPECT_FALSE(RenameWithoutReplacing(Path("a.jpg"), other.filePath("taken.jpg")));
    EXPECT_EQ(ReadFile(other.filePath("taken.jpg")), "taken");
    EXPECT_EQ(ReadFile(Path("a.jpg")), contents);

    ASSERT_TRUE(RenameWithoutReplacing(Path("a.jpg"), other.filePath("a.jpg")));
    EXPECT_FALSE(QFile::exists(Path("a.jpg")));
    EXPECT_EQ(ReadFile(other.filePath("a.jpg")), contents);
    EXPECT_EQ(Modified(other.filePath("a.jpg")), 1234567890);
    struct stat moved {};
    ASSERT_EQ(stat(QFile::encodeName(other.filePath("a.jpg")).constData(), &moved), 0);
    EXPECT_EQ(moved.st_mode & 07777, 0640u);
}

TEST_F(FileOperationsTest, RenameOutOfAReadOnlyFolderFailsAndKeepsTheFile) {
    const QString locked = Path("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    ASSERT_TRUE(WriteFile(locked + "/a.jpg", "mine"));
    ASSERT_EQ(chmod(QFile::encodeName(FDir.path()).constData(), 0777), 0);
    ASSERT_EQ(chmod(QFile::encodeName(locked).constData(), 0555), 0);
    const auto status = RunUnprivileged(
        [&] { return RenameWithoutReplacing(locked + "/a.jpg", Path("a.jpg")) ? 1 : 0; });
    chmod(QFile::encodeName(locked).constData(), 0755);
    if (!status) GTEST_SKIP() << "no unprivileged identity to test a read-only folder with";
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(ReadFile(locked + "/a.jpg"), "mine");
    EXPECT_FALSE(QFile::exists(Path("a.jpg")));
}

// The trash is looked for in the data folder, next to a home on the same file system.
class TrashTest : public FileOperationsTest {
  protected:
    void SetUp() override {
        FileOperationsTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(Path("home/data")));
        FHome.emplace("HOME", QFile::encodeName(Path("home")));
        FData.emplace("XDG_DATA_HOME", QFile::encodeName(Path("home/data")));
    }
    void TearDown() override {
        FData.reset();
        FHome.reset();
    }
    QString Trash(const QString& name) const { return Path("home/data/Trash/" + name); }

    std::optional<TScopedEnv> FHome;
    std::optional<TScopedEnv> FData;
};

TEST_F(TrashTest, FileGoesToTheTrashWithItsInfo) {
    ASSERT_TRUE(QDir().mkdir(Path("photos")));
    ASSERT_TRUE(WriteFile(Path("photos/bad.jpg"), "blurred"));
    EXPECT_TRUE(MoveToTrashOrDelete(Path("photos/bad.jpg")));
    EXPECT_FALSE(QFile::exists(Path("photos/bad.jpg")));
    EXPECT_EQ(ReadFile(Trash("files/bad.jpg")), "blurred");
    const auto info = ReadFile(Trash("info/bad.jpg.trashinfo"));
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->contains("[Trash Info]"));
    EXPECT_TRUE(info->contains("Path="));
    EXPECT_TRUE(info->contains("DeletionDate="));

    // A second file of the same name does not replace the first one in the trash.
    ASSERT_TRUE(WriteFile(Path("photos/bad.jpg"), "again"));
    EXPECT_TRUE(MoveToTrashOrDelete(Path("photos/bad.jpg")));
    EXPECT_EQ(ReadFile(Trash("files/bad.jpg")), "blurred");
    EXPECT_EQ(Listing(Trash("files")).size(), 2);
}

TEST_F(TrashTest, NothingToTrash) {
    ASSERT_TRUE(QDir().mkdir(Path("folder.jpg")));
    const struct {
        QString Path;
        int Error;
    } cases[] = {{Path("missing.jpg"), ENOENT}, {QString(), ENOENT}, {Path("folder.jpg"), EISDIR}};
    for (const auto& c : cases) {
        int error = 0;
        EXPECT_FALSE(MoveToTrashOrDelete(c.Path, &error)) << c.Path.toStdString();
        EXPECT_EQ(error, c.Error) << c.Path.toStdString();
    }
    EXPECT_TRUE(QFileInfo(Path("folder.jpg")).isDir());
    EXPECT_EQ(CannotDeleteFileMessage(Path("missing.jpg"), ENOENT),
              "Cannot delete file \"" + Path("missing.jpg") + "\". No such file or directory");
}

TEST_F(TrashTest, LinkIsTrashedNotItsTarget) {
    ASSERT_TRUE(WriteFile(Path("target.jpg"), "t"));
    ASSERT_EQ(symlink("target.jpg", QFile::encodeName(Path("link.jpg")).constData()), 0);
    EXPECT_TRUE(MoveToTrashOrDelete(Path("link.jpg")));
    EXPECT_FALSE(QFileInfo(Path("link.jpg")).isSymLink());
    EXPECT_EQ(ReadFile(Path("target.jpg")), "t");
}

TEST_F(TrashTest, UnwritableTrashFallsBackToDeleting) {
    // The user may change the photo folder but neither the home nor the data folder.
    ASSERT_TRUE(QDir().mkdir(Path("photos")));
    ASSERT_TRUE(WriteFile(Path("photos/bad.jpg"), "x"));
    ASSERT_TRUE(WriteFile(Path("photos/kept.jpg"), "y"));
    ASSERT_EQ(chmod(QFile::encodeName(FDir.path()).constData(), 0755), 0);
    ASSERT_EQ(chmod(QFile::encodeName(Path("photos")).constData(), 0777), 0);
    const auto status =
        RunUnprivileged([&] { return MoveToTrashOrDelete(Path("photos/bad.jpg")) ? 0 : 1; });
    if (!status) GTEST_SKIP() << "no unprivileged identity to test an unwritable trash with";
    EXPECT_EQ(*status, 0);
    EXPECT_FALSE(QFile::exists(Path("photos/bad.jpg")));
    EXPECT_FALSE(QFile::exists(Trash("files/bad.jpg")));
    EXPECT_EQ(ReadFile(Path("photos/kept.jpg")), "y");
}

TEST_F(TrashTest, FileInAReadOnlyFolderStays) {
    ASSERT_TRUE(QDir().mkdir(Path("photos")));
    ASSERT_TRUE(WriteFile(Path("photos/bad.jpg"), "x"));
    ASSERT_EQ(chmod(QFile::encodeName(FDir.path()).constData(), 0777), 0);
    ASSERT_EQ(chmod(QFile::encodeName(Path("home")).constData(), 0777), 0);
    ASSERT_EQ(chmod(QFile::encodeName(Path("home/data")).constData(), 0777), 0);
    ASSERT_EQ(chmod(QFile::encodeName(Path("photos")).constData(), 0555), 0);
    const auto status = RunUnprivileged([&] {
        int error = 0;
        if (MoveToTrashOrDelete(Path("photos/bad.jpg"), &error)) return 1;
        return error == EACCES ? 0 : 2;
    });
    chmod(QFile::encodeName(Path("photos")).constData(), 0755);
    if (!status) GTEST_SKIP() << "no unprivileged identity to test a read-only folder with";
    EXPECT_EQ(*status, 0) << "1: deleted, 2: another reason than EACCES";
    EXPECT_EQ(ReadFile(Path("photos/bad.jpg")), "x");
}

TEST_F(FileOperationsTest, SameFileAndGoneFiles) {
    ASSERT_TRUE(QDir().mkdir(Path("sub")));
    ASSERT_TRUE(WriteFile(Path("a.jpg"), "a"));
    ASSERT_TRUE(WriteFile(Path("b.jpg"), "b"));
    ASSERT_EQ(link(QFile::encodeName(Path("a.jpg")).constData(),
                   QFile::encodeName(Path("hard.jpg")).constData()),
              0);
    ASSERT_EQ(symlink("../a.jpg", QFile::encodeName(Path("sub/soft.jpg")).constData()), 0);
    ASSERT_EQ(symlink("nowhere.jpg", QFile::encodeName(Path("dangling.jpg")).constData()), 0);
    const struct {
        const char* A;
        const char* B;
        bool Same;
    } pairs[] = {
        {"a.jpg", "a.jpg", true},         {"a.jpg", "sub/../a.jpg", true},
        {"a.jpg", "./a.jpg", true},       {"a.jpg", "hard.jpg", true},
        {"a.jpg", "sub/soft.jpg", true},  {"a.jpg", "b.jpg", false},
        {"gone.jpg", "gone.jpg", true},   {"gone.jpg", "other-gone.jpg", false},
        {"dangling.jpg", "a.jpg", false},
    };
    for (const auto& p : pairs) {
        EXPECT_EQ(SameFile(Path(p.A), Path(p.B)), p.Same) << p.A << " / " << p.B;
        EXPECT_EQ(SameFile(Path(p.B), Path(p.A)), p.Same) << p.B << " / " << p.A;
    }
    EXPECT_FALSE(SameFile(QString(), QString()));
    EXPECT_FALSE(SameFile(Path("a.jpg"), QString()));

    const struct {
        QString Path;
        bool Gone;
    } files[] = {
        {Path("a.jpg"), false},       {Path("sub/soft.jpg"), false},
        {Path("sub"), false},         {Path("gone.jpg"), true},
        {Path("dangling.jpg"), true}, {Path("a.jpg/x"), true},
        {Path("none/x.jpg"), true},   {QString(), true},
    };
    for (const auto& f : files)
        EXPECT_EQ(FileIsGone(f.Path), f.Gone) << f.Path.toStdString();
}

}  // namespace
