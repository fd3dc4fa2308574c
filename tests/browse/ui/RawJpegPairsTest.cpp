// A camera's RAW+JPEG pairs and their sidecars on the toolbar: listed once, deleted and renamed
// together, and a rename that cannot take every file along takes none.

#include <QFile>
#include <cerrno>

#include "browse/FileOperations.h"
#include "browse/ui/BrowseWindowFixture.h"

namespace {

class RawJpegPairs : public BrowseWindowFixture {
  protected:
    // Folder "card": A.JPG (1 pixel wide) with A.CR2 and A.xmp, and B.jpg (2 pixels), listed
    // by name with A shown.
    void StartOnCard(TKelvoImageForm& form) {
        FFolder = MakeFolder(QStringLiteral("card"));
        MakePicture(InFolder("A.JPG"), 1);
        ASSERT_TRUE(browse_test::WriteFile(InFolder("A.CR2"), "the camera's RAW"));
        ASSERT_TRUE(browse_test::WriteFile(InFolder("A.xmp"), "<x:xmpmeta/>"));
        MakePicture(InFolder("B.jpg"), 2);
        FDialogs.AnswerFolder(FFolder);
        form.AlphaSB->click();
    }
    QString InFolder(const QString& name) const { return FFolder + QLatin1Char('/') + name; }

    QString FFolder;
};

TEST_F(RawJpegPairs, DelNextTrashesThePairAndItsSidecarAndShowsTheNextPhoto) {
    TKelvoImageForm& form = StartWithTools(true);
    StartOnCard(form);
    EXPECT_EQ(ListedNames(), QStringList({"A.JPG", "B.jpg"}));
    FDialogs.AnswerYes();
    form.DelNextSB->click();
    EXPECT_EQ(FDialogs.Prompts().last(),
              QStringLiteral("Delete \"") + InFolder("A.JPG") + "\" (and A.CR2, A.xmp)?");
    for (const char* name : {"A.JPG", "A.CR2", "A.xmp"}) {
        EXPECT_FALSE(QFile::exists(InFolder(QLatin1String(name)))) << name;
        EXPECT_TRUE(QFile::exists(TrashFile(QLatin1String(name)))) << name;
    }
    EXPECT_EQ(ShownWidth(), 2);
    EXPECT_TRUE(FDialogs.Errors().isEmpty());
}

TEST_F(RawJpegPairs, DelAnsweredNoKeepsThePair) {
    TKelvoImageForm& form = StartWithTools(true);
    StartOnCard(form);
    FDialogs.AnswerNo();
    form.NameSB->click();
    EXPECT_EQ(FDialogs.Prompts().last(),
              QStringLiteral("Delete \"") + InFolder("A.JPG") + "\" (and A.CR2, A.xmp)?");
    for (const char* name : {"A.JPG", "A.CR2", "A.xmp"})
        EXPECT_TRUE(QFile::exists(InFolder(QLatin1String(name)))) << name;
}

TEST_F(RawJpegPairs, RenameNextRenamesEveryFileOfThePhoto) {
    TKelvoImageForm& form = StartWithTools();
    StartOnCard(form);
    FDialogs.AnswerText(InFolder("C"));
    form.RenameAndNextSB->click();
    for (const char* name : {"C.JPG", "C.CR2", "C.xmp"})
        EXPECT_TRUE(QFile::exists(InFolder(QLatin1String(name)))) << name;
    for (const char* name : {"A.JPG", "A.CR2", "A.xmp"})
        EXPECT_FALSE(QFile::exists(InFolder(QLatin1String(name)))) << name;
    EXPECT_EQ(form.FFileList[0], InFolder("C.JPG"));
    EXPECT_EQ(ShownWidth(), 2);
    EXPECT_TRUE(FDialogs.Errors().isEmpty());
}

TEST_F(RawJpegPairs, RenameOntoATakenNameOfAnyFileChangesNothing) {
    TKelvoImageForm& form = StartWithTools();
    StartOnCard(form);
    // Only the RAW's new name is taken: the JPEG could go, but then the pair would be split.
    ASSERT_TRUE(browse_test::WriteFile(InFolder("C.cr2"), "another photo's RAW"));
    ASSERT_TRUE(QFile::rename(InFolder("A.CR2"), InFolder("A.cr2")));
    FDialogs.AnswerText(InFolder("C"));
    form.RenameAndNextSB->click();
    for (const char* name : {"A.JPG", "A.cr2", "A.xmp"})
        EXPECT_TRUE(QFile::exists(InFolder(QLatin1String(name)))) << name;
    EXPECT_FALSE(QFile::exists(InFolder("C.JPG")));
    EXPECT_EQ(browse_test::ReadFile(InFolder("C.cr2")), "another photo's RAW");
    EXPECT_EQ(form.FFileList[0], InFolder("A.JPG"));
    EXPECT_EQ(FDialogs.Errors(), QStringList{FormatErrorMessage(CannotRenameFileMessage(
                                     InFolder("A.cr2"), InFolder("C.cr2"), EEXIST))});
}

}  // namespace
