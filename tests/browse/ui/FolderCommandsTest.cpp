// "Start by Name", "Start by Date", "Prev", "Next" and Space on real folders: which files are
// listed in which order, what is on screen after each step, the toolbar's state, the pointer
// and the working folder.

#include <QAction>
#include <QCursor>
#include <QLabel>
#include <QTest>

#include "browse/ui/BrowseWindowFixture.h"

namespace {

class FolderCommands : public BrowseWindowFixture {
  protected:
    // Folder "photos" with a.jpg, b.gif, c.bmp, 1, 2 and 3 pixels wide.
    QString MakeThree() {
        const QString folder = MakeFolder(QStringLiteral("photos"));
        MakePicture(folder + QStringLiteral("/a.jpg"), 1);
        MakePicture(folder + QStringLiteral("/b.gif"), 2);
        MakePicture(folder + QStringLiteral("/c.bmp"), 3);
        return folder;
    }
    void StartByName(const QString& folder) {
        FDialogs.AnswerFolder(folder);
        Form().AlphaSB->click();
    }
    struct TToolbar {
        QString Label;
        bool Next;  // also "Del + Next" and "Save + Next"
        bool Rename;
        bool Prior;
    };
    void ExpectToolbar(const TToolbar& expected) {
        TKelvoImageForm& form = Form();
        EXPECT_EQ(form.Label1->text(), expected.Label);
        EXPECT_EQ(form.NextSB->isEnabled(), expected.Next);
        EXPECT_EQ(form.DelNextSB->isEnabled(), expected.Next);
        EXPECT_EQ(form.SaveNextSB->isEnabled(), expected.Next);
        EXPECT_EQ(form.RenameAndNextSB->isEnabled(), expected.Rename);
        EXPECT_EQ(form.PriorSB->isEnabled(), expected.Prior);
        EXPECT_TRUE(form.NameSB->isEnabled());
    }
};

TEST_F(FolderCommands, NameOrderIgnoresCaseAndTheFirstEntryIsShown) {
    TKelvoImageForm& form = StartWithTools();
    const QString folder = MakeFolder(QStringLiteral("mixed"));
    MakePicture(folder + QStringLiteral("/c.Jpg"), 3);
    MakePicture(folder + QStringLiteral("/a.jpg"), 1);
    MakePicture(folder + QStringLiteral("/B.JPG"), 2);
    StartByName(folder);
    EXPECT_EQ(ListedNames(), QStringList({"a.jpg", "B.JPG", "c.Jpg"}));
    EXPECT_EQ(form.FFileList.first(), folder + QStringLiteral("/a.jpg"));
    EXPECT_EQ(form.FFileIndex, 0);
    EXPECT_EQ(ShownWidth(), 1);
    EXPECT_EQ(form.CurrentFileName(), folder + QStringLiteral("/a.jpg"));
    EXPECT_EQ(QDir::currentPath(), folder);
    ExpectToolbar({QStringLiteral("<1/3>"), true, true, false});
}

TEST_F(FolderCommands, OnlyNamesHoldingAnImageEndingAreCollected) {
    struct Case {
        const char* name;
        QStringList files;  // a trailing "/" makes a folder
        QStringList listed;
    };
    const Case cases[] = {
        {"png is left out, tif is not", {"x.png", "y.tif", "z.gif"}, {"y.tif", "z.gif"}},
        {"the ending may sit inside the name; folders never count",
         {"holiday.jpg.txt", "old.jpg/", "notes.txt", "a.bmp"},
         {"a.bmp", "holiday.jpg.txt"}},
    };
    TKelvoImageForm& form = StartWithTools();
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = MakeFolder(QStringLiteral("case%1").arg(++round));
        for (const QString& file : c.files) {
            if (file.endsWith(QLatin1Char('/')))
                MakeFolder(QStringLiteral("case%1/").arg(round) + file);
            else
                MakePicture(folder + QLatin1Char('/') + file, 5);
        }
        StartByName(folder);
        EXPECT_EQ(ListedNames(), c.listed);
        EXPECT_EQ(form.CurrentFileName(), form.FFileList.value(0));
        EXPECT_EQ(ShownWidth(), 5);
    }
    EXPECT_TRUE(FDialogs.Errors().isEmpty()) << FDialogs.Errors().join('\n').toStdString();
}

TEST_F(FolderCommands, DateOrderUsesTwoSecondStepsThenNames) {
    TKelvoImageForm& form = StartWithTools();
    const QString folder = MakeFolder(QStringLiteral("dated"));
    // Even base: local time zones are whole minutes away from UTC, so the step starts here.
    const std::int64_t base = 1700000000;
    const struct {
        const char* name;
        std::int64_t modified;
    } files[] = {
        {"x.jpg", base + 2},  // the next step
        {"z.jpg", base},      // z and y share a step and go by name
        {"y.jpg", base + 1},
        {"w.jpg", base - 2},  // the step before
    };
    for (const auto& f : files) {
        const QString path = MakePicture(folder + QLatin1Char('/') + QLatin1String(f.name), 2);
        ASSERT_TRUE(browse_test::SetModified(path, f.modified));
    }
    FDialogs.AnswerFolder(folder);
    form.ChronoSB->click();
    EXPECT_EQ(ListedNames(), QStringList({"w.jpg", "y.jpg", "z.jpg", "x.jpg"}));
    EXPECT_EQ(form.CurrentFileName(), folder + QStringLiteral("/w.jpg"));
    // No date key is left in front of the paths.
    for (const QString& entry : form.FFileList)
        EXPECT_TRUE(entry.startsWith(folder + QLatin1Char('/'))) << entry.toStdString();
}

TEST_F(FolderCommands, NextAndPrevWalkTheListAndStopAtItsEnds) {
    TKelvoImageForm& form = StartWithTools();
    StartByName(MakeThree());
    ExpectToolbar({QStringLiteral("<1/3>"), true, true, false});

    // Prev on the first entry does nothing.
    form.PriorSBClick();
    EXPECT_EQ(form.FFileIndex, 0);
    EXPECT_EQ(ShownWidth(), 1);

    struct Step {
        const char* name;
        void (TKelvoImageForm::*command)();
        int index;
        int width;  // what is on screen afterwards
        TToolbar toolbar;
    };
    // The last two "Next" run the operation where its button is disabled: the state a failed
    // last load or a running show leaves behind.
    const Step steps[] = {
        {"next to b", &TKelvoImageForm::Next1Click, 1, 2, {"<2/3>", true, true, true}},
        {"next to c", &TKelvoImageForm::Next1Click, 2, 3, {"", false, true, true}},
        {"next off the end", &TKelvoImageForm::Next1Click, 3, 3, {"", false, true, true}},
        {"next past the end", &TKelvoImageForm::Next1Click, 3, 3, {"", false, true, true}},
        {"prev back to c", &TKelvoImageForm::PriorSBClick, 2, 3, {"", false, true, true}},
        {"prev to b", &TKelvoImageForm::PriorSBClick, 1, 2, {"<2/3>", true, true, true}},
        {"prev to a", &TKelvoImageForm::PriorSBClick, 0, 1, {"<1/3>", true, true, false}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        (form.*step.command)();
        EXPECT_EQ(form.FFileIndex, step.index);
        EXPECT_EQ(ShownWidth(), step.width);
        ExpectToolbar(step.toolbar);
    }
    EXPECT_EQ(form.FFileList.size(), 3);
    EXPECT_TRUE(FDialogs.Errors().isEmpty());
}

TEST_F(FolderCommands, StepsPassOverEntriesWhoseFilesAreGoneAndReachRenamedOnes) {
    TKelvoImageForm& form = StartWithTools(false);
    // a to f, 1 to 6 pixels wide.
    const QString folder = MakeFolder(QStringLiteral("photos"));
    const QStringList names = {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg", "f.jpg"};
    for (int i = 0; i < names.size(); ++i)
        MakePicture(folder + QLatin1Char('/') + names[i], i + 1);
    StartByName(folder);
    const auto in = [&](const char* name) { return folder + QLatin1Char('/') + name; };

    // b goes to the trash through "Del"; d is deleted and f renamed behind the program's back;
    // c is renamed with "Rename + Next", so its entry follows it.
    form.NextSB->click();
    form.NameSB->click();
    ASSERT_TRUE(QFile::remove(in("d.jpg")));
    ASSERT_TRUE(QFile::rename(in("f.jpg"), in("f-renamed.jpg")));
    form.FFileIndex = 2;
    FDialogs.AnswerText(in("c-renamed"));
    form.RenameAndNextSB->click();
    ASSERT_EQ(form.FFileList[2], in("c-renamed.jpg"));
    ASSERT_EQ(form.FFileIndex, 4) << "d is passed over";
    ASSERT_EQ(ShownWidth(), 5);

    struct Step {
        const char* name;
        void (TKelvoImageForm::*command)();
        int index;
        int width;
    };
    const Step steps[] = {
        {"prev over d to the renamed c", &TKelvoImageForm::PriorSBClick, 2, 3},
        {"prev over b to a", &TKelvoImageForm::PriorSBClick, 0, 1},
        {"prev at a", &TKelvoImageForm::PriorSBClick, 0, 1},
        {"next over b", &TKelvoImageForm::Next1Click, 2, 3},
        {"next over d", &TKelvoImageForm::Next1Click, 4, 5},
        // f's file is gone under its old name: nothing is left after e, so the step goes one
        // past the end, as from the last entry, and e stays on screen.
        {"next past the gone f", &TKelvoImageForm::Next1Click, 6, 5},
        {"prev back over f to e", &TKelvoImageForm::PriorSBClick, 4, 5},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        (form.*step.command)();
        EXPECT_EQ(form.FFileIndex, step.index);
        EXPECT_EQ(ShownWidth(), step.width);
    }
    // The entries keep their places and the position label counts them all.
    EXPECT_EQ(form.FFileList.size(), 6);
    EXPECT_EQ(form.Label1->text(), QStringLiteral("<5/6>"));
    EXPECT_TRUE(FDialogs.Errors().isEmpty()) << FDialogs.Errors().join('\n').toStdString();

    // With every file before it gone, "Prev" does nothing, as on the first entry.
    ASSERT_TRUE(QFile::remove(in("a.jpg")));
    ASSERT_TRUE(QFile::remove(in("c-renamed.jpg")));
    form.PriorSBClick();
    EXPECT_EQ(form.FFileIndex, 4);
    EXPECT_EQ(ShownWidth(), 5);
}

TEST_F(FolderCommands, PointerGoesBackOnTheButtonUsedAfterASuccessfulLoadOnly) {
    TKelvoImageForm& form = StartWithTools();
    const QString folder = MakeThree();
    ASSERT_TRUE(browse_test::WriteFile(folder + QStringLiteral("/b.gif"), "not a picture"));
    StartByName(folder);
    const QPoint away(5, 7);

    QCursor::setPos(away);
    form.NextSB->click();  // b fails
    EXPECT_EQ(FDialogs.Errors().size(), 1);
    EXPECT_EQ(form.FFileIndex, 1);
    EXPECT_EQ(QCursor::pos(), away);

    form.NextSB->click();  // still enabled from the last good load; c loads
    EXPECT_EQ(form.FFileIndex, 2);
    EXPECT_EQ(ShownWidth(), 3);
    EXPECT_EQ(QCursor::pos(), CentreOf(form.NextSB));

    QCursor::setPos(away);
    form.PriorSB->click();  // b fails again: the index stays on it
    EXPECT_EQ(form.FFileIndex, 1);
    EXPECT_EQ(QCursor::pos(), away);
    form.PriorSB->click();
    EXPECT_EQ(ShownWidth(), 1);
    EXPECT_EQ(QCursor::pos(), CentreOf(form.PriorSB));
}

TEST_F(FolderCommands, SpaceStepsOnlyWhileNextIsEnabled) {
    TKelvoImageForm& form = StartWithTools();
    StartByName(MakeThree());
    QTest::keyClick(&form, Qt::Key_Space);
    EXPECT_EQ(form.FFileIndex, 1);
    EXPECT_EQ(ShownWidth(), 2);
    EXPECT_EQ(QCursor::pos(), CentreOf(form.NextSB));
    QTest::keyClick(&form, Qt::Key_Space);
    EXPECT_EQ(form.FFileIndex, 2);
    // At the last entry "Next" is disabled, so Space leaves the index where it is.
    QTest::keyClick(&form, Qt::Key_Space);
    EXPECT_EQ(form.FFileIndex, 2);
    EXPECT_EQ(ShownWidth(), 3);
}

TEST_F(FolderCommands, CancelledChooserKeepsListPositionAndPicture) {
    TKelvoImageForm& form = StartWithTools();
    StartByName(MakeThree());
    form.NextSB->click();
    const QStringList list = form.FFileList;
    FDialogs.CancelFolder();
    form.ChronoSB->click();
    EXPECT_EQ(form.FFileList, list);
    EXPECT_EQ(form.FFileIndex, 1);
    EXPECT_EQ(ShownWidth(), 2);
}

TEST_F(FolderCommands, FolderWithoutPicturesEmptiesTheListAndKeepsThePicture) {
    TKelvoImageForm& form = StartWithTools();
    StartByName(MakeThree());
    form.NextSB->click();
    const QString empty = MakeFolder(QStringLiteral("empty"));
    ASSERT_TRUE(browse_test::WriteFile(empty + QStringLiteral("/readme.txt"), "x"));
    StartByName(empty);
    EXPECT_TRUE(form.FFileList.isEmpty());
    EXPECT_EQ(form.FFileIndex, 0);
    EXPECT_EQ(ShownWidth(), 2);
    form.Next1Click();
    form.PriorSBClick();
    EXPECT_EQ(form.FFileIndex, 0);
    EXPECT_EQ(ShownWidth(), 2);
    EXPECT_TRUE(FDialogs.Errors().isEmpty());
}

TEST_F(FolderCommands, ChooserOpensOnTheCurrentFilesFolderWhichBecomesTheWorkingFolder) {
    TKelvoImageForm& form = StartWithTools();
    const QString folder = MakeThree();
    const QString other = MakeFolder(QStringLiteral("elsewhere"));
    form.LoadImageFile(folder + QStringLiteral("/b.gif"));
    QDir::setCurrent(other);

    // Even when the chooser is left with Cancel, the folder it showed is the working folder.
    FDialogs.CancelFolder();
    form.AlphaSB->click();
    ASSERT_FALSE(FDialogs.Shown().empty());
    EXPECT_EQ(FDialogs.Shown().back().DialogKind, ScriptedDialogs::Kind::Folder);
    EXPECT_EQ(FDialogs.Shown().back().Text, folder + QLatin1Char('/'));
    EXPECT_EQ(QDir::currentPath(), folder);

    // The folder chosen becomes the working folder.
    StartByName(other);
    EXPECT_EQ(QDir::currentPath(), other);

    // Without a current file the chooser is asked for the folder it showed last.
    form.OpenDialog1.FileName.clear();
    FDialogs.CancelFolder();
    form.AlphaSB->click();
    EXPECT_EQ(FDialogs.Shown().back().Text, QString());
}

}  // namespace
