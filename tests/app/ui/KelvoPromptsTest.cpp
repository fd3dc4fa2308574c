// The "Select One" dialog driven directly, and the prompt functions through the scripted seam.

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <ostream>

#include "app/ui/CommandDispatch.h"
#include "app/ui/KelvoPrompts.h"
#include "app/ui/PickStrToIntForm.h"
#include "base/IniFile.h"
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

// A dialog set up and shown without a nested event loop, so keys can be sent to it.
std::unique_ptr<TPickStrToIntForm> ShowForm(const QString& prompt, const QStringList& captions) {
    auto form = std::make_unique<TPickStrToIntForm>();
    form->Setup(prompt, captions, 0);
    form->show();
    return form;
}

QList<QPushButton*> Buttons(TPickStrToIntForm& form) {
    return {form.Button1, form.Button2, form.Button3, form.Button4, form.Button5,
            form.Button6, form.Button7, form.Button8, form.Button9};
}

}  // namespace

TEST(PickStrToIntForm, OneCaptionAndShortPromptGiveTheNarrowestDialog) {
    auto form = ShowForm("Go?", {"OK"});
    EXPECT_EQ(form->windowTitle(), "Select One");
    EXPECT_EQ(form->width(), 190);
    EXPECT_EQ(form->Button1->x(), 57);
    EXPECT_EQ(form->Button1->width(), 75);
    EXPECT_EQ(form->Button1->height(), 25);
    EXPECT_EQ(form->Label1->pos(), QPoint(20, 8));
    const int labelBottom = 8 + form->Label1->height();
    EXPECT_EQ(form->Button1->y(), labelBottom + 16);
    EXPECT_EQ(form->height(), labelBottom + 25 + 52);
    for (QPushButton* unused : Buttons(*form).mid(1))
        EXPECT_TRUE(unused->isHidden());
    // A fixed border: the window cannot be resized.
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_TRUE(form->windowFlags() & Qt::WindowCloseButtonHint);
}

TEST(PickStrToIntForm, ButtonRowsArePlacedByCount) {
    struct Case {
        QStringList Captions;
        int RowWidth;
    };
    const Case cases[] = {
        {{"A", "B"}, 195},
        {{"A", "B", "C"}, 295},
        {{"1", "2", "3", "4", "5", "6", "7", "8", "9"}, 895},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Captions.join(",").toStdString());
        auto form = ShowForm("?", c.Captions);
        EXPECT_EQ(form->width(), c.RowWidth);
        const auto buttons = Buttons(*form);
        for (int i = 0; i < 9; ++i) {
            if (i < c.Captions.size()) {
                EXPECT_FALSE(buttons[i]->isHidden());
                EXPECT_EQ(buttons[i]->text(), c.Captions[i]);
                EXPECT_EQ(buttons[i]->x(), 10 + i * 100);
                EXPECT_EQ(buttons[i]->width(), 50);
            } else {
                EXPECT_TRUE(buttons[i]->isHidden());
            }
        }
    }
}

TEST(PickStrToIntForm, LongAndMultiLinePromptsWidenAndHeightenTheDialog) {
    const QString longLine = "This prompt is a good deal wider than the row of two buttons below";
    auto oneLine = ShowForm(longLine, {"A", "B"});
    const int expectedWidth = QFontMetrics(oneLine->font()).horizontalAdvance(longLine) + 40;
    ASSERT_GT(expectedWidth, 195);
    EXPECT_EQ(oneLine->width(), expectedWidth);
    // The row is centred in the wider window.
    EXPECT_EQ(oneLine->Button1->x(), (expectedWidth - 195) / 2 + 10);
    EXPECT_EQ(oneLine->Button2->x(), (expectedWidth - 195) / 2 + 110);

    // The second line is shorter: the widest line sets the width, CR LF splits the label.
    auto twoLines = ShowForm(longLine + "\r\nshort", {"A", "B"});
    EXPECT_EQ(twoLines->width(), expectedWidth);
    EXPECT_GT(twoLines->Label1->height(), oneLine->Label1->height());
    EXPECT_EQ(twoLines->height() - oneLine->height(),
              twoLines->Label1->height() - oneLine->Label1->height());
    EXPECT_FALSE(twoLines->Label1->text().contains('\r'));
}

TEST(PickStrToIntForm, IsCentredInTheWorkArea) {
    auto form = ShowForm("Centre", {"A", "B", "C"});
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(form->x(), area.left() + (area.width() - form->width()) / 2);
    EXPECT_EQ(form->y(), area.top() + (area.height() - form->height()) / 2);
}

TEST(PickStrToIntForm, KeysAndCloseBoxGiveTheDocumentedResults) {
    // Escape cancels whichever control has the focus.
    for (int focused = 0; focused < 3; ++focused) {
        SCOPED_TRACE(focused);
        auto form = ShowForm("Pick", {"&Yes", "&No", "&Maybe"});
        QWidget* target =
            focused == 0 ? static_cast<QWidget*>(form.get()) : Buttons(*form)[focused - 1];
        QTest::keyClick(target, Qt::Key_Escape);
        EXPECT_EQ(form->result(), QDialog::Rejected);
        EXPECT_EQ(form->ChosenIndex(), 0);
    }
    {
        auto form = ShowForm("Pick", {"&Yes", "&No"});
        form->close();
        EXPECT_EQ(form->result(), QDialog::Rejected);
        EXPECT_EQ(form->ChosenIndex(), 0);
    }
    // The first button has the focus, so Enter and Space choose the first caption.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        SCOPED_TRACE(int(key));
        auto form = ShowForm("Pick", {"&Yes", "&No"});
        ASSERT_EQ(form->focusWidget(), form->Button1);
        QTest::keyClick(form->Button1, key);
        EXPECT_EQ(form->result(), QDialog::Accepted);
        EXPECT_EQ(form->ChosenIndex(), 1);
        EXPECT_EQ(form->LastPressedCaption(), "&Yes");
    }
}

TEST(PickStrToIntForm, ClickingAButtonReportsItsPosition) {
    auto form = ShowForm("Pick", {"One", "Two", "Three"});
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    EXPECT_EQ(form->ChosenIndex(), 3);
    EXPECT_EQ(form->result(), QDialog::Accepted);
}

TEST(PickStrToIntForm, AmpersandMarksTheAccessKey) {
    auto form = ShowForm("Pick", {"&Yes", "&No"});
    EXPECT_EQ(form->Button1->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Y));
    EXPECT_EQ(form->Button2->shortcut(), QKeySequence(Qt::ALT | Qt::Key_N));
}

TEST(PickStrToIntForm, EqualCaptionsReportTheLastOfThem) {
    auto form = ShowForm("Pick", {"Same", "Other", "Same"});
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    EXPECT_EQ(form->ChosenIndex(), 3);
}

// A window of the class the topmost rule looks for (no such window is part of this program).
class TFerlinToolBarForm : public QWidget {
    Q_OBJECT
};

TEST(PickStrToIntForm, StaysOnTopOnlyWhileTheToolBarFormExists) {
    {
        auto form = ShowForm("Pick", {"A"});
        EXPECT_FALSE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    }
    for (bool byClassName : {false, true}) {
        SCOPED_TRACE(byClassName);
        std::unique_ptr<QWidget> toolBar;
        if (byClassName) {
            toolBar = std::make_unique<TFerlinToolBarForm>();
        } else {
            toolBar = std::make_unique<QWidget>();
            toolBar->setObjectName("TFerlinToolBarForm");
        }
        auto form = ShowForm("Pick", {"A"});
        EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(form->width(), 190);
    }
    // A child widget of that name is not a top-level window.
    QWidget parent;
    QWidget child(&parent);
    child.setObjectName("TFerlinToolBarForm");
    auto form = ShowForm("Pick", {"A"});
    EXPECT_FALSE(form->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST(PickStrToInt, MoreThanNineCaptionsFailBeforeAnyDialog) {
    ScriptedDialogs dialogs;
    const QStringList ten = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
    try {
        PickStrToInt("Too many", ten, 0);
        ADD_FAILURE() << "no error";
    } catch (const KelvoError& error) {
        EXPECT_EQ(error.Message(), "PickStrToInt: more than 9 buttons.");
    }
    EXPECT_TRUE(dialogs.Shown().empty());

    dialogs.AnswerChoice(9);
    EXPECT_EQ(PickStrToInt("Nine", ten.mid(0, 9), 0), 9);
    EXPECT_EQ(dialogs.Log(), QStringList{"Choice: Nine [1|2|3|4|5|6|7|8|9]"});
}

TEST(PickStrToInt, AskYesNoIsTrueOnlyForYes) {
    struct Case {
        int Answer;
        bool Expected;
    };
    for (const Case c : {Case{1, true}, Case{2, false}, Case{0, false}}) {
        SCOPED_TRACE(c.Answer);
        ScriptedDialogs dialogs;
        dialogs.AnswerChoice(c.Answer);
        EXPECT_EQ(AskYesNo("Really?"), c.Expected);
        ASSERT_EQ(dialogs.Shown().size(), 1u);
        EXPECT_EQ(dialogs.Shown()[0].Title, "Select One");
        EXPECT_EQ(dialogs.Shown()[0].Text, "Really?");
        EXPECT_EQ(dialogs.Shown()[0].Captions, (QStringList{"&Yes", "&No"}));
    }
}

TEST(PickStrToInt, AskTextPassesCaptionPromptAndDefault) {
    ScriptedDialogs dialogs;
    dialogs.AnswerText("  typed  ");
    dialogs.CancelText();
    EXPECT_EQ(AskText("Name", "Enter a name", "old"), "  typed  ");
    EXPECT_EQ(AskText("Name", "Enter a name", "old"), "old");
    ASSERT_EQ(dialogs.Shown().size(), 2u);
    EXPECT_EQ(dialogs.Shown()[0].Title, "Name");
    EXPECT_EQ(dialogs.Shown()[0].Text, "Enter a name");
    EXPECT_EQ(dialogs.Shown()[0].DefaultText, "old");
}

// ---- PromptIntegerSetting ----

namespace {

struct IntegerSettingCase {
    const char* Name;
    const TIntegerSettingPrompt* Setting;
    const char* Stored;       // value in the file before, nullptr for none
    const char* Answer;       // nullptr: Cancel
    const char* Message;      // plain message expected, nullptr for none
    const char* Error;        // error box expected, nullptr for none
    const char* StoredAfter;  // nullptr: the key stays as it was
    const char* CaptionAfter;
    std::optional<int> Result;
};

const QString OldCaption = "untouched";

}  // namespace

TEST(PromptIntegerSetting, AnswersAreValidatedStoredAndShown) {
    const IntegerSettingCase cases[] = {
        {"zero movie speed", &MovieSpeedSetting, nullptr, "0",
         "Value \"0\" is not > 0 and has been ignored", nullptr, nullptr, nullptr, std::nullopt},
        {"pan speed too high", &PanSpeedSetting, "24", "2000",
         "Value \"2000\" is not within [1..1000] and has been ignored", nullptr, nullptr, nullptr,
         std::nullopt},
        {"quality too high", &JpegQualitySetting, nullptr, "101",
         "Value \"101\" is not within [1..100] and has been ignored", nullptr, nullptr, nullptr,
         std::nullopt},
        {"leading zeros", &JpegQualitySetting, "80", "007", nullptr, nullptr, "7",
         "JPEG Quality (007)", 7},
        {"upper limit", &PanSpeedSetting, nullptr, "1000", nullptr, nullptr, "1000",
         "Pan Speed (1000)", 1000},
        {"large movie speed", &MovieSpeedSetting, nullptr, "2147483647", nullptr, nullptr,
         "2147483647", "Movie Speed(ms) [2147483647]", 2147483647},
        {"blank", &PanSpeedSetting, "30", "", nullptr, "'' is not a valid integer value.", nullptr,
         nullptr, std::nullopt},
        {"letters", &MovieSpeedSetting, nullptr, "abc",
         "Non integer value \"abc\" has been ignored", nullptr, nullptr, nullptr, std::nullopt},
        {"sign", &PanSpeedSetting, nullptr, "-5", "Non integer value \"-5\" has been ignored",
         nullptr, nullptr, nullptr, std::nullopt},
        {"beyond 32 bits", &MovieSpeedSetting, nullptr, "2147483648",
         "Non integer value \"2147483648\" has been ignored", nullptr, nullptr, nullptr,
         std::nullopt},
        {"cancel", &PanSpeedSetting, "50", nullptr, nullptr, nullptr, "50", "Pan Speed (50)", 50},
        {"cancel without a stored value", &MovieSpeedSetting, nullptr, nullptr, nullptr, nullptr,
         "100", "Movie Speed(ms) [100]", 100},
    };
    for (const IntegerSettingCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const QString fileName = folder.filePath("KelvoImage.Ini");
        const TIntegerSettingPrompt& setting = *c.Setting;
        if (c.Stored) TIniFile(fileName).WriteString(setting.Section, setting.Key, c.Stored);

        ScriptedDialogs dialogs;
        if (c.Answer)
            dialogs.AnswerText(c.Answer);
        else
            dialogs.CancelText();
        QAction menuItem(OldCaption);
        std::optional<int> result;
        RunCommand([&] { result = PromptIntegerSetting(fileName, setting, &menuItem); });

        ASSERT_FALSE(dialogs.Shown().empty());
        const auto& asked = dialogs.Shown()[0];
        EXPECT_EQ(asked.DialogKind, ScriptedDialogs::Kind::Text);
        EXPECT_EQ(asked.Title, setting.Caption);
        EXPECT_EQ(asked.Text, setting.Prompt);
        EXPECT_EQ(asked.DefaultText,
                  c.Stored ? QString(c.Stored) : QString::number(setting.Default));

        EXPECT_EQ(dialogs.Messages(), c.Message ? QStringList{c.Message} : QStringList{});
        EXPECT_EQ(dialogs.Errors(), c.Error ? QStringList{c.Error} : QStringList{});
        const QString storedAfter =
            TIniFile(fileName).ReadString(setting.Section, setting.Key, "<none>");
        const char* expectedStored = c.StoredAfter ? c.StoredAfter : c.Stored;
        EXPECT_EQ(storedAfter, expectedStored ? QString(expectedStored) : QString("<none>"));
        EXPECT_EQ(menuItem.text(), c.CaptionAfter ? QString(c.CaptionAfter) : OldCaption);
        EXPECT_EQ(result, c.Result);
    }
}

TEST(PromptIntegerSetting, TheThreeSettingsAreTheDocumentedOnes) {
    EXPECT_EQ(PanSpeedSetting.Caption, "Pan SPeed");
    EXPECT_EQ(PanSpeedSetting.Prompt, "Enter a number from 1 to 1000");
    EXPECT_EQ(JpegQualitySetting.Prompt, "Enter a number from 1 to 100");
    EXPECT_EQ(MovieSpeedSetting.Prompt, "Enter a number > 0");
    EXPECT_EQ(MovieSpeedSetting.Caption, "Movie Speed (ms)");
}

TEST(PromptIntegerSetting, AnUnwritableSettingsFileIsReportedAndTheCaptionKept) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // A folder where the file should be: it can be neither read nor replaced.
    const QString fileName = folder.filePath("KelvoImage.Ini");
    ASSERT_TRUE(QDir().mkdir(fileName));
    ScriptedDialogs dialogs;
    dialogs.AnswerText("60");
    QAction menuItem(OldCaption);
    EXPECT_FALSE(RunCommand([&] { PromptIntegerSetting(fileName, PanSpeedSetting, &menuItem); }));
    ASSERT_EQ(dialogs.Errors().size(), 1);
    EXPECT_TRUE(dialogs.Errors()[0].startsWith("Unable to write to "))
        << dialogs.Errors()[0].toStdString();
    EXPECT_EQ(menuItem.text(), OldCaption);
}

#include "KelvoPromptsTest.moc"
