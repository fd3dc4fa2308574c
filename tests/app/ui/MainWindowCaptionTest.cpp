// Caption, position label, navigation buttons, stored check marks and keys of the main window.

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "support/ui/MainWindowFixture.h"

namespace {

class MainWindowCaption : public MainWindowFixture {
  protected:
    TKelvoImageForm& StartQuietly(const QByteArray& settings = {}) {
        MarkRegistered(settings);
        TKelvoImageForm& form = Start();
        form.OpenDialog1.FileName = QStringLiteral("/photos/a.jpg");
        return form;
    }
};

TEST_F(MainWindowCaption, ClickModeSuffixFollowsTheFirstArmedFlag) {
    TKelvoImageForm& form = StartQuietly();
    struct Case {
        const char* name;
        std::vector<bool TKelvoImageForm::*> armed;
        QString suffix;
    };
    const Case cases[] = {
        {"none", {}, QString()},
        {"white", {&TKelvoImageForm::FMakeWhiteMode}, QStringLiteral(" [Click on White]")},
        {"black", {&TKelvoImageForm::FMakeBlackMode}, QStringLiteral(" [Click on Black]")},
        {"black/white first click",
         {&TKelvoImageForm::FBlackWhiteStep1},
         QStringLiteral(" [Click on Black]")},
        {"black/white second click",
         {&TKelvoImageForm::FBlackWhiteStep2},
         QStringLiteral(" [Click on White]")},
        {"grey", {&TKelvoImageForm::FMakeGreyMode}, QStringLiteral(" [Click on Grey]")},
        {"subtract", {&TKelvoImageForm::FSubtractMode}, QStringLiteral(" [Click on Subtract]")},
        {"colour cast",
         {&TKelvoImageForm::FRemoveCastMode},
         QStringLiteral(" [Click to Remove Color Cast]")},
        {"white wins over subtract",
         {&TKelvoImageForm::FSubtractMode, &TKelvoImageForm::FMakeWhiteMode},
         QStringLiteral(" [Click on White]")},
        {"second step wins over the first",
         {&TKelvoImageForm::FBlackWhiteStep1, &TKelvoImageForm::FBlackWhiteStep2},
         QStringLiteral(" [Click on White]")},
    };
    const std::vector<bool TKelvoImageForm::*> all = {
        &TKelvoImageForm::FMakeWhiteMode,   &TKelvoImageForm::FMakeBlackMode,
        &TKelvoImageForm::FBlackWhiteStep1, &TKelvoImageForm::FBlackWhiteStep2,
        &TKelvoImageForm::FMakeGreyMode,    &TKelvoImageForm::FSubtractMode,
        &TKelvoImageForm::FRemoveCastMode};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (auto flag : all)
            form.*flag = false;
        for (auto flag : c.armed)
            form.*flag = true;
        form.UpdateCaption();
        EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage: /photos/a.jpg") + c.suffix);
        EXPECT_EQ(form.windowTitle(), form.Caption());
    }
}

TEST_F(MainWindowCaption, PixelTextAndLineLength) {
    TKelvoImageForm& form = StartQuietly();
    struct Case {
        const char* name;
        QString pixelText;
        int lineLength;
        bool showLineLengths;
        QString tail;
    };
    const Case cases[] = {
        {"pixel text after two spaces", QStringLiteral("(10,20) R128"), 0, true,
         QStringLiteral("  (10,20) R128")},
        {"blank pixel text is left out", QStringLiteral(" \r\n "), 0, true, QString()},
        {"line length", QString(), 37, true, QStringLiteral("  Len=37")},
        {"line length switched off", QString(), 37, false, QString()},
        {"both, pixel text first", QStringLiteral("p"), 5, true, QStringLiteral("  p  Len=5")},
        {"no measurement", QString(), 0, true, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.FPixelText = c.pixelText;
        form.FLineLength = c.lineLength;
        form.ShowLineLengths1->setChecked(c.showLineLengths);
        form.UpdateCaption();
        EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage: /photos/a.jpg") + c.tail);
    }
}

TEST_F(MainWindowCaption, AFileNameWithTheTitleMarkerIsShownAsItIs) {
    TKelvoImageForm& form = StartQuietly();
    form.OpenDialog1.FileName = QStringLiteral("/x/a[*].jpg");
    form.UpdateCaption();
    EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage: /x/a[*].jpg"));
    form.setWindowModified(false);
    EXPECT_TRUE(form.windowTitle().contains(QStringLiteral("[*][*]")));
}

TEST_F(MainWindowCaption, LabelAndNavigationButtonsFollowTheListPosition) {
    TKelvoImageForm& form = StartQuietly();
    struct Case {
        const char* name;
        int count;
        int index;
        QString label;
        bool next;  // also "Del + Next" and "Save + Next"
        bool rename;
        bool prior;
    };
    const Case cases[] = {
        {"first of five", 5, 0, QStringLiteral("<1/5>"), true, true, false},
        {"middle", 5, 2, QStringLiteral("<3/5>"), true, true, true},
        {"last of five", 5, 4, QString(), false, true, true},
        {"empty list", 0, 0, QString(), false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.FFileList.clear();
        for (int i = 0; i < c.count; ++i)
            form.FFileList.append(QStringLiteral("f%1.jpg").arg(i));
        form.FFileIndex = c.index;
        form.UpdateCaption();
        EXPECT_EQ(form.Label1->text(), c.label);
        EXPECT_EQ(form.NextSB->isEnabled(), c.next);
        EXPECT_EQ(form.DelNextSB->isEnabled(), c.next);
        EXPECT_EQ(form.SaveNextSB->isEnabled(), c.next);
        EXPECT_EQ(form.RenameAndNextSB->isEnabled(), c.rename);
        EXPECT_EQ(form.PriorSB->isEnabled(), c.prior);
    }
}

TEST_F(MainWindowCaption, SpaceClicksNextOnlyWhenItIsEnabled) {
    TKelvoImageForm& form = StartQuietly();
    QSignalSpy next(form.NextSB, &QToolButton::clicked);
    form.UpdateCaption();  // empty list: "Next" disabled
    QTest::keyClick(&form, Qt::Key_Space);
    EXPECT_EQ(next.count(), 0);
    form.FFileList = {QStringLiteral("a.jpg"), QStringLiteral("b.jpg")};
    form.UpdateCaption();
    QTest::keyClick(&form, Qt::Key_Space);
    EXPECT_EQ(next.count(), 1);
}

TEST_F(MainWindowCaption, EscapeStopsTheSlideshow) {
    TKelvoImageForm& form = StartQuietly();
    form.FMoviePlaying = true;
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.FMoviePlaying);
}

TEST_F(MainWindowCaption, StoredCheckMarksToggleAndWrite) {
    TKelvoImageForm& form = StartQuietly();
    struct Case {
        QAction* item;
        const char* section;
        const char* key;
    };
    const Case cases[] = {
        {form.DeleteConfirm1, "Confirmations", "Delete"},
        {form.SaveConfirm1, "Confirmations", "Save"},
        {form.ShowPixelValues1, "Confirmations", "ShowPixels"},
        {form.ShowLineLengths1, "Confirmations", "ShowLineLengths"},
        {form.ShowHistogram1, "Histogram", "Show"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        ASSERT_TRUE(c.item->isEnabled());
        ASSERT_TRUE(c.item->isChecked());
        c.item->trigger();
        EXPECT_FALSE(c.item->isChecked());
        EXPECT_EQ(Setting(c.section, c.key), QStringLiteral("N"));
        c.item->trigger();
        EXPECT_TRUE(c.item->isChecked());
        EXPECT_EQ(Setting(c.section, c.key), QStringLiteral("Y"));
    }
}

TEST_F(MainWindowCaption, PellsToolsShowsTheToolbarWritesAndRefits) {
    TKelvoImageForm& form = StartQuietly();
    ASSERT_FALSE(form.Panel1->isVisible());
    form.PellsTools1->trigger();
    EXPECT_TRUE(form.Panel1->isVisible());
    EXPECT_EQ(form.Panel1->height(), 30);
    EXPECT_EQ(form.Image->y(), 30);
    EXPECT_EQ(Setting("Pelly", "Tools"), QStringLiteral("Yes"));
    EXPECT_EQ(form.ClientWidth(), 596);
    EXPECT_EQ(form.SaveNextSB->geometry(), QRect(519, 2, 69, 26));
    form.PellsTools1->trigger();
    EXPECT_FALSE(form.Panel1->isVisible());
    EXPECT_EQ(form.Image->y(), 0);
    EXPECT_EQ(Setting("Pelly", "Tools"), QStringLiteral("No"));
    EXPECT_EQ(form.ClientWidth(), 365);
}

TEST_F(MainWindowCaption, MenuBarHasEveryItemInOrder) {
    TKelvoImageForm& form = StartQuietly();
    QStringList bar;
    for (QAction* a : form.MainMenu1->actions())
        bar.append(a->text());
    EXPECT_EQ(bar, QStringList({"&Files", "X&2", "1&/2", "1/4", "1:1", "Fit", "Rot", "Bright",
                                "&Undo", "HSR", "?", "E&xit"}));
    const auto captions = [](QMenu* menu) {
        QStringList list;
        for (QAction* a : menu->actions())
            list.append(a->text());
        return list;
    };
    EXPECT_EQ(captions(form.Files1), QStringList({"&Open",
                                                  "&ReOpen",
                                                  "&Save",
                                                  "Save &As",
                                                  "Save As &Transparent GIF",
                                                  "Convert &To",
                                                  "Save As &Unique JPG",
                                                  "JPEG Quality (95)",
                                                  "Pan Speed (24)",
                                                  "&Paste",
                                                  "&Copy",
                                                  "Pell's Tools",
                                                  "Register File Types",
                                                  "Delete Confirm",
                                                  "Save Confirm",
                                                  "Show Pixel Values",
                                                  "Show Line Lengths",
                                                  "Auto Rotate",
                                                  "Date Taken Order",
                                                  "Movie",
                                                  "Movie Speed(ms) [100]",
                                                  "Extended Info",
                                                  "&Print an 8x10"}));
    EXPECT_EQ(captions(form.Rot1), QStringList({"CCW", "CW", "Flip", "Mirror", "Rotate"}));
    EXPECT_EQ(captions(form.Bright1),
              QStringList({"&Linear", "Contrast Stretch", "Brightness", "Contrast", "Make White",
                           "Make Black", "Make Black/White", "Make Grey", "Subtract",
                           "Remove Color Cast", "Remove Color Cast Again", "&HistoGram",
                           "Show Histogram", "Make Black and White", "Negative", "IsoBrightness 32",
                           "IsoBrightness 64", "IsoBrightness 128", "Washout"}));
    QStringList toolbar;
    for (QToolButton* b : {form.NameSB, form.AlphaSB, form.ChronoSB, form.PriorSB, form.NextSB,
                           form.DelNextSB, form.RenameAndNextSB, form.SaveNextSB})
        toolbar.append(b->text());
    EXPECT_EQ(toolbar, QStringList({"Del", "Start by Name", "Start by Date", "Prev", "Next",
                                    "Del + Next", "Rename + Next", "Save + Next"}));
}

TEST_F(MainWindowCaption, OpenLoadsTheChosenFileAndCancelChangesNothing) {
    TKelvoImageForm& form = StartQuietly();
    const QString picture = MakeFilledImage(QStringLiteral("pic.png"), 12, 8, qRgb(3, 4, 5));
    FDialogs.CancelFile();
    form.OpenButton->trigger();
    EXPECT_EQ(form.CurrentFileName(), QStringLiteral("/photos/a.jpg"));
    EXPECT_TRUE(Bitmap().Empty());

    FDialogs.AnswerFile(picture);
    form.OpenButton->trigger();
    ASSERT_FALSE(FDialogs.Shown().empty());
    const FileDialogRequest& request = FDialogs.Shown().back().File;
    EXPECT_EQ(request.FileName, QStringLiteral("/photos/a.jpg"));
    EXPECT_EQ(
        request.Filters,
        QStringList({"JPEGs|*.JPG", "GIFs|*.GIF", "BMPs|*.BMP", "PNGs|*.PNG", "TIFFs|*.TIF;*.TIFF",
                     "HEIC/AVIF|*.HEIC;*.HEIF;*.HIF;*.AVIF", "WebP|*.WEBP",
                     "Camera RAW|*.CR2;*.CR3;*.NEF;*.NRW;*.ARW;*.SR2;*.DNG;*.ORF;*.RW2;*.RAF;"
                     "*.PEF;*.SRW",
                     "All Image Files|*.JPG;*.JPEG;*.JPE;*.GIF;*.BMP;*.PNG;*.TIF;*.TIFF;*.HEIC;"
                     "*.HEIF;*.HIF;*.AVIF;*.WEBP;*.CR2;*.CR3;*.NEF;*.NRW;*.ARW;*.SR2;*.DNG;*.ORF;"
                     "*.RW2;*.RAF;*.PEF;*.SRW"}));
    EXPECT_EQ(request.FilterIndex, 1);
    EXPECT_EQ(form.CurrentFileName(), picture);
    EXPECT_EQ(Bitmap().Width(), 12);
    EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage: ") + picture);
}

TEST_F(MainWindowCaption, AFailedLoadEmptiesTheImageAndKeepsTheRest) {
    TKelvoImageForm& form = StartQuietly();
    const QString good = MakeFilledImage(QStringLiteral("good.png"), 10, 10, qRgb(1, 1, 1));
    form.LoadImageFile(good);
    form.BeginImageEdit();
    form.EnableButtons(true);
    ASSERT_FALSE(form.FUndoImage.Empty());
    const QSize size = form.size();
    // Bytes that are no picture under a JPEG name go to the JPEG decoder, which refuses them.
    {
        QFile fake(PathOf(QStringLiteral("fake.jpg")));
        ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
        fake.write("plain text, not a picture");
    }
    form.OpenDialog1.FileName = PathOf(QStringLiteral("fake.jpg"));
    form.ReOpenButton->trigger();
    ASSERT_EQ(FDialogs.Errors().size(), 1);
    EXPECT_TRUE(FDialogs.Errors().first().startsWith(QStringLiteral("JPEG error #")))
        << FDialogs.Errors().first().toStdString();
    EXPECT_TRUE(Bitmap().Empty());
    EXPECT_FALSE(form.FUndoImage.Empty());
    EXPECT_EQ(form.size(), size);
    EXPECT_EQ(form.Caption(), QStringLiteral("KelvoImage: ") + good);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowCaption, LoadingEmptiesTheSnapshot) {
    TKelvoImageForm& form = StartQuietly();
    const QString good = MakeFilledImage(QStringLiteral("good.bmp"), 10, 6, qRgb(1, 1, 1));
    form.LoadImageFile(good);
    form.BeginImageEdit();
    form.EnableButtons(true);
    form.FPanned = true;
    form.ReOpenButton->trigger();
    EXPECT_TRUE(form.FUndoImage.Empty());
    EXPECT_FALSE(form.FPanned);
    EXPECT_EQ(Bitmap().Width(), 10);
}

}  // namespace
