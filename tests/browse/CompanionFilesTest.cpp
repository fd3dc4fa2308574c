// Which files belong to one photograph: the RAW partner and the sidecars that go with a picture,
// the folder list's one entry per RAW+JPEG pair, and where each goes when the photo is renamed.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "browse/BrowseTestSupport.h"
#include "browse/CompanionFiles.h"
#include "browse/FolderList.h"

namespace {

class CompanionFilesTest : public testing::Test {
  protected:
    QString Path(const QString& name) const { return FDir.path() + QLatin1Char('/') + name; }
    void Make(const QStringList& names) {
        for (const QString& name : names)
            ASSERT_TRUE(browse_test::WriteFile(Path(name), name.toUtf8()));
    }
    QStringList Names(const QStringList& paths) const {
        QStringList names;
        for (const QString& path : paths)
            names.append(path.mid(FDir.path().size() + 1));
        return names;
    }
    QTemporaryDir FDir;
};

TEST_F(CompanionFilesTest, TheFolderListShowsEachPairOnceAndEveryNewFormat) {
    Make({"A.JPG", "A.CR2", "A.xmp", "B.jpg", "c.nef", "C.jpeg", "D.ARW", "E.heic", "F.avif",
          "G.webp", "H.dng", "H.DNG.xmp", "I.png", "J.tif", "K.JPE", "notes.txt"});
    for (const TFolderOrder order : {TFolderOrder::ByName, TFolderOrder::ByDate}) {
        QStringList names = Names(CollectFolderImages(FDir.path(), order));
        names.sort(Qt::CaseInsensitive);
        EXPECT_EQ(names, QStringList({"A.JPG", "B.jpg", "C.jpeg", "D.ARW", "E.heic", "F.avif",
                                      "G.webp", "H.dng", "J.tif", "K.JPE"}));
    }
}

TEST_F(CompanionFilesTest, CompanionsShareTheBaseNameWithARawEndingOrXmp) {
    Make({"IMG_1.JPG", "IMG_1.CR2", "img_1.xmp", "IMG_1.JPG.xmp", "IMG_1.CR2.XMP", "IMG_1.jpeg",
          "IMG_1.txt", "IMG_10.CR2", "IMG_1.png.xmp", "IMG_1 copy.CR2", "IMG_2.NEF", "IMG_2.xmp"});
    EXPECT_EQ(Names(CompanionFiles(Path("IMG_1.JPG"))),
              QStringList({"IMG_1.CR2", "IMG_1.CR2.XMP", "IMG_1.JPG.xmp", "img_1.xmp"}));
    // A RAW alone takes its sidecar; a JPEG without partners takes nothing.
    EXPECT_EQ(Names(CompanionFiles(Path("IMG_2.NEF"))), QStringList({"IMG_2.xmp"}));
    EXPECT_TRUE(CompanionFiles(Path("IMG_1.jpeg")).contains(Path("IMG_1.CR2")));
    EXPECT_TRUE(CompanionFiles(Path("IMG_10.CR2")).isEmpty());
    EXPECT_TRUE(CompanionFiles(QString()).isEmpty());
    EXPECT_EQ(CompanionClause(CompanionFiles(Path("IMG_2.NEF"))), QStringLiteral(" (and IMG_2.xmp)"));
    EXPECT_EQ(CompanionClause({}), QString());
}

TEST_F(CompanionFilesTest, RenamedCompanionsTakeTheNewBaseAndKeepTheirEndings) {
    const struct {
        const char* picture;
        const char* companion;
        const char* target;
        const char* expected;
    } cases[] = {
        {"/p/A.JPG", "/p/A.CR2", "/p/C.JPG", "/p/C.CR2"},
        {"/p/A.JPG", "/p/a.xmp", "/q/C.jpeg", "/q/C.xmp"},
        {"/p/A.JPG", "/p/A.CR2.xmp", "/p/C.", "/p/C.CR2.xmp"},
        {"/p/A.JPG", "/p/A.CR2", "/p/C", "/p/C.CR2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CompanionTarget(QLatin1String(c.picture), QLatin1String(c.companion),
                                  QLatin1String(c.target)),
                  QLatin1String(c.expected))
            << c.companion << " -> " << c.target;
}

TEST_F(CompanionFilesTest, ARenameThatCannotTakeEveryFileTakesNone) {
    Make({"A.JPG", "A.CR2", "A.xmp", "C.xmp"});
    const auto failure =
        RenameWithCompanions(Path("A.JPG"), Path("C.JPG"), CompanionFiles(Path("A.JPG")));
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->contains(Path("C.xmp")));
    EXPECT_EQ(Names(QDir(FDir.path()).entryList(QDir::Files, QDir::Name)).size(), 4);
    for (const char* name : {"A.JPG", "A.CR2", "A.xmp"})
        EXPECT_TRUE(QFile::exists(Path(QLatin1String(name)))) << name;
    EXPECT_EQ(browse_test::ReadFile(Path("C.xmp")), "C.xmp");

    ASSERT_TRUE(QFile::remove(Path("C.xmp")));
    EXPECT_FALSE(RenameWithCompanions(Path("A.JPG"), Path("C.JPG"), CompanionFiles(Path("A.JPG"))));
    for (const char* name : {"C.JPG", "C.CR2", "C.xmp"})
        EXPECT_EQ(browse_test::ReadFile(Path(QLatin1String(name))),
                  QByteArray("A") + QByteArray(name).mid(1))
            << name;
}

}  // namespace
