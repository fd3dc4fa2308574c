// The hot-spot tool window: when "GO!" may run, the settings it keeps between uses, "HSR" on an
// open window, and a run through the main window with its messages and the focus they move.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <functional>

#include <jpeglib.h>
#include <jerror.h>

#include "hotspot/HotSpotRemoval.h"
#include "hotspot/ui/BrennForm.h"
#include "image/ImageLoader.h"
#include "support/RasterPatterns.h"
#include "support/ui/MainWindowFixture.h"

namespace {

// Runs something while a message box is "open", as a slideshow tick would behind a real one.
class MessageDialogs : public ScriptedDialogs {
  public:
    std::function<void()> WhileMessage;
    void ShowMessage(const QString& text) override {
        ScriptedDialogs::ShowMessage(text);
        if (WhileMessage) WhileMessage();
    }
};

class BrennFormTest : public MainWindowFixture {
  protected:
    // Starts the program and opens the tool with "HSR", the settings file holding `hsr`.
    TBrennForm& Open(const QByteArray& hsr = {}) {
        MarkRegistered(hsr.isEmpty() ? QByteArray() : "[HSR]\n" + hsr);
        Start();
        Form().HSR1->trigger();
        EXPECT_TRUE(Tool().isVisible());
        return Tool();
    }
    TBrennForm& Tool() { return *Form().BrennForm; }
    QString Black() { return MakeFilledImage(QStringLiteral("hot.JPG"), 12, 8, qRgb(0, 0, 0)); }
    QString White() {
        return MakeFilledImage(QStringLiteral("white.jpg"), 12, 8, qRgb(255, 255, 255));
    }
    QString Target() {
        return MakeImage(QStringLiteral("target.JPG"), 12, 8,
                         [](int x, int y) { return qRgb(20 * x, 30 * y, 100); });
    }
    // The target as the loader gives it: the result of a correction by factor 1 everywhere.
    TBitmap32 Decoded(const QString& path) {
        TBitmap32 image;
        LoadImageFromFile(path, image);
        return image;
    }
    // The pixels of a correction by factor 1 (ScaleColor clears alpha).
    static bool SameColours(const TBitmap32& a, const TBitmap32& b) {
        if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
        for (int y = 0; y < a.Height(); ++y)
            for (int x = 0; x < a.Width(); ++x)
                if ((a.GetPixel(x, y) & 0xFFFFFF) != (b.GetPixel(x, y) & 0xFFFFFF)) return false;
        return true;
    }
};

TEST_F(BrennFormTest, GoIsEnabledExactlyWhenBothListsHaveASelection) {
    const QString hot = Black();
    const QString target = Target();
    TBrennForm& tool = Open();
    tool.Dirs->SetDirectory(FDir.path());
    ASSERT_EQ(tool.File1->count(), 2) << "both endings match *.JPG, whatever the case";
    const struct {
        const char* name;
        bool hotSpot;
        bool image;
        bool enabled;
    } cases[] = {
        {"none", false, false, false},
        {"hot spot only", true, false, false},
        {"image only", false, true, false},
        {"both", true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tool.File1->SetDirectory(FDir.path());
        tool.File2->SetDirectory(FDir.path());
        tool.File1Change();
        if (c.hotSpot) tool.File1->SetFileName(hot);
        if (c.image) tool.File2->SetFileName(target);
        EXPECT_EQ(tool.GoButton->isEnabled(), c.enabled);
    }
    // Another folder empties both lists' selections.
    ASSERT_TRUE(QDir(FDir.path()).mkdir(QStringLiteral("sub")));
    tool.Dirs->SetDirectory(PathOf(QStringLiteral("sub")));
    EXPECT_EQ(tool.File1->Directory(), PathOf(QStringLiteral("sub")));
    EXPECT_TRUE(tool.File1->FileName().isEmpty());
    EXPECT_FALSE(tool.GoButton->isEnabled());
}

TEST_F(BrennFormTest, ChoosingADriveMovesTheFolderAndBothFileListsToItsRoot) {
    const QString hot = Black();
    TBrennForm& tool = Open();
    tool.Dirs->SetDirectory(FDir.path());
    const QString drive = tool.Drives->currentText();
    EXPECT_TRUE(FDir.path() == drive || drive == QDir::rootPath() ||
                FDir.path().startsWith(drive + QLatin1Char('/')))
        << drive.toStdString();
    tool.File1->SetFileName(hot);
    const int root = tool.Drives->findText(QDir::rootPath());
    ASSERT_GE(root, 0);
    tool.Drives->setCurrentIndex(root);
    tool.DrivesChange();
    EXPECT_EQ(tool.Dirs->Directory(), QDir::rootPath());
    EXPECT_EQ(tool.File1->Directory(), QDir::rootPath());
    EXPECT_EQ(tool.File2->Directory(), QDir::rootPath());
    EXPECT_TRUE(tool.File1->FileName().isEmpty());
}

TEST_F(BrennFormTest, ClosingWritesTheChoicesAsTheyStandAndShowingReadsThemBack) {
    const QString hot = Black();
    TBrennForm& tool = Open();
    tool.OffsetEdit->setText(QStringLiteral("abc"));
    tool.MultiplierEdit->setText(QStringLiteral("2.5"));
    tool.SetSmoothingIndex(3);
    tool.BarsCB->setChecked(true);
    tool.MaskCB->setChecked(false);
    tool.File1->SetFileName(hot);
    tool.DoneButton->click();
    EXPECT_FALSE(tool.isVisible());
    EXPECT_EQ(Setting("HSR", "Offset"), QStringLiteral("abc"));
    EXPECT_EQ(Setting("HSR", "Multiplier"), QStringLiteral("2.5"));
    EXPECT_EQ(Setting("HSR", "Smoothing"), QStringLiteral("3"));
    EXPECT_EQ(Setting("HSR", "Bars"), QStringLiteral("Yes"));
    EXPECT_EQ(Setting("HSR", "Mask"), QStringLiteral("No"));
    EXPECT_EQ(Setting("HSR", "HotSpot"), hot);
    EXPECT_EQ(Setting("HSR", "Image"), QString());

    tool.OffsetEdit->setText(QStringLiteral("0"));
    tool.BarsCB->setChecked(false);
    tool.SetSmoothingIndex(0);
    tool.File1->SetDirectory(FDir.path());
    Form().HSR1->trigger();
    EXPECT_EQ(tool.OffsetEdit->text(), QStringLiteral("abc"));
    EXPECT_EQ(tool.MultiplierEdit->text(), QStringLiteral("2.5"));
    EXPECT_EQ(tool.SmoothingIndex(), 3);
    EXPECT_TRUE(tool.BarsCB->isChecked());
    EXPECT_FALSE(tool.MaskCB->isChecked());
    EXPECT_EQ(tool.File1->FileName(), hot);
    EXPECT_TRUE(tool.File2->FileName().isEmpty());
    EXPECT_FALSE(tool.GoButton->isEnabled());
}

TEST_F(BrennFormTest, StoredValuesOutsideTheirFormsFallBackAsDesigned) {
    const struct {
        const char* name;
        QByteArray hsr;
        int smoothing;
        bool bars;
        bool mask;
    } cases[] = {
        {"lower-case yes counts as off", "Bars=yes\nMask=YES\n", 0, false, false},
        {"exact Yes", "Bars=Yes\nMask=Yes\n", 0, true, true},
        {"smoothing above the last item", "Smoothing=9\n", 4, false, false},
        {"negative smoothing selects none", "Smoothing=-1\n", -1, false, false},
        {"a saved file that is gone", "HotSpot=/nowhere/gone.JPG\n", 0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TBrennForm& tool = Open(c.hsr);
        EXPECT_EQ(tool.SmoothingIndex(), c.smoothing);
        EXPECT_EQ(tool.BarsCB->isChecked(), c.bars);
        EXPECT_EQ(tool.MaskCB->isChecked(), c.mask);
        EXPECT_TRUE(tool.File1->FileName().isEmpty());
        FForm.reset();
    }
}

// The sizes are above the smallest the texts need in the font in use (the layout keeps the
// window at least that large, whatever is stored).
TEST_F(BrennFormTest, TheWindowsPlaceAndSizeAreRestoredAndStored) {
    TBrennForm& tool = Open("Top=50\nLeft=60\nHeight=700\nWidth=1040\n");
    EXPECT_EQ(tool.pos(), QPoint(60, 50));
    EXPECT_EQ(tool.size(), QSize(1040, 700));
    tool.move(70, 80);
    tool.resize(1050, 690);
    tool.close();
    EXPECT_EQ(Setting("HSR", "Top"), QStringLiteral("80"));
    EXPECT_EQ(Setting("HSR", "Left"), QStringLiteral("70"));
    EXPECT_EQ(Setting("HSR", "Height"), QStringLiteral("690"));
    EXPECT_EQ(Setting("HSR", "Width"), QStringLiteral("1050"));

    // A stored size too small for the texts gives the smallest that shows them whole.
    TBrennForm& again = Open("Height=100\nWidth=200\n");
    EXPECT_EQ(again.size(), again.minimumSize().expandedTo(QSize(200, 100)));
    EXPECT_GE(again.width(), again.minimumSizeHint().width());
}

TEST_F(BrennFormTest, HsrOnAnOpenWindowDoesNotReadTheSettingsAgain) {
    TBrennForm& tool = Open("Offset=7\n");
    ASSERT_EQ(tool.OffsetEdit->text(), QStringLiteral("7"));
    tool.OffsetEdit->setText(QStringLiteral("12"));
    Form().HSR1->trigger();
    EXPECT_TRUE(tool.isVisible());
    EXPECT_EQ(tool.OffsetEdit->text(), QStringLiteral("12"));
}

TEST_F(BrennFormTest, QuittingWithTheWindowOpenWritesNothing) {
    TBrennForm& tool = Open();
    tool.OffsetEdit->setText(QStringLiteral("abc"));
    Form().close();
    FForm.reset();
    EXPECT_EQ(Setting("HSR", "Offset"), QStringLiteral("<absent>"));
}

TEST_F(BrennFormTest, ANumberThatIsNotOneIsReportedWithTheFocusOnItsFieldAndNothingLoaded) {
    const struct {
        const char* offset;
        const char* multiplier;
        const char* message;
        bool offsetFocused;
    } cases[] = {
        {"abc", "1", "Offset must be a number", true},
        {"1x", "abc", "Offset must be a number", true},
        {"", "1", "Offset must be a number", true},
        {"0", "abc", "Multiplier must be a number", false},
        {"0", " ", "Multiplier must be a number", false},
    };
    const QString hot = Black();
    const QString target = Target();
    TBrennForm& tool = Open();
    tool.File1->SetFileName(hot);
    tool.File2->SetFileName(target);
    FillPattern(Bitmap(), 3, 2);
    TBitmap32 before;
    before.Assign(Bitmap());
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.offset << " / " << c.multiplier);
        MessageDialogs dialogs;
        tool.OffsetEdit->setText(QString::fromUtf8(c.offset));
        tool.MultiplierEdit->setText(QString::fromUtf8(c.multiplier));
        // The focus starts on the other field, so that the move shows.
        (c.offsetFocused ? tool.MultiplierEdit : tool.OffsetEdit)->setFocus();
        tool.GoButton->click();
        EXPECT_EQ(dialogs.Messages(), QStringList{QString::fromUtf8(c.message)});
        EXPECT_EQ(tool.focusWidget(), c.offsetFocused ? tool.OffsetEdit : tool.MultiplierEdit);
        EXPECT_TRUE(SamePixels(Bitmap(), before));
        EXPECT_TRUE(Form().CurrentFileName().isEmpty());
    }
}

TEST_F(BrennFormTest, TheMaskComesFromTheHotSpotImageShownEvenIfTheWindowChangesMeanwhile) {
    const QString hot = Black();
    const QString target = Target();
    const QString white = White();
    TBrennForm& tool = Open("Mask=Yes\n");
    tool.File1->SetFileName(hot);
    tool.File2->SetFileName(target);
    MessageDialogs dialogs;
    QString shownFile;
    TBitmap32 shown;
    dialogs.WhileMessage = [&] {
        shownFile = Form().CurrentFileName();
        shown.Assign(Bitmap());
        // A slideshow tick behind the message: a white picture would give factors near 0.
        Form().OpenDialog1.FileName = white;
        Form().ReOpenButtonClick();
    };
    tool.GoButton->click();
    EXPECT_EQ(dialogs.Messages(),
              QStringList{QStringLiteral("Hit <space> after you've viewed the Mask")});
    EXPECT_EQ(shownFile, hot);
    EXPECT_TRUE(SameColours(shown, Decoded(hot)));
    // Black gives the factor 1 everywhere: the target comes out as loaded.
    EXPECT_TRUE(SameColours(Bitmap(), Decoded(target)));
    EXPECT_EQ(Form().CurrentFileName(), target);
    EXPECT_TRUE(dialogs.Errors().isEmpty());
}

TEST_F(BrennFormTest, ARunCorrectsTheTargetThroughTheMainWindow) {
    const struct {
        const char* name;
        QByteArray hsr;
        bool unchanged;  // else every channel ends near black
    } cases[] = {
        {"white with the defaults", "Offset=0\nMultiplier=1\n", false},
        {"Offset 100 and Multiplier 0 give the factor 1", "Offset=100\nMultiplier=0\n", true},
        {"smoothing over a flat mask", "Offset=100\nMultiplier=0\nSmoothing=4\n", true},
    };
    const QString white = White();
    const QString target = Target();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TBrennForm& tool = Open(c.hsr);
        tool.File1->SetFileName(white);
        tool.File2->SetFileName(target);
        MessageDialogs dialogs;
        tool.GoButton->click();
        EXPECT_TRUE(dialogs.Log().isEmpty()) << dialogs.Log().join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(Form().CurrentFileName(), target);
        const TBitmap32 loaded = Decoded(target);
        if (c.unchanged) {
            EXPECT_TRUE(SameColours(Bitmap(), loaded));
        } else {
            int brightest = 0;
            for (int y = 0; y < Bitmap().Height(); ++y)
                for (int x = 0; x < Bitmap().Width(); ++x)
                    brightest = std::max<int>(brightest, Bitmap().GetPixel(x, y) & 0xFF);
            EXPECT_LE(brightest, 1) << "255 * 3 / 768 rounds to 1 at most";
        }
        EXPECT_FALSE(QGuiApplication::overrideCursor()) << "the hourglass is put away";
        FForm.reset();
    }
}

TEST_F(BrennFormTest, BarsOnAnImageTooNarrowEndTheRunBeforeTheTargetIsLoaded) {
    const QString narrow = MakeFilledImage(QStringLiteral("narrow.JPG"), 5, 8, qRgb(0, 0, 0));
    const QString target = Target();
    TBrennForm& tool = Open("Bars=Yes\n");
    tool.File1->SetFileName(narrow);
    tool.File2->SetFileName(target);
    MessageDialogs dialogs;
    tool.GoButton->click();
    ASSERT_EQ(dialogs.Errors().size(), 1);
    EXPECT_TRUE(dialogs.Errors().first().startsWith(QString::fromUtf8(kTooNarrowForBars)));
    EXPECT_EQ(Form().CurrentFileName(), narrow);
    EXPECT_FALSE(QGuiApplication::overrideCursor());
}

// Two files are read in one run: the error box names the one that is no picture, whichever it
// is, and the platform's own open error, which quotes its path already, is left as it is.
TEST_F(BrennFormTest, AFileThatCannotBeReadIsNamedInTheErrorBox) {
    const QString notAPicture = PathOf(QStringLiteral("notes.JPG"));
    {
        QFile file(notAPicture);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a picture at all\n");
    }
    const QString white = White();
    const QString target = Target();
    const QString noSoi = QStringLiteral(": JPEG error #%1.").arg(JERR_NO_SOI);
    const struct {
        const char* label;
        QString hotSpot, image;
        QString error;
    } cases[] = {
        {"the hot-spot file", notAPicture, target, QDir::toNativeSeparators(notAPicture) + noSoi},
        {"the image file", white, notAPicture, QDir::toNativeSeparators(notAPicture) + noSoi},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TBrennForm& tool = Open();
        tool.File1->SetFileName(c.hotSpot);
        tool.File2->SetFileName(c.image);
        ASSERT_TRUE(tool.GoButton->isEnabled());
        MessageDialogs dialogs;
        tool.GoButton->click();
        EXPECT_EQ(dialogs.Errors(), QStringList({c.error}));
        EXPECT_FALSE(QGuiApplication::overrideCursor());
        FForm.reset();
    }

    // A file gone between the choice and "GO!": the open error names it once.
    TBrennForm& tool = Open();
    tool.File1->SetFileName(white);
    tool.File2->SetFileName(target);
    ASSERT_TRUE(QFile::remove(target));
    MessageDialogs dialogs;
    tool.GoButton->click();
    ASSERT_EQ(dialogs.Errors().size(), 1);
    EXPECT_TRUE(dialogs.Errors().first().startsWith(QStringLiteral("Cannot open file \"")))
        << dialogs.Errors().first().toStdString();
    EXPECT_EQ(dialogs.Errors().first().count(QFileInfo(target).fileName()), 1);
}

}  // namespace
