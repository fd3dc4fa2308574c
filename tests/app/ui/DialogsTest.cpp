// The text-entry dialog driven directly, the scripted seam itself, and the command dispatcher.

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <new>
#include <ostream>
#include <stdexcept>

#include "app/ui/CommandDispatch.h"
#include "app/ui/Dialogs.h"
#include "base/KelvoError.h"
#include "support/ui/ScriptedDialogs.h"

// Readable failure output for Qt texts.
static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
static void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '{';
    for (const QString& text : texts)
        *out << " \"" << text.toStdString() << '"';
    *out << " }";
}

namespace {

std::unique_ptr<TAskTextForm> ShowAskText(const QString& defaultText) {
    auto form = std::make_unique<TAskTextForm>("Rename", "New name for the file", defaultText);
    form->show();
    return form;
}

}  // namespace

TEST(AskTextForm, StartsWithTheDefaultSelectedUnderTheCaption) {
    auto form = ShowAskText("photo.jpg");
    EXPECT_EQ(form->windowTitle(), "Rename");
    EXPECT_EQ(form->PromptLabel->text(), "New name for the file");
    EXPECT_TRUE(form->PromptLabel->wordWrap());
    EXPECT_EQ(form->Edit->text(), "photo.jpg");
    EXPECT_EQ(form->Edit->selectedText(), "photo.jpg");
    EXPECT_TRUE(form->OKButton->isDefault());
    EXPECT_EQ(form->focusWidget(), form->Edit);
}

TEST(AskTextForm, OkReturnsTheTypedTextAndEveryCancelTheDefault) {
    {
        // Typing replaces the selected default; the text is returned untrimmed.
        auto form = ShowAskText("old");
        QTest::keyClicks(form->Edit, " new name ");
        QTest::keyClick(form->Edit, Qt::Key_Return);
        EXPECT_EQ(form->result(), QDialog::Accepted);
        EXPECT_EQ(form->ResultText(), " new name ");
    }
    {
        auto form = ShowAskText("old");
        QTest::keyClicks(form->Edit, "typed");
        QTest::mouseClick(form->OKButton, Qt::LeftButton);
        EXPECT_EQ(form->ResultText(), "typed");
    }
    {
        // An emptied entry is an answer too.
        auto form = ShowAskText("old");
        QTest::keyClick(form->Edit, Qt::Key_Delete);
        QTest::keyClick(form->Edit, Qt::Key_Return);
        EXPECT_EQ(form->ResultText(), "");
    }
    enum class Cancel { Escape, Button, CloseBox };
    for (Cancel how : {Cancel::Escape, Cancel::Button, Cancel::CloseBox}) {
        SCOPED_TRACE(int(how));
        auto form = ShowAskText("old");
        QTest::keyClicks(form->Edit, "typed");
        if (how == Cancel::Escape) QTest::keyClick(form->Edit, Qt::Key_Escape);
        if (how == Cancel::Button) QTest::mouseClick(form->CancelButton, Qt::LeftButton);
        if (how == Cancel::CloseBox) form->close();
        EXPECT_EQ(form->result(), QDialog::Rejected);
        EXPECT_EQ(form->ResultText(), "old");
    }
}

TEST(AskTextForm, HoldsAtMost255Characters) {
    auto form = ShowAskText("");
    QTest::keyClicks(form->Edit, QString(300, 'x'));
    QTest::keyClick(form->Edit, Qt::Key_Return);
    EXPECT_EQ(form->ResultText(), QString(255, 'x'));

    auto scripted = std::make_unique<ScriptedDialogs>();
    scripted->AnswerText(QString(300, 'y'));
    EXPECT_EQ(CurrentDialogs().AskText("c", "p", "d"), QString(255, 'y'));
}

TEST(QtNameFilter, TurnsEntriesIntoQtFiltersMatchingEitherCase) {
    EXPECT_EQ(QtNameFilter("JPEGs|*.JPG"), "JPEGs (*.JPG *.jpg)");
    EXPECT_EQ(QtNameFilter("TIFFs|*.TIF;*.TIFF"), "TIFFs (*.TIF *.tif *.TIFF *.tiff)");
    EXPECT_EQ(QtNameFilter("BMP |*.BMP"), "BMP (*.BMP *.bmp)");
}

TEST(ScriptedDialogs, InstallsItselfAndPutsThePreviousSeamBack) {
    Dialogs& before = CurrentDialogs();
    EXPECT_NE(dynamic_cast<QtDialogs*>(&before), nullptr);
    {
        ScriptedDialogs outer;
        EXPECT_EQ(&CurrentDialogs(), &outer);
        {
            ScriptedDialogs inner;
            EXPECT_EQ(&CurrentDialogs(), &inner);
        }
        EXPECT_EQ(&CurrentDialogs(), &outer);
    }
    EXPECT_EQ(&CurrentDialogs(), &before);
}

TEST(ScriptedDialogs, AnswersInOrderAndRecordsEverything) {
    ScriptedDialogs dialogs;
    dialogs.AnswerFile("/tmp/a.jpg", 3);
    dialogs.CancelFile();
    dialogs.AnswerFolder("/tmp/photos");
    dialogs.AnswerPrint(false);

    FileDialogRequest open{"Open", "/tmp/start.jpg", {"JPEGs|*.JPG", "GIFs|*.GIF", "BMPs|*.BMP"},
                           1,      QString(),        false};
    EXPECT_EQ(CurrentDialogs().OpenFile(open), std::optional<QString>("/tmp/a.jpg"));
    EXPECT_EQ(open.FilterIndex, 3);
    FileDialogRequest save{"Save As", "/tmp/start", {"JPEG|*.JPG"}, 1, "JPG", true};
    EXPECT_EQ(CurrentDialogs().SaveFile(save), std::nullopt);
    EXPECT_EQ(save.FilterIndex, 1);
    CurrentDialogs().ShowMessage("Done");
    EXPECT_EQ(CurrentDialogs().ChooseFolder("/tmp"), std::optional<QString>("/tmp/photos"));
    QPrinter printer;
    EXPECT_FALSE(CurrentDialogs().ConfigurePrinter(printer));
    CurrentDialogs().ShowError("Disk full.");

    EXPECT_EQ(dialogs.Log(), (QStringList{"Open[Open]: /tmp/start.jpg", "Save[Save As]: /tmp/start",
                                          "Message: Done", "Folder: /tmp", "Print",
                                          "Error[KelvoImage]: Disk full."}));
    EXPECT_EQ(dialogs.Shown()[1].File.DefaultSuffix, "JPG");
    EXPECT_TRUE(dialogs.Shown()[1].File.ConfirmOverwrite);
    EXPECT_EQ(dialogs.Shown()[0].File.Filters.size(), 3);
    EXPECT_TRUE(dialogs.Unexpected().isEmpty());
}

TEST(ScriptedDialogs, ConfirmedPrintGoesToTheGivenPdfFile) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ScriptedDialogs dialogs;
    dialogs.AnswerPrint(true, folder.filePath("page.pdf"));
    QPrinter printer;
    ASSERT_TRUE(CurrentDialogs().ConfigurePrinter(printer));
    EXPECT_EQ(printer.outputFormat(), QPrinter::PdfFormat);
    EXPECT_EQ(printer.outputFileName(), folder.filePath("page.pdf"));
}

TEST(ScriptedDialogs, UnexpectedDialogsAndLeftoverAnswersAreReportedAtTheEnd) {
    QStringList faults;
    ScriptedDialogs::SetFailureReporter([&](const QString& fault) { faults.append(fault); });
    {
        ScriptedDialogs dialogs;
        dialogs.AnswerText("x");
        // A choice where a text answer waits: cancelled, and the text answer stays queued.
        EXPECT_EQ(CurrentDialogs().ChooseButton("Which?", {"A", "B"}, 0), 0);
        EXPECT_EQ(dialogs.PendingAnswers(), 1);
        // Nothing queued for this one: cancelled as well.
        EXPECT_EQ(CurrentDialogs().AskText("c", "p", "d"), "x");
        EXPECT_EQ(CurrentDialogs().AskText("c", "p2", "d"), "d");
        dialogs.AnswerChoice(5);
        EXPECT_EQ(CurrentDialogs().ChooseButton("Only two", {"A", "B"}, 0), 0);
        dialogs.AnswerFolder("/tmp");
        EXPECT_EQ(dialogs.Unexpected().size(), 3);
        EXPECT_TRUE(faults.isEmpty());
    }
    ScriptedDialogs::SetFailureReporter(
        [](const QString& fault) { ADD_FAILURE() << fault.toStdString(); });
    ASSERT_EQ(faults.size(), 4);
    EXPECT_TRUE(faults[0].contains("choice")) << faults[0].toStdString();
    EXPECT_TRUE(faults[1].contains("p2")) << faults[1].toStdString();
    EXPECT_TRUE(faults[2].contains("Only two")) << faults[2].toStdString();
    EXPECT_TRUE(faults[3].contains("folder answer queued")) << faults[3].toStdString();
}

TEST(ScriptedDialogs, ChoicesFollowTheLastOfEqualCaptions) {
    ScriptedDialogs dialogs;
    dialogs.AnswerChoice(1);
    EXPECT_EQ(CurrentDialogs().ChooseButton("Pick", {"Same", "Other", "Same"}, 0), 3);
}

// ---- command dispatch ----

TEST(RunCommand, ShowsAnEscapedFailureWithThePeriodRule) {
    struct Case {
        std::function<void()> Throw;
        QString Shown;
    };
    const Case cases[] = {
        {[] { throw KelvoError("Disk full"); }, "Disk full."},
        {[] { throw KelvoError("Unable to open file 'x'"); }, "Unable to open file 'x'"},
        {[] { throw KelvoError("Done."); }, "Done."},
        {[] { throw KelvoError("Size 10"); }, "Size 10."},
        {[] { throw KelvoError("Ends in a space "); }, "Ends in a space "},
        {[] { throw std::bad_alloc(); }, "Out of memory."},
        {[] { throw std::runtime_error("codec broke"); }, "codec broke."},
        {[] { throw 42; }, "Unknown error."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Shown.toStdString());
        ScriptedDialogs dialogs;
        bool after = false;
        EXPECT_FALSE(RunCommand([&] {
            c.Throw();
            after = true;
        }));
        EXPECT_FALSE(after);
        EXPECT_EQ(dialogs.Log(), QStringList{"Error[KelvoImage]: " + c.Shown});
    }
}

TEST(RunCommand, TheNextCommandRunsAfterAFailure) {
    ScriptedDialogs dialogs;
    int runs = 0;
    EXPECT_FALSE(RunCommand([] { throw KelvoError("first fails"); }));
    EXPECT_TRUE(RunCommand([&] { ++runs; }));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(dialogs.Errors(), QStringList{"first fails."});
}

namespace {

// A window-like object whose handlers are connected through Command().
class TCommandTarget : public QObject {
  public:
    int Runs = 0;
    bool FailNext = false;
    int LastStep = 0;
    void Click() {
        if (FailNext) {
            FailNext = false;
            throw KelvoError("Cannot do that now");
        }
        ++Runs;
    }
    void Step(int step) { LastStep = step; }
};

}  // namespace

TEST(RunCommand, CommandWrapsMemberHandlersForSignals) {
    ScriptedDialogs dialogs;
    TCommandTarget target;
    QAction action("Do it");
    QObject::connect(&action, &QAction::triggered, &target,
                     Command(&target, &TCommandTarget::Click));
    target.FailNext = true;
    action.trigger();
    action.trigger();
    EXPECT_EQ(target.Runs, 1);
    EXPECT_EQ(dialogs.Errors(), QStringList{"Cannot do that now."});

    auto step = Command(&target, &TCommandTarget::Step);
    step(7);
    EXPECT_EQ(target.LastStep, 7);
}

TEST(ReportError, FormatsLikeAFailingCommand) {
    ScriptedDialogs dialogs;
    ReportError("Failed to create key x");
    EXPECT_EQ(dialogs.Errors(), QStringList{"Failed to create key x."});
}
