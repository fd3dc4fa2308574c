// README.md and the viewer's manual page against the program: every caption they quote is one
// the window shows, and every key of the README's key table does what the table says.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QFile>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "app/ui/ImageHelpForm.h"
#include "app/ui/MenuTable.h"
#include "browse/ui/DirSelForm.h"
#include "hotspot/ui/BrennForm.h"
#include "support/ui/MainWindowFixture.h"
#include "tone/ui/GraphForm.h"
#include "tone/ui/TrackBarForms.h"
#include "transform/ui/RotationTrackBarForm.h"

namespace {

QString ReadSourceFile(const QString& relative) {
    QFile file(QStringLiteral(KELVO_DATA_DIR "/../") + relative);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << relative.toStdString();
    return QString::fromUtf8(file.readAll());
}

// The README's prose: fenced blocks and `code` spans hold commands, not captions.
QString ReadmeProse() {
    QString text = ReadSourceFile(QStringLiteral("README.md"));
    text.remove(QRegularExpression(QStringLiteral("```.*?```"),
                                   QRegularExpression::DotMatchesEverythingOption));
    text.remove(QRegularExpression(QStringLiteral("`[^`\n]*`")));
    return text;
}

QStringList Matches(const QString& text, const QString& pattern) {
    QStringList found;
    auto it = QRegularExpression(pattern).globalMatch(text);
    while (it.hasNext())
        found.append(it.next().captured(1));
    return found;
}

// The key names of the README's "## Keys" table, as its first column writes them.
QStringList ReadmeKeys() {
    const QString readme = ReadSourceFile(QStringLiteral("README.md"));
    const qsizetype start = readme.indexOf(QStringLiteral("\n## Keys\n"));
    if (start < 0) return {};
    const qsizetype end = readme.indexOf(QStringLiteral("\n## "), start + 1);
    QStringList keys;
    for (const QString& line : readme.mid(start, end - start).split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral("| `")))
            keys += Matches(line.section(QLatin1Char('|'), 1, 1), QStringLiteral("`([^`]+)`"));
    return keys;
}

}  // namespace

class Documentation : public MainWindowFixture {
  protected:
    TKelvoImageForm& StartQuietly(const QByteArray& settings = {}) {
        MarkRegistered(settings);
        return Start();
    }

    // The captions of the menus, the toolbar and every window, as designed and as shown.
    QSet<QString> ProgramCaptions() {
        QSet<QString> captions;
        for (const TMenuTable* table : MenuBarTables()) {
            if (table->Caption) captions.insert(QString::fromUtf8(table->Caption));
            for (const TMenuRow& row : table->Rows)
                captions.insert(QString::fromUtf8(row.Caption));
        }
        for (const QAbstractButton* button : Form().findChildren<QAbstractButton*>())
            captions.insert(button->text());
        // The other windows are made on their first use: made here, so that they are among
        // the windows.
        TKelvoImageForm& form = Form();
        for (const QWidget* window : {static_cast<const QWidget*>(form.GraphForm.get()),
                                      static_cast<const QWidget*>(form.ImageHelpForm.get()),
                                      static_cast<const QWidget*>(form.DirSelForm.get()),
                                      static_cast<const QWidget*>(form.ContrastTrackBarForm.get()),
                                      static_cast<const QWidget*>(form.BWTrackBarForm.get()),
                                      static_cast<const QWidget*>(form.RotationTrackBarForm.get()),
                                      static_cast<const QWidget*>(form.BrightnessTrackBarForm.get()),
                                      static_cast<const QWidget*>(form.BrennForm.get())})
            EXPECT_NE(window, nullptr);
        for (const QWidget* window : QApplication::topLevelWidgets())
            captions.insert(window->windowTitle());
        captions.remove(QString());
        return captions;
    }

    static bool IsCaption(const QString& quoted, const QSet<QString>& captions) {
        for (const QString& caption : captions)
            if (quoted == caption || quoted == QString(caption).remove(QLatin1Char('&')))
                return true;
        return false;
    }
};

TEST_F(Documentation, EveryQuotedCaptionIsOneTheProgramShows) {
    StartQuietly();
    const QSet<QString> captions = ProgramCaptions();
    ASSERT_TRUE(captions.contains(QStringLiteral("Start by Name"))) << "the toolbar is missing";
    const struct {
        const char* document;
        QStringList quoted;
    } documents[] = {
        {"README.md", Matches(ReadmeProse(), QStringLiteral("\"([^\"\n]+)\""))},
        // The page writes an apostrophe as \(aq, which man shows as a plain one.
        {"docs/man/kelvoimage.1",
         Matches(ReadSourceFile(QStringLiteral("docs/man/kelvoimage.1"))
                     .replace(QStringLiteral(R"(\(aq)"), QStringLiteral("'")),
                 QStringLiteral(R"(\\\(dq(.+?)\\\(dq)"))},
    };
    for (const auto& d : documents) {
        SCOPED_TRACE(d.document);
        EXPECT_GT(d.quoted.size(), 40) << "the document quotes the menus throughout";
        for (const QString& quoted : d.quoted)
            EXPECT_TRUE(IsCaption(quoted, captions))
                << '"' << quoted.toStdString() << "\" is no caption of the program";
    }
}

TEST_F(Documentation, EveryKeyOfTheReadmeDoesWhatItSays) {
    const QStringList keys = ReadmeKeys();
    EXPECT_EQ(keys.size(), 23) << "four arrows, Enter, Space, Escape and the culling keys";
    for (const QString& key : keys) {
        SCOPED_TRACE(key.toStdString());
        if (key == QLatin1String("Up") || key == QLatin1String("Down") ||
            key == QLatin1String("Left") || key == QLatin1String("Right")) {
            // A large picture at 1:1 in a small window, moved in from the corner first so that
            // each key has room both ways.
            TKelvoImageForm& form = StartQuietly("[Image]\nOneToOne=Yes\n[Pan]\nSpeed=30\n");
            form.OneToOne1Click();
            Bitmap().SetSize(1000, 1000);
            Bitmap().Clear(0xFF808080u);
            form.SetClientHeight(300);
            form.SetClientWidth(400);
            const bool vertical = key == QLatin1String("Up") || key == QLatin1String("Down");
            QScrollBar* along = vertical ? form.VertScrollBar : form.HorzScrollBar;
            QScrollBar* across = vertical ? form.HorzScrollBar : form.VertScrollBar;
            for (int i = 0; i < 2; ++i)
                QTest::keyClick(&form, vertical ? Qt::Key_Down : Qt::Key_Right);
            ASSERT_EQ(along->value(), 60);
            const Qt::Key code = key == QLatin1String("Up")     ? Qt::Key_Up
                                 : key == QLatin1String("Down") ? Qt::Key_Down
                                 : key == QLatin1String("Left") ? Qt::Key_Left
                                                                : Qt::Key_Right;
            const int step = code == Qt::Key_Up || code == Qt::Key_Left ? -30 : 30;
            QTest::keyClick(&form, code);
            EXPECT_EQ(along->value(), 60 + step);
            EXPECT_EQ(across->value(), 0);
        } else if (key == QLatin1String("Enter")) {
            TKelvoImageForm& form = StartQuietly();
            form.Fit1Click();
            QTest::keyClick(&form, Qt::Key_Return);
            EXPECT_TRUE(form.FOneToOne) << "Fit to 1:1";
            EXPECT_EQ(Setting("Image", "OneToOne"), QStringLiteral("Yes"));
            QTest::keyClick(&form, Qt::Key_Enter);  // the keypad's Enter alike
            EXPECT_FALSE(form.FOneToOne) << "1:1 to Fit";
            EXPECT_EQ(Setting("Image", "OneToOne"), QStringLiteral("No"));
        } else if (key == QLatin1String("Space")) {
            TKelvoImageForm& form = StartQuietly();
            QSignalSpy next(form.NextSB, &QToolButton::clicked);
            form.UpdateCaption();  // no folder: no next picture
            QTest::keyClick(&form, Qt::Key_Space);
            EXPECT_EQ(next.count(), 0);
            form.FFileList = {PathOf(QStringLiteral("a.jpg")), PathOf(QStringLiteral("b.jpg"))};
            form.UpdateCaption();
            QTest::keyClick(&form, Qt::Key_Space);
            EXPECT_EQ(next.count(), 1);
        } else if (key == QLatin1String("Escape")) {
            TKelvoImageForm& form = StartQuietly();
            form.FMoviePlaying = true;
            QTest::keyClick(&form, Qt::Key_Escape);
            EXPECT_FALSE(form.FMoviePlaying);
        } else if (key == QLatin1String("Ctrl+S")) {
            TKelvoImageForm& form = StartQuietly();
            EXPECT_EQ(form.Save1->shortcut(), QKeySequence(key));
        } else if (const QKeySequence sequence(QString(key).replace(QLatin1String("Page "),
                                                                    QLatin1String("Pg")));
                   sequence.count() == 1 && sequence[0].key() != Qt::Key_unknown) {
            // The culling keys (CullingKeysTest follows each through): on the middle one of three
            // listed pictures every one of them is taken, any question answered No.
            TKelvoImageForm& form = StartQuietly("[Confirmations]\nDelete=Y\n");
            for (const char* name : {"a.png", "b.png", "c.png"})
                MakeFilledImage(QLatin1String(name), 2, 2, 0xFF00FF00u);
            form.FFileList = {PathOf("a.png"), PathOf("b.png"), PathOf("c.png")};
            form.FFileIndex = 1;
            form.LoadImageFile(PathOf("b.png"));
            if (sequence[0].key() == Qt::Key_Delete) FDialogs.AnswerNo();
            if (sequence[0].key() == Qt::Key_F2) FDialogs.CancelText();
            bool handled = false;
            form.FormKeyDown(sequence[0].key(), sequence[0].keyboardModifiers(), handled);
            EXPECT_TRUE(handled);
        } else {
            ADD_FAILURE() << "the README documents a key this test does not know";
        }
    }
}
