// "Del", "Del + Next", "Rename + Next" and "Save + Next" on real files: what each asks, which
// file it acts on (also when the show moves on behind its question), where deleted files go,
// and that a rename never costs a file.

#include <QAction>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <optional>

#include "browse/FileOperations.h"
#include "browse/ui/BrowseWindowFixture.h"
#include "browse/ui/TickingDialogs.h"
#include "image/ImageLoader.h"

namespace {

using browse_test::ReadFile;

class FileActionCommands : public BrowseWindowFixture {
  protected:
    // Folder "sort" with the given JPEGs, entry i being i + 1 pixels wide, listed by name and
    // the first one shown.
    QString StartOn(TKelvoImageForm& form, const QStringList& names) {
        FFolder = MakeFolder(QStringLiteral("sort"));
        int width = 0;
        for (const QString& name : names)
            MakePicture(FFolder + QLatin1Char('/') + name, ++width);
        FDialogs.AnswerFolder(FFolder);
        form.AlphaSB->click();
        EXPECT_EQ(form.FFileList.size(), names.size());
        return FFolder;
    }
    QString InFolder(const QString& name) const { return FFolder + QLatin1Char('/') + name; }
    static QString DeleteQuestion(const QString& path) {
        return QStringLiteral("Delete \"") + path + QStringLiteral("\"?");
    }
    // Asked, whatever "Delete Confirm" says, when the entry is not the picture on screen.
    static QString DeleteUnseenQuestion(const QString& path) {
        return QStringLiteral("Delete \"") + path +
               QStringLiteral("\", which is not the picture shown?");
    }
    static QString ReplaceUnseenQuestion(const QString& path) {
        return QStringLiteral("Replace \"") + path + QStringLiteral("\" with the picture shown?");
    }
    // The last rename prompt shown.
    const ScriptedDialogs::ShownDialog& LastTextPrompt() const {
        for (auto it = FDialogs.Shown().rbegin(); it != FDialogs.Shown().rend(); ++it)
            if (it->DialogKind == ScriptedDialogs::Kind::Text) return *it;
        static const ScriptedDialogs::ShownDialog none;
        ADD_FAILURE() << "no text prompt was shown";
        return none;
    }

    QString FFolder;
};

TEST_F(FileActionCommands, DelAnsweredNoKeepsEverything) {
    TKelvoImageForm& form = StartWithTools(true);
    StartOn(form, {"a.jpg", "b.jpg"});
    for (QToolButton* button : {form.NameSB, form.DelNextSB}) {
        SCOPED_TRACE(button->text().toStdString());
        FDialogs.AnswerNo();
        button->click();
        EXPECT_EQ(FDialogs.Prompts().last(), DeleteQuestion(InFolder("a.jpg")));
        EXPECT_TRUE(QFile::exists(InFolder("a.jpg")));
        EXPECT_EQ(form.FFileIndex, 0);
        EXPECT_EQ(ShownWidth(), 1);
    }
}

TEST_F(FileActionCommands, DelNextWithoutConfirmationTrashesTheEntryAndStepsOn) {
    TKelvoImageForm& form = StartWithTools(false);
    StartOn(form, {"a.jpg", "b.jpg", "c.jpg"});
    const QByteArray original = *ReadFile(InFolder("a.jpg"));
    form.DelNextSB->click();
    EXPECT_TRUE(FDialogs.Prompts().isEmpty());
    EXPECT_FALSE(QFile::exists(InFolder("a.jpg")));
    EXPECT_EQ(ReadFile(TrashFile("a.jpg")), original);
    EXPECT_EQ(form.FFileList.size(), 3);  // the entry stays
    EXPECT_EQ(form.FFileIndex, 1);
    EXPECT_EQ(ShownWidth(), 2);
    EXPECT_EQ(QCursor::pos(), CentreOf(form.DelNextSB));
}

TEST_F(FileActionCommands, DelTakesTheCurrentFileAndDelNextTheListEntry) {
    TKelvoImageForm& form = StartWithTools(true);
    StartOn(form, {"a.jpg", "b.jpg"});
    const QString opened = MakePicture(PathOf("opened.jpg"), 9);
    FDialogs.AnswerFile(opened);
    form.OpenButton->trigger();
    ASSERT_EQ(ShownWidth(), 9);

    FDialogs.AnswerYes();
    form.NameSB->click();
    EXPECT_EQ(FDialogs.Prompts().last(), DeleteQuestion(opened));
    EXPECT_FALSE(QFile::exists(opened));
    EXPECT_TRUE(QFile::exists(TrashFile("opened.jpg")));
    EXPECT_TRUE(QFile::exists(InFolder("a.jpg")));
    // Nothing else moves: the picture stays up and still carries the deleted file's name.
    EXPECT_EQ(ShownWidth(), 9);
    EXPECT_EQ(form.CurrentFileName(), opened);
    EXPECT_EQ(form.FFileIndex, 0);

    // The list entry is not the picture on screen, so the question says so.
    FDialogs.AnswerYes();
    form.DelNextSB->click();
    EXPECT_EQ(FDialogs.Prompts().last(), DeleteUnseenQuestion(InFolder("a.jpg")));
    EXPECT_TRUE(QFile::exists(TrashFile("a.jpg")));
    EXPECT_EQ(ShownWidth(), 2);
}

TEST_F(FileActionCommands, QuestionsActOnTheFileTakenBeforeTheShowMovedOn) {
    TKelvoImageForm& form = StartWithTools(true);
    StartOn(form, {"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
    form.FMoviePlaying = true;
    TickingDialogs dialogs;
    const auto ticks = [&form](int count) {
        return [&form, count] {
            for (int i = 0; i < count; ++i)
                TickOf(form);
        };
    };

    // "Del" asked about a.jpg; the show has put b up by the time the answer comes.
    dialogs.WhileAsking = ticks(2);
    dialogs.AnswerYes();
    form.NameSB->click();
    EXPECT_EQ(dialogs.Prompts().last(), DeleteQuestion(InFolder("a.jpg")));
    EXPECT_FALSE(QFile::exists(InFolder("a.jpg")));
    EXPECT_TRUE(QFile::exists(InFolder("b.jpg")));
    EXPECT_EQ(form.CurrentFileName(), InFolder("b.jpg"));
    EXPECT_EQ(form.FFileIndex, 2);

    // "Del + Next" at c, with b on screen: the show shows c and d and wraps to the first entry
    // while asking; c is deleted and the step goes on from where the show left the index.
    dialogs.AnswerYes();
    form.DelNextSB->click();
    EXPECT_EQ(dialogs.Prompts().last(), DeleteUnseenQuestion(InFolder("c.jpg")));
    EXPECT_FALSE(QFile::exists(InFolder("c.jpg")));
    EXPECT_TRUE(QFile::exists(InFolder("d.jpg")));
    EXPECT_EQ(form.FFileIndex, 1);
    EXPECT_EQ(ShownWidth(), 2);

    // "Rename + Next" on the last entry while the show wraps round: d.jpg is renamed, its own
    // entry follows it, and the step goes on from the wrapped index.
    form.FFileIndex = 3;
    dialogs.WhileAsking = ticks(1);
    dialogs.AnswerText(InFolder("last"));
    form.RenameAndNextSB->click();
    EXPECT_EQ(dialogs.Shown().back().DefaultText, InFolder("d.jpg"));
    EXPECT_TRUE(QFile::exists(InFolder("last.jpg")));
    EXPECT_FALSE(QFile::exists(InFolder("d.jpg")));
    EXPECT_EQ(form.FFileList, QStringList({InFolder("a.jpg"), InFolder("b.jpg"), InFolder("c.jpg"),
                                           InFolder("last.jpg")}));
    EXPECT_EQ(form.FFileIndex, 1);
    EXPECT_EQ(ShownWidth(), 2);
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Errors().join('\n').toStdString();
    form.FMoviePlaying = false;
}

TEST_F(FileActionCommands, RenameAnswersFromUnchangedToTaken) {
    TKelvoImageForm& form = StartWithTools();
    const QStringList names = {"p0.jpg", "p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg",
                               "p5.jpg", "p6.jpg", "p7.jpg", "p8.jpg"};
    StartOn(form, names);
    MakeFolder(QStringLiteral("sort/sub"));
    ASSERT_TRUE(browse_test::WriteFile(InFolder("taken.png"), "already here"));

    struct Case {
        const char* name;
        const char* answer;   // nullptr: Cancel; relative answers start from the folder
        const char* renamed;  // the file afterwards, relative to the folder
    };
    // One row per entry, in list order: each "Rename + Next" moves on to the next row's entry.
    const Case cases[] = {
        {"cancel", nullptr, "p0.jpg"},
        {"unchanged", "=", "p1.jpg"},
        {"blank", "   ", "p2.jpg"},
        {"case only", "/P3.jpg", "P3.jpg"},
        {"no extension gets the entry's", "/renamed4", "renamed4.jpg"},
        {"a trailing dot is an extension", "/dotted5.", "dotted5."},
        {"relative to the working folder", "sub/moved6", "sub/moved6.jpg"},
        {"onto an existing file", "/taken.png", "p7.jpg"},
        {"at the last entry", "/last8", "last8.jpg"},
    };
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        ASSERT_EQ(form.FFileIndex, i);
        const QString entry = InFolder(names[i]);
        if (!c.answer)
            FDialogs.CancelText();
        else if (QLatin1String(c.answer) == QLatin1String("="))
            FDialogs.AnswerText(entry);
        else if (c.answer[0] == '/')
            FDialogs.AnswerText(FFolder + QLatin1String(c.answer));
        else
            FDialogs.AnswerText(QLatin1String(c.answer));
        form.RenameAndNextSB->click();

        const ScriptedDialogs::ShownDialog& prompt = LastTextPrompt();
        EXPECT_EQ(prompt.Title, QStringLiteral("Rename File"));
        EXPECT_EQ(prompt.Text, QStringLiteral("Rename file (empty avoids rename):"));
        EXPECT_EQ(prompt.DefaultText, entry);

        const QString renamed = InFolder(QLatin1String(c.renamed));
        EXPECT_TRUE(QFile::exists(renamed)) << renamed.toStdString();
        if (renamed != entry) {
            EXPECT_FALSE(QFile::exists(entry));
        }
        EXPECT_EQ(form.FFileList[i], renamed);
        EXPECT_EQ(LoadedWidth(renamed), i + 1);
    }
    EXPECT_EQ(ReadFile(InFolder("taken.png")), "already here");
    // The last entry renames and stays; the picture keeps its old name.
    EXPECT_EQ(form.FFileIndex, 8);
    EXPECT_EQ(ShownWidth(), 9);
    EXPECT_EQ(form.CurrentFileName(), InFolder("p8.jpg"));
    // Only the rename onto a taken name failed, and it said so.
    EXPECT_EQ(FDialogs.Errors(), QStringList{FormatErrorMessage(CannotRenameFileMessage(
                                     InFolder("p7.jpg"), InFolder("taken.png"), EEXIST))});
}

TEST_F(FileActionCommands, SaveAndDelNextAskFirstWhenTheEntryIsNotThePictureShown) {
    enum class TAction { Save, Delete };
    enum class TShown { OpenedElsewhere, StoppedShow, TheEntry, TheEntryOtherwiseSpelt };
    const struct {
        const char* Name;
        TAction Action;
        TShown Shown;
        bool Confirm;                // "Delete Confirm"
        std::optional<bool> Answer;  // nothing: no question may come
    } cases[] = {
        {"save over an entry, a file from elsewhere shown, no", TAction::Save,
         TShown::OpenedElsewhere, true, false},
        {"save over an entry, a file from elsewhere shown, yes", TAction::Save,
         TShown::OpenedElsewhere, true, true},
        {"save after a stopped show, no", TAction::Save, TShown::StoppedShow, true, false},
        {"save the entry shown", TAction::Save, TShown::TheEntry, true, std::nullopt},
        {"save the entry shown, named otherwise", TAction::Save, TShown::TheEntryOtherwiseSpelt,
         true, std::nullopt},
        {"delete unconfirmed, a file from elsewhere shown, no", TAction::Delete,
         TShown::OpenedElsewhere, false, false},
        {"delete unconfirmed after a stopped show, yes", TAction::Delete, TShown::StoppedShow,
         false, true},
        {"delete unconfirmed, the entry shown", TAction::Delete, TShown::TheEntry, false,
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TKelvoImageForm& form = StartWithTools(c.Confirm);
        StartOn(form, {"a.jpg", "b.jpg", "c.jpg"});
        switch (c.Shown) {
            case TShown::OpenedElsewhere: {
                FDialogs.AnswerFile(MakePicture(PathOf("opened.bmp"), 7));
                form.OpenButton->trigger();
                break;
            }
            case TShown::StoppedShow:
                // The show has put a up and moved the index on to b when Escape stops it.
                form.FMoviePlaying = true;
                TickOf(form);
                QTest::keyClick(&form, Qt::Key_Escape);
                break;
            case TShown::TheEntry:
                break;
            case TShown::TheEntryOtherwiseSpelt:
                form.LoadImageFile(FFolder + QStringLiteral("/../sort/./a.jpg"));
                break;
        }
        const int index = form.FFileIndex;
        const QString entry = form.FFileList[index];
        const QByteArray before = *ReadFile(entry);
        const int shown = ShownWidth();
        if (c.Answer) {
            if (*c.Answer)
                FDialogs.AnswerYes();
            else
                FDialogs.AnswerNo();
        }
        const qsizetype questions = FDialogs.Prompts().size();
        (c.Action == TAction::Save ? form.SaveNextSB : form.DelNextSB)->click();

        if (c.Answer) {
            ASSERT_EQ(FDialogs.Prompts().size(), questions + 1);
            EXPECT_EQ(FDialogs.Prompts().last(), c.Action == TAction::Save
                                                     ? ReplaceUnseenQuestion(entry)
                                                     : DeleteUnseenQuestion(entry));
        } else {
            EXPECT_EQ(FDialogs.Prompts().size(), questions);
        }
        const bool acted = !c.Answer || *c.Answer;
        if (!acted) {
            EXPECT_EQ(ReadFile(entry), before) << "No does nothing";
            EXPECT_EQ(form.FFileIndex, index);
            EXPECT_EQ(ShownWidth(), shown);
        } else {
            if (c.Action == TAction::Save) {
                EXPECT_EQ(LoadedWidth(entry), shown);
            } else {
                EXPECT_FALSE(QFile::exists(entry));
            }
            EXPECT_EQ(form.FFileIndex, index + 1);
            EXPECT_EQ(ShownWidth(), index + 2);
        }
        EXPECT_TRUE(FDialogs.Errors().isEmpty()) << FDialogs.Errors().join('\n').toStdString();
        QDir(FFolder).removeRecursively();
        QFile::remove(PathOf("opened.bmp"));
    }
}

TEST_F(FileActionCommands, SaveNextOverAGoneEntryAsksToSaveUnderItsName) {
    TKelvoImageForm& form = StartWithTools();
    StartOn(form, {"a.jpg", "b.jpg", "c.jpg"});
    form.NextSB->click();
    ASSERT_TRUE(QFile::remove(InFolder("b.jpg")));
    form.PriorSB->click();  // a on screen, b next
    form.FFileIndex = 1;
    FDialogs.AnswerYes();
    form.SaveNextSB->click();
    EXPECT_EQ(FDialogs.Prompts().last(), QStringLiteral("Save the picture shown as \"") +
                                             InFolder("b.jpg") + QStringLiteral("\"?"));
    EXPECT_EQ(LoadedWidth(InFolder("b.jpg")), 1);
    EXPECT_EQ(form.FFileIndex, 2);
}

TEST_F(FileActionCommands, SaveNextThatWritesNothingSaysWhyAndStays) {
    TKelvoImageForm& form = StartWithTools();
    StartOn(form, {"a.jpg", "b.jpg.jpeg", "c.jpg"});
    form.NextSB->click();
    const QByteArray before = *ReadFile(InFolder("b.jpg.jpeg"));
    Bitmap().SetSize(6, 6);
    Bitmap().Clear(0xFF00FF00u);
    form.SaveNextSB->click();
    EXPECT_EQ(FDialogs.Errors(),
              QStringList{FormatErrorMessage(NoSaveTypeMessage(InFolder("b.jpg.jpeg")))});
    EXPECT_EQ(ReadFile(InFolder("b.jpg.jpeg")), before);
    // The edits are still on screen.
    EXPECT_EQ(form.FFileIndex, 1);
    EXPECT_EQ(ShownWidth(), 6);
}

TEST_F(FileActionCommands, FailedSaveIsReportedKeepsTheTargetAndDoesNotMove) {
    TKelvoImageForm& form = StartWithTools();
    StartOn(form, {"a.jpg", "b.jpg"});
    // An entry whose name now belongs to a folder: the write cannot replace it.
    const QString blocked = MakeFolder(QStringLiteral("sort/blocked.jpg"));
    ASSERT_TRUE(browse_test::WriteFile(blocked + QStringLiteral("/inside.txt"), "keep"));
    form.FFileList[0] = blocked;
    FDialogs.AnswerYes();  // it is not the picture shown
    form.SaveNextSB->click();
    EXPECT_EQ(FDialogs.Errors().size(), 1);
    EXPECT_EQ(form.FFileIndex, 0);
    EXPECT_EQ(ReadFile(blocked + QStringLiteral("/inside.txt")), "keep");
    EXPECT_EQ(ShownWidth(), 1);
}

TEST_F(FileActionCommands, FailedDeletesAreReportedAndDelNextStillStepsOn) {
    TKelvoImageForm& form = StartWithTools(false);
    StartOn(form, {"a.jpg", "b.jpg", "c.jpg"});
    // a's file disappears behind the program's back while it is on screen.
    ASSERT_TRUE(QFile::remove(InFolder("a.jpg")));
    form.NameSB->click();
    form.DelNextSB->click();
    const QString expected = FormatErrorMessage(CannotDeleteFileMessage(InFolder("a.jpg"), ENOENT));
    EXPECT_EQ(FDialogs.Errors(), QStringList({expected, expected}));
    EXPECT_EQ(form.FFileIndex, 1);
    EXPECT_EQ(ShownWidth(), 2);
}

TEST_F(FileActionCommands, StepOnCommandsAtTheLastEntry) {
    TKelvoImageForm& form = StartWithTools(false);
    StartOn(form, {"a.jpg", "b.jpg"});
    form.NextSB->click();
    ASSERT_FALSE(form.DelNextSB->isEnabled());
    ASSERT_FALSE(form.SaveNextSB->isEnabled());
    // The operations themselves, as a show or a failed load may reach them: they act on the
    // last entry and leave the index one past it without loading anything.
    form.DeleteandNext1Click();
    EXPECT_FALSE(QFile::exists(InFolder("b.jpg")));
    EXPECT_EQ(form.FFileIndex, 2);
    EXPECT_EQ(ShownWidth(), 2);
    // With no current entry every step-on command does nothing.
    const QStringList entries = form.FFileList;
    form.DeleteandNext1Click();
    form.SaveandNext1Click();
    form.RenameAndNextSBClick();
    EXPECT_EQ(form.FFileIndex, 2);
    EXPECT_EQ(form.FFileList, entries);
    EXPECT_TRUE(QFile::exists(InFolder("a.jpg")));
    EXPECT_TRUE(FDialogs.Shown().size() == 1);  // the chooser only
}

}  // namespace
