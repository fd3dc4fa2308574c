#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextList>
#include <cerrno>

#include "app/ui/ImageHelpForm.h"
#include "base/KelvoError.h"
#include "support/ui/ScriptedDialogs.h"

namespace {

const QString kHelpName = QStringLiteral("Kelvo Image Help.RTF");

void WriteFile(const QString& path, const QByteArray& contents) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(contents);
}

QString ShownText(const TImageHelpForm& form) {
    return form.RichEdit1->toPlainText();
}

// A folder standing in for the program's folder, with a help file of our own.
struct ProgramFolder {
    QTemporaryDir dir;
    QString Path() const { return dir.path() + QLatin1Char('/'); }
    QString HelpFile() const { return dir.filePath(kHelpName); }
    void WriteHelp(const char* text) const { WriteFile(HelpFile(), QByteArray(text)); }
};

}  // namespace

TEST(ImageHelpForm, LooksAsDesignedBeforeItIsOpened) {
    ScriptedDialogs dialogs;
    TImageHelpForm form(QStringLiteral("/nonexistent/"), dialogs);
    EXPECT_FALSE(form.isVisible()) << "created hidden";
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Kelvo Image Help"));
    EXPECT_EQ(form.size(), QSize(TImageHelpForm::DesignWidth, TImageHelpForm::DesignHeight));
    EXPECT_EQ(form.Button1->text(), QStringLiteral("&Close"));
    EXPECT_TRUE(form.RichEdit1->isReadOnly());
    EXPECT_EQ(form.RichEdit1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(ShownText(form), QStringLiteral("RichEdit")) << "the view's designed text";
    EXPECT_TRUE(dialogs.Shown().empty()) << "nothing is read before the window opens";
}

TEST(ImageHelpForm, ShowsTheRealHelpFileWithItsFormatting) {
    ScriptedDialogs dialogs;
    TImageHelpForm form(QStringLiteral(KELVO_DATA_DIR), dialogs);
    form.ShowHelp();
    ASSERT_TRUE(form.isVisible());
    EXPECT_TRUE(dialogs.Errors().isEmpty()) << dialogs.Log().join(u'\n').toStdString();

    const QString text = ShownText(form);
    EXPECT_TRUE(text.contains(QStringLiteral("Save As Unique JPG")));
    EXPECT_TRUE(text.contains(QStringLiteral("Remove Color Cast Again")));

    bool bold = false, italic = false, bulleted = false;
    for (QTextBlock block = form.RichEdit1->document()->begin(); block.isValid();
         block = block.next()) {
        if (block.textList() && block.textList()->format().style() == QTextListFormat::ListDisc)
            bulleted = true;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            bold = bold || it.fragment().charFormat().fontWeight() >= QFont::Bold;
            italic = italic || it.fragment().charFormat().fontItalic();
        }
    }
    EXPECT_TRUE(bold);
    EXPECT_TRUE(italic);
    EXPECT_TRUE(bulleted);
    EXPECT_EQ(form.focusWidget(), form.RichEdit1) << "the text takes the keyboard, for scrolling";
}

TEST(ImageHelpForm, FindsTheFileWithOrWithoutTheTrailingSeparator) {
    ProgramFolder folder;
    folder.WriteHelp("{\\rtf1 Found it\\par}");
    for (const QString& exeDir : {folder.Path(), folder.dir.path()}) {
        SCOPED_TRACE(exeDir.toStdString());
        ScriptedDialogs dialogs;
        TImageHelpForm form(exeDir, dialogs);
        EXPECT_EQ(form.HelpFileName(), folder.HelpFile());
        form.ShowHelp();
        EXPECT_EQ(ShownText(form), QStringLiteral("Found it"));
    }
}

// An installed program lives in <prefix>/bin with its help file in <prefix>/share/kelvoimage/.
TEST(ImageHelpForm, FindsTheInstalledHelpFileUnderThePrefixShareFolder) {
    QTemporaryDir prefix, elsewhere;
    const QString bin = prefix.filePath(QStringLiteral("bin"));
    const QString share = prefix.filePath(QStringLiteral("share/kelvoimage"));
    const QString settings = elsewhere.filePath(QStringLiteral("settings"));
    for (const QString& folder : {bin, share, settings})
        ASSERT_TRUE(QDir().mkpath(folder));
    const QString installed = share + QLatin1Char('/') + kHelpName;
    WriteFile(installed, "{\\rtf1 Installed\\par}");

    const struct {
        const char* name;
        QString exeDir, executableDir, expected;
    } cases[] = {
        {"settings beside the program", bin + QLatin1Char('/'), bin, installed},
        {"settings folder moved elsewhere", settings, bin, installed},
        {"nowhere to be found", settings, settings, settings + QLatin1Char('/') + kHelpName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TImageHelpForm::LocateHelpFile(c.exeDir, c.executableDir), c.expected);
    }

    // A help file beside the program wins over the installed one.
    WriteFile(bin + QLatin1Char('/') + kHelpName, "{\\rtf1 Beside\\par}");
    EXPECT_EQ(TImageHelpForm::LocateHelpFile(bin, bin), bin + QLatin1Char('/') + kHelpName);

    ScriptedDialogs dialogs;
    TImageHelpForm form(settings, dialogs);
    EXPECT_EQ(form.HelpFileName(), settings + QLatin1Char('/') + kHelpName)
        << "the test program's own folder has no share/kelvoimage beside it";
}

TEST(ImageHelpForm, ReadsTheFileAgainEachTimeItOpens) {
    ProgramFolder folder;
    folder.WriteHelp("{\\rtf1 First edition\\par}");
    ScriptedDialogs dialogs;
    TImageHelpForm form(folder.Path(), dialogs);
    form.ShowHelp();
    EXPECT_EQ(ShownText(form), QStringLiteral("First edition"));

    folder.WriteHelp("{\\rtf1 Second edition\\par}");
    form.ShowHelp();  // already open: brought to the front only
    EXPECT_EQ(ShownText(form), QStringLiteral("First edition"));

    QTest::mouseClick(form.Button1, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible()) << "Close hides the window";
    form.ShowHelp();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(ShownText(form), QStringLiteral("Second edition"));
}

TEST(ImageHelpForm, OpensCentredOnTheScreen) {
    ProgramFolder folder;
    folder.WriteHelp("{\\rtf1 x}");
    ScriptedDialogs dialogs;
    TImageHelpForm form(folder.Path(), dialogs);
    form.move(0, 0);
    form.ShowHelp();
    const QPoint centre = form.screen()->availableGeometry().center();
    EXPECT_LE((form.frameGeometry().center() - centre).manhattanLength(), 1)
        << "window " << form.geometry().x() << "," << form.geometry().y() << " " << form.width()
        << "x" << form.height() << " screen centre " << centre.x() << "," << centre.y();
}

TEST(ImageHelpForm, AFileThatCannotBeReadIsReportedAndTheWindowOpensAnyway) {
    const struct {
        const char* name;
        bool makeFolder;  // a folder where the file should be
        int error;
    } cases[] = {{"missing", false, ENOENT}, {"a folder", true, EISDIR}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramFolder folder;
        if (c.makeFolder) {
            ASSERT_TRUE(QDir(folder.dir.path()).mkdir(kHelpName));
        }
        ScriptedDialogs dialogs;
        TImageHelpForm form(folder.Path(), dialogs);
        form.ShowHelp();
        EXPECT_TRUE(form.isVisible());
        const QString message = CannotOpenFileMessage(folder.HelpFile(), c.error);
        EXPECT_TRUE(message.startsWith(QStringLiteral("Cannot open file \"") + folder.HelpFile() +
                                       QStringLiteral("\". ")));
        EXPECT_EQ(dialogs.Errors(), QStringList{FormatErrorMessage(message)});
        EXPECT_EQ(ShownText(form), QStringLiteral("RichEdit")) << "the placeholder stays";
    }
}

TEST(ImageHelpForm, AFileThatVanishesLeavesTheLastTextShown) {
    ProgramFolder folder;
    folder.WriteHelp("{\\rtf1 Still here\\par}");
    ScriptedDialogs dialogs;
    TImageHelpForm form(folder.Path(), dialogs);
    form.ShowHelp();
    form.Button1->click();
    ASSERT_TRUE(QFile::remove(folder.HelpFile()));
    form.ShowHelp();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(dialogs.Errors().size(), 1);
    EXPECT_EQ(ShownText(form), QStringLiteral("Still here"));
}
