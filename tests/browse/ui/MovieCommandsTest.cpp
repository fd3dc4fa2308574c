// The slideshow, its timer driven by hand: order, wrap-around, interval, stopping, the steps
// after a stop, and files that cannot be shown.

#include <QAction>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include "base/KelvoError.h"
#include "browse/ui/BrowseWindowFixture.h"
#include "browse/ui/TickingDialogs.h"

namespace {

class MovieCommands : public BrowseWindowFixture {
  protected:
    // Folder "show" with the given names; entry i is i + 1 pixels wide; a name starting with
    // "broken" holds no picture.
    QString MakeShow(const QStringList& names) {
        const QString folder = MakeFolder(QStringLiteral("show"));
        int width = 0;
        for (const QString& name : names) {
            ++width;
            const QString path = folder + QLatin1Char('/') + name;
            if (name.startsWith(QLatin1String("broken")))
                EXPECT_TRUE(browse_test::WriteFile(path, "no picture here"));
            else
                MakePicture(path, width);
        }
        return folder;
    }
    void PlayFolder(const QString& folder) {
        FDialogs.AnswerFolder(folder);
        Form().Movie1->trigger();
    }
    void Tick() { TickOf(Form()); }
};

TEST_F(MovieCommands, PlaysByNameAtTheStoredIntervalAndWraps) {
    TKelvoImageForm& form = StartWithTools(true, "[Movie]\nSpeed=250\n");
    const QString folder = MakeShow({"c.jpg", "a.jpg", "b.jpg"});  // widths 1, 2, 3
    const QString before = form.CurrentFileName();
    PlayFolder(folder);
    EXPECT_TRUE(form.FMoviePlaying);
    EXPECT_TRUE(form.MovieTimer->isActive());
    EXPECT_EQ(form.MovieTimer->interval(), 250);
    // Nothing is shown until the first tick.
    EXPECT_EQ(form.CurrentFileName(), before);
    EXPECT_EQ(form.FFileIndex, 0);

    const struct {
        const char* shown;
        int width;
        int indexAfter;
        const char* label;
    } expected[] = {
        {"a.jpg", 2, 1, "<1/3>"}, {"b.jpg", 3, 2, "<2/3>"}, {"c.jpg", 1, 0, ""},
        {"a.jpg", 2, 1, "<1/3>"}, {"b.jpg", 3, 2, "<2/3>"},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.shown);
        Tick();
        EXPECT_EQ(form.CurrentFileName(), folder + QLatin1Char('/') + QLatin1String(e.shown));
        EXPECT_EQ(ShownWidth(), e.width);
        EXPECT_EQ(form.FFileIndex, e.indexAfter);
        EXPECT_EQ(form.Label1->text(), QLatin1String(e.label));
    }
    EXPECT_TRUE(FDialogs.Errors().isEmpty());
}

TEST_F(MovieCommands, OneFileIsShownAtEveryTick) {
    TKelvoImageForm& form = StartWithTools();
    PlayFolder(MakeShow({"only.jpg"}));
    for (int i = 0; i < 3; ++i) {
        Bitmap().SetSize(0, 0);
        Tick();
        EXPECT_EQ(ShownWidth(), 1);
        EXPECT_EQ(form.FFileIndex, 0);
    }
}

TEST_F(MovieCommands, EscapeStopsAndPrevOrNextGoOnFromTheIndex) {
    TKelvoImageForm& form = StartWithTools();
    const QString folder = MakeShow({"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
    const struct {
        const char* name;
        void (TKelvoImageForm::*command)();
        int width;
    } cases[] = {
        {"prev reloads the entry shown last", &TKelvoImageForm::PriorSBClick, 2},
        {"next skips one", &TKelvoImageForm::Next1Click, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlayFolder(folder);
        Tick();
        EXPECT_EQ(ShownWidth(), 1);  // every "Movie" starts again at the first file
        Tick();
        QTest::keyClick(&form, Qt::Key_Escape);
        EXPECT_FALSE(form.FMoviePlaying);
        Tick();  // a stopped show loads nothing
        EXPECT_EQ(ShownWidth(), 2);
        EXPECT_EQ(form.FFileIndex, 2);
        (form.*c.command)();
        EXPECT_EQ(ShownWidth(), c.width);
    }
}

TEST_F(MovieCommands, CancelledChooserStartsNothingAndLeavesARunningShowAlone) {
    TKelvoImageForm& form = StartWithTools();
    FDialogs.CancelFolder();
    form.Movie1->trigger();
    EXPECT_FALSE(form.FMoviePlaying);

    const QString folder = MakeShow({"a.jpg", "b.jpg"});
    PlayFolder(folder);
    Tick();
    const QStringList list = form.FFileList;
    FDialogs.CancelFolder();
    form.Movie1->trigger();
    EXPECT_TRUE(form.FMoviePlaying);
    EXPECT_EQ(form.FFileList, list);
    EXPECT_EQ(form.FFileIndex, 1);
    Tick();
    EXPECT_EQ(ShownWidth(), 2);
}

TEST_F(MovieCommands, SpeedChangeShowsAtOnceAndPacesFromTheNextMovie) {
    TKelvoImageForm& form = StartWithTools();
    const QString folder = MakeShow({"a.jpg", "b.jpg"});
    PlayFolder(folder);
    EXPECT_EQ(form.MovieTimer->interval(), 100);

    FDialogs.AnswerText(QStringLiteral("2000"));
    form.MovieSpeedms1->trigger();
    const ScriptedDialogs::ShownDialog& prompt = FDialogs.Shown().back();
    EXPECT_EQ(prompt.Title, QStringLiteral("Movie Speed (ms)"));
    EXPECT_EQ(prompt.Text, QStringLiteral("Enter a number > 0"));
    EXPECT_EQ(prompt.DefaultText, QStringLiteral("100"));
    EXPECT_EQ(form.MovieSpeedms1->text(), QStringLiteral("Movie Speed(ms) [2000]"));
    EXPECT_EQ(Setting("Movie", "Speed"), QStringLiteral("2000"));
    EXPECT_EQ(form.MovieTimer->interval(), 100);

    PlayFolder(folder);
    EXPECT_EQ(form.MovieTimer->interval(), 2000);
}

TEST_F(MovieCommands, UnusableStoredSpeedFallsBackToTheDefault) {
    TKelvoImageForm& form = StartWithTools(true, "[Movie]\nSpeed=0\n");
    PlayFolder(MakeShow({"a.jpg"}));
    EXPECT_EQ(form.MovieTimer->interval(), 100);
}

TEST_F(MovieCommands, TickNeverReadsOutsideTheList) {
    TKelvoImageForm& form = StartWithTools();
    PlayFolder(MakeShow({"a.jpg", "b.jpg", "c.jpg"}));
    // "Next" left the index one past the end while the show ran: the show goes on at the first.
    form.FFileIndex = 3;
    Tick();
    EXPECT_EQ(ShownWidth(), 1);
    EXPECT_EQ(form.FFileIndex, 1);

    // A rebuild that found nothing leaves the show with an empty list: ticks do nothing.
    const QString empty = MakeFolder(QStringLiteral("empty"));
    FDialogs.AnswerFolder(empty);
    form.AlphaSB->click();
    ASSERT_TRUE(form.FFileList.isEmpty());
    Tick();
    EXPECT_EQ(ShownWidth(), 1);
    EXPECT_TRUE(form.FMoviePlaying);
    EXPECT_TRUE(FDialogs.Errors().isEmpty());
}

TEST_F(MovieCommands, BrokenFileIsReportedOnceAndSkipped) {
    TKelvoImageForm& form = StartWithTools();
    const QString folder = MakeShow({"a.jpg", "broken.jpg", "c.jpg"});
    PlayFolder(folder);
    const struct {
        int width;
        int indexAfter;
        int errors;
    } expected[] = {
        {1, 1, 0},  // a
        {3, 0, 1},  // broken fails, c is shown in the same tick
        {1, 1, 1},  // a
        {3, 0, 1},  // broken is passed over without a word
        {1, 1, 1},
    };
    int tick = 0;
    for (const auto& e : expected) {
        SCOPED_TRACE(++tick);
        Tick();
        EXPECT_EQ(ShownWidth(), e.width);
        EXPECT_EQ(form.FFileIndex, e.indexAfter);
        EXPECT_EQ(FDialogs.Errors().size(), e.errors);
    }
    EXPECT_TRUE(form.FMoviePlaying);

    // A new show tries every file again.
    PlayFolder(folder);
    Tick();
    Tick();
    EXPECT_EQ(FDialogs.Errors().size(), 2);
}

TEST_F(MovieCommands, FilesGoneDuringTheShowArePassedOverWithoutAWord) {
    TKelvoImageForm& form = StartWithTools();
    const QString folder = MakeShow({"a.jpg", "b.jpg", "c.jpg"});
    PlayFolder(folder);
    const QString b = folder + QStringLiteral("/b.jpg");
    const QString aside = folder + QStringLiteral("/b.aside");
    ASSERT_TRUE(QFile::rename(b, aside));
    int expectedWidths[] = {1, 3, 1, 3};
    for (int width : expectedWidths) {
        Tick();
        EXPECT_EQ(ShownWidth(), width);
    }
    // Back under its name, it is shown again.
    ASSERT_TRUE(QFile::rename(aside, b));
    Tick();
    Tick();
    EXPECT_EQ(ShownWidth(), 2);
    EXPECT_TRUE(FDialogs.Errors().isEmpty()) << FDialogs.Errors().join('\n').toStdString();

    // With every file gone the show ends, with nothing to report.
    for (const char* name : {"/a.jpg", "/b.jpg", "/c.jpg"})
        ASSERT_TRUE(QFile::remove(folder + QLatin1String(name)));
    Tick();
    EXPECT_FALSE(form.FMoviePlaying);
    EXPECT_TRUE(FDialogs.Errors().isEmpty());
}

TEST_F(MovieCommands, ShowOfNothingButBrokenFilesStopsWithOneMessage) {
    TKelvoImageForm& form = StartWithTools();
    PlayFolder(MakeShow({"broken1.jpg", "broken2.gif", "broken3.bmp"}));
    Tick();
    ASSERT_EQ(FDialogs.Errors().size(), 1);
    // The box names the file, since it may come up over another picture.
    EXPECT_TRUE(FDialogs.Errors().first().contains(QStringLiteral("broken1.jpg: JPEG error #")))
        << FDialogs.Errors().first().toStdString();
    EXPECT_FALSE(form.FMoviePlaying);
    EXPECT_FALSE(form.MovieTimer->isActive());
    Tick();
    EXPECT_EQ(FDialogs.Errors().size(), 1);
}

TEST_F(MovieCommands, TicksBehindAnOpenErrorBoxDoNothing) {
    TKelvoImageForm& form = StartWithTools();
    PlayFolder(MakeShow({"broken.jpg", "c.jpg", "d.jpg"}));
    TickingDialogs dialogs;
    int shownDuringError = -1;
    int indexDuringError = -1;
    dialogs.WhileError = [&] {
        Tick();
        shownDuringError = ShownWidth();
        indexDuringError = form.FFileIndex;
    };
    Tick();
    EXPECT_EQ(dialogs.Errors().size(), 1);
    EXPECT_EQ(shownDuringError, 2);
    EXPECT_EQ(indexDuringError, 2);
    EXPECT_EQ(form.FFileIndex, 2);
    // Once the box is closed the show goes on.
    Tick();
    EXPECT_EQ(ShownWidth(), 3);
}

TEST_F(MovieCommands, ClosingTheWindowStopsTheShow) {
    TKelvoImageForm& form = StartWithTools();
    PlayFolder(MakeShow({"a.jpg"}));
    form.close();
    EXPECT_FALSE(form.FMoviePlaying);
    Tick();
    EXPECT_NE(ShownWidth(), 1);
}

}  // namespace
