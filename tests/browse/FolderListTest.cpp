#include "browse/FolderList.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCollator>
#include <QDir>
#include <QLocale>
#include <QTemporaryDir>
#include <limits>
#include <random>
#include <vector>

#include "BrowseTestSupport.h"

using namespace browse_test;

namespace {

class FolderListTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(FDir.isValid()); }
    QString Folder() const { return FDir.path(); }
    QString Path(const QString& name) const { return FDir.filePath(name); }
    void Make(const QString& name, std::optional<std::int64_t> modified = std::nullopt) {
        ASSERT_TRUE(WriteFile(Path(name))) << name.toStdString();
        if (modified) {
            ASSERT_TRUE(SetModified(Path(name), *modified)) << name.toStdString();
        }
    }
    // The entries as names, after checking that each is the folder, one "/" and the name.
    QStringList Names(const QStringList& list) const {
        QStringList names;
        for (const QString& entry : list) {
            EXPECT_TRUE(entry.startsWith(Folder() + "/")) << entry.toStdString();
            EXPECT_FALSE(entry.contains("//")) << entry.toStdString();
            names << entry.mid(Folder().size() + 1);
        }
        return names;
    }

    QTemporaryDir FDir;
    TScopedEnv FZone{"TZ", "UTC"};
};

TEST_F(FolderListTest, NameOrderAndSelection) {
    struct Case {
        const char* what;
        QStringList files;
        QStringList folders;
        QStringList expected;
    };
    const Case cases[] = {
        {"case-insensitive order", {"c.Jpg", "a.jpg", "B.JPG"}, {}, {"a.jpg", "B.JPG", "c.Jpg"}},
        {"png is not collected, tif is", {"x.png", "y.tif", "z.gif"}, {}, {"y.tif", "z.gif"}},
        {"substring anywhere, folders skipped",
         {"holiday.jpg.txt", "notes.txt"},
         {"old.jpg"},
         {"holiday.jpg.txt"}},
        {"hidden files count", {".x.jpg", "y.bmp"}, {}, {".x.jpg", "y.bmp"}},
        {"the three patterns anywhere, the other JPEG spellings at the end",
         {"a.jpeg", "b.JPE", "c.jp", "d.gifs", "e.bmpx", "jpg", "f_jpg", "g.BmP", "h.jpeg.txt"},
         {},
         {"a.jpeg", "b.JPE", "d.gifs", "e.bmpx", "g.BmP"}},
        {"digits compare as text",
         {"a9.jpg", "a10.jpg", "a1.jpg"},
         {},
         {"a1.jpg", "a10.jpg", "a9.jpg"}},
        // The dotless i upper-cases to I, so this name holds ".GIF" once in upper case.
        {"upper case of non-ASCII names",
         {QString::fromUtf8("a.g\u0131f"), QString::fromUtf8("\u00e9t\u00e9.jpg")},
         {},
         {QString::fromUtf8("a.g\u0131f"), QString::fromUtf8("\u00e9t\u00e9.jpg")}},
        {"no qualifying file", {"a.png", "b.txt"}, {"c.jpg"}, {}},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        for (const QString& name : c.files)
            ASSERT_TRUE(WriteFile(dir.filePath(name)));
        for (const QString& name : c.folders)
            ASSERT_TRUE(QDir(dir.path()).mkdir(name));
        QStringList expected;
        for (const QString& name : c.expected)
            expected << dir.path() + "/" + name;
        EXPECT_EQ(CollectFolderImages(dir.path(), TFolderOrder::ByName), expected) << c.what;
    }
}

TEST_F(FolderListTest, FolderPathHoldingThePatternCollectsEveryFile) {
    const QString album = Path("Album.Jpg");
    ASSERT_TRUE(QDir().mkdir(album));
    ASSERT_TRUE(WriteFile(album + "/notes.txt"));
    ASSERT_TRUE(WriteFile(album + "/b.png"));
    ASSERT_TRUE(QDir().mkdir(album + "/sub"));
    EXPECT_EQ(CollectFolderImages(album, TFolderOrder::ByName),
              QStringList({album + "/b.png", album + "/notes.txt"}));
}

TEST_F(FolderListTest, TrailingSeparatorGivesTheSameEntries) {
    Make("a.jpg");
    const QStringList expected{Path("a.jpg")};
    EXPECT_EQ(CollectFolderImages(Folder() + "/", TFolderOrder::ByName), expected);
    EXPECT_EQ(CollectFolderImages(Folder() + "//", TFolderOrder::ByDate), expected);
}

TEST_F(FolderListTest, NamesEqualButForCaseAreBothKeptInAFixedOrder) {
    Make("a.jpg");
    Make("A.jpg");
    Make("b.jpg");
    EXPECT_EQ(Names(CollectFolderImages(Folder(), TFolderOrder::ByName)),
              QStringList({"A.jpg", "a.jpg", "b.jpg"}));
}

TEST_F(FolderListTest, OnlyRegularFilesBehindLinksAndNoSpecialFiles) {
    Make("target.dat");
    ASSERT_TRUE(QDir().mkdir(Path("folder")));
    ASSERT_EQ(symlink("target.dat", QFile::encodeName(Path("link.jpg")).constData()), 0);
    ASSERT_EQ(symlink("folder", QFile::encodeName(Path("folderlink.jpg")).constData()), 0);
    ASSERT_EQ(symlink("missing", QFile::encodeName(Path("broken.jpg")).constData()), 0);
    ASSERT_EQ(mkfifo(QFile::encodeName(Path("pipe.jpg")).constData(), 0600), 0);
    Make("plain.jpg", Utc(2001, 1, 1, 0, 0, 0));
    ASSERT_TRUE(SetModified(Path("target.dat"), Utc(2000, 1, 1, 0, 0, 0)));
    EXPECT_EQ(Names(CollectFolderImages(Folder(), TFolderOrder::ByName)),
              QStringList({"link.jpg", "plain.jpg"}));
    // The link is dated by the file it leads to.
    EXPECT_EQ(Names(CollectFolderImages(Folder(), TFolderOrder::ByDate)),
              QStringList({"link.jpg", "plain.jpg"}));
    ASSERT_TRUE(SetModified(Path("target.dat"), Utc(2002, 1, 1, 0, 0, 0)));
    EXPECT_EQ(Names(CollectFolderImages(Folder(), TFolderOrder::ByDate)),
              QStringList({"plain.jpg", "link.jpg"}));
}

TEST_F(FolderListTest, FoldersThatCannotBeListedGiveNothing) {
    Make("a.jpg");
    EXPECT_TRUE(CollectFolderImages(Path("missing"), TFolderOrder::ByName).isEmpty());
    EXPECT_TRUE(CollectFolderImages(Path("a.jpg"), TFolderOrder::ByName).isEmpty());
    EXPECT_TRUE(CollectFolderImages(QString(), TFolderOrder::ByDate).isEmpty());
}

TEST_F(FolderListTest, UnreadableFolderGivesNothing) {
    const QString locked = Path("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    ASSERT_TRUE(WriteFile(locked + "/a.jpg"));
    ASSERT_EQ(chmod(QFile::encodeName(Folder()).constData(), 0755), 0);
    ASSERT_EQ(chmod(QFile::encodeName(locked).constData(), 0311), 0);  // searchable, not listable
    const auto status = RunUnprivileged([&] {
        const bool empty = CollectFolderImages(locked, TFolderOrder::ByName).isEmpty() &&
                           CollectFolderImages(locked, TFolderOrder::ByDate).isEmpty();
        return empty ? 0 : 1;
    });
    chmod(QFile::encodeName(locked).constData(), 0755);
    if (!status) GTEST_SKIP() << "no unprivileged identity to test an unreadable folder with";
    EXPECT_EQ(*status, 0);
}

TEST_F(FolderListTest, SteppingPositionsPassOverGoneFiles) {
    // Entries 0..5; "x" marks a file that is gone.
    const QString pattern = QStringLiteral("xoxxox");
    QStringList list;
    for (int i = 0; i < pattern.size(); ++i) {
        list << Path(QStringLiteral("%1.jpg").arg(i));
        if (pattern[i] == QLatin1Char('o')) Make(QStringLiteral("%1.jpg").arg(i));
    }
    const struct {
        qsizetype From;
        qsizetype First;  // FirstPresentFrom
        qsizetype Last;   // LastPresentUpTo
    } cases[] = {
        {-1, 1, -1}, {0, 1, -1}, {1, 1, 1}, {2, 4, 1}, {3, 4, 1}, {4, 4, 4}, {5, 6, 4}, {6, 6, 6},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FirstPresentFrom(list, c.From), c.First) << c.From;
        EXPECT_EQ(LastPresentUpTo(list, c.From), c.Last) << c.From;
    }
    EXPECT_EQ(FirstPresentFrom({}, 0), 0);
    EXPECT_EQ(LastPresentUpTo({}, -1), -1);
}

TEST_F(FolderListTest, DateOrder) {
    struct File {
        const char* name;
        std::int64_t modified;
    };
    struct Case {
        const char* what;
        std::vector<File> files;
        QStringList expected;
    };
    const Case cases[] = {
        {"oldest first whatever the names",
         {{"a.jpg", Utc(2022, 3, 1, 9, 0, 0)},
          {"b.jpg", Utc(2021, 3, 1, 9, 0, 0)},
          {"c.jpg", Utc(2020, 3, 1, 9, 0, 0)}},
         {"c.jpg", "b.jpg", "a.jpg"}},
        {"two seconds apart ordered by time",
         {{"a.jpg", Utc(2020, 5, 5, 10, 0, 2)}, {"z.jpg", Utc(2020, 5, 5, 10, 0, 0)}},
         {"z.jpg", "a.jpg"}},
        {"within one two-second step ordered by name",
         {{"b.jpg", Utc(2020, 5, 5, 10, 0, 0)},
          {"A.jpg", Utc(2020, 5, 5, 10, 0, 1)},
          {"c.jpg", Utc(2020, 5, 5, 9, 59, 59)}},
         {"c.jpg", "A.jpg", "b.jpg"}},
        {"times outside 1980..2107 keep their true order",
         {{"a.jpg", Utc(2200, 1, 1, 0, 0, 0)},
          {"b.jpg", Utc(1979, 12, 31, 23, 59, 58)},
          {"c.jpg", 0},
          {"d.jpg", Utc(2107, 12, 31, 23, 59, 59)},
          {"e.jpg", Utc(1950, 6, 1, 0, 0, 0)},
          {"f.jpg", Utc(1980, 1, 1, 0, 0, 0)}},
         {"e.jpg", "c.jpg", "b.jpg", "f.jpg", "d.jpg", "a.jpg"}},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        for (const File& file : c.files) {
            ASSERT_TRUE(WriteFile(dir.filePath(file.name)));
            ASSERT_TRUE(SetModified(dir.filePath(file.name), file.modified)) << file.name;
        }
        QStringList expected;
        for (const QString& name : c.expected)
            expected << dir.path() + "/" + name;
        EXPECT_EQ(CollectFolderImages(dir.path(), TFolderOrder::ByDate), expected) << c.what;
    }
}

TEST_F(FolderListTest, DateOrderFollowsLocalClockTimes) {
    // New York falls back from 01:59:59 EDT to 01:00:00 EST on 2021-11-07. The file written
    // later, at 01:10 EST, has the smaller local key than the one written at 01:30 EDT.
    TScopedEnv zone("TZ", "EST5EDT,M3.2.0,M11.1.0");
    Make("earlier.jpg", Utc(2021, 11, 7, 5, 30, 0));  // 01:30 EDT
    Make("later.jpg", Utc(2021, 11, 7, 6, 10, 0));    // 01:10 EST
    EXPECT_EQ(FolderDateKey(Utc(2021, 11, 7, 5, 30, 0)), "2021-11-07 01:30:00");
    EXPECT_EQ(FolderDateKey(Utc(2021, 11, 7, 6, 10, 0)), "2021-11-07 01:10:00");
    EXPECT_EQ(Names(CollectFolderImages(Folder(), TFolderOrder::ByDate)),
              QStringList({"later.jpg", "earlier.jpg"}));
}

TEST_F(FolderListTest, DateKeys) {
    struct Case {
        std::int64_t seconds;
        const char* key;
    };
    const Case cases[] = {
        {Utc(2020, 5, 5, 10, 0, 1), "2020-05-05 10:00:00"},
        {Utc(2020, 5, 5, 10, 0, 0), "2020-05-05 10:00:00"},
        {Utc(2020, 12, 31, 23, 59, 59), "2020-12-31 23:59:58"},
        {Utc(2004, 2, 29, 7, 8, 9), "2004-02-29 07:08:08"},
        {0, "1970-01-01 00:00:00"},
        {-1, "1969-12-31 23:59:58"},
        {Utc(1601, 1, 1, 0, 0, 0), "1601-01-01 00:00:00"},
        {Utc(2107, 12, 31, 23, 59, 59), "2107-12-31 23:59:58"},
        {Utc(2108, 1, 1, 0, 0, 0), "2108-01-01 00:00:00"},
        {Utc(9999, 12, 31, 23, 59, 59), "9999-12-31 23:59:58"},
        {Utc(9999, 12, 31, 23, 59, 59) + 1, "9999-12-31 23:59:58"},
        {std::numeric_limits<std::int64_t>::max(), "9999-12-31 23:59:58"},
        {Utc(0, 1, 1, 0, 0, 0), "0000-01-01 00:00:00"},
        {Utc(0, 1, 1, 0, 0, 0) - 1, "0000-01-01 00:00:00"},
        {std::numeric_limits<std::int64_t>::min(), "0000-01-01 00:00:00"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FolderDateKey(c.seconds), c.key) << c.seconds;
    TScopedEnv zone("TZ", "UTC-2");
    EXPECT_EQ(FolderDateKey(0), "1970-01-01 02:00:00");
}

TEST(FolderImagePattern, UpperCaseSubstringOfTheWholePath) {
    EXPECT_TRUE(HasImageNameSubstring("/p/a.jpg"));
    EXPECT_TRUE(HasImageNameSubstring("/p.Gif/readme"));
    EXPECT_TRUE(HasImageNameSubstring("x.bMp.bak"));
    EXPECT_FALSE(HasImageNameSubstring("/p/a.jpeg"));
    EXPECT_FALSE(HasImageNameSubstring("/p/jpg"));
    EXPECT_FALSE(HasImageNameSubstring(""));
}

// A larger folder with random names and times: the list must agree with the collator's own
// pairwise comparison of the texts the order is defined on.
TEST_F(FolderListTest, OrderAgreesWithTheCollatorOnKeyedTexts) {
    std::mt19937 random(11);
    const QString letters = QString::fromUtf8("aAbBzZ_-. 019\u00e9\u00c9\u00df");
    const char* endings[] = {".jpg", ".JPG", ".Gif", ".bmp", ".png", ".jpg.txt"};
    int made = 0;
    while (made < 300) {
        QString name;
        const int length = 1 + int(random() % 8);
        for (int i = 0; i < length; ++i)
            name += letters[int(random() % letters.size())];
        name += QLatin1String(endings[random() % 6]);
        if (name.startsWith('.') || QFile::exists(Path(name))) continue;
        Make(name, Utc(2020, 1, 1, 0, 0, 0) + std::int64_t(random() % 40));
        ++made;
    }
    QCollator collator{QLocale::system()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    for (TFolderOrder order : {TFolderOrder::ByName, TFolderOrder::ByDate}) {
        const QStringList list = CollectFolderImages(Folder(), order);
        int expectedCount = 0;
        for (const QString& name : QDir(Folder()).entryList(QDir::Files | QDir::Hidden))
            expectedCount += HasImageNameSubstring(Folder() + "/" + name) ? 1 : 0;
        EXPECT_EQ(list.size(), expectedCount);
        ASSERT_GT(list.size(), 100);
        for (qsizetype i = 1; i < list.size(); ++i) {
            QString before = list[i - 1];
            QString after = list[i];
            if (order == TFolderOrder::ByDate) {
                before = FolderDateKey(*Modified(before)) + before;
                after = FolderDateKey(*Modified(after)) + after;
            }
            EXPECT_LE(collator.compare(before, after), 0)
                << before.toStdString() << " / " << after.toStdString();
        }
    }
}

}  // namespace
