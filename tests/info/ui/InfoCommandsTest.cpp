// "Extended Info" and "&Print an 8x10" in the main window, with the dialogs scripted and the
// printout sent to a PDF file that is read back.

#include <sys/stat.h>
#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QPrinter>
#include <cstring>

#include "app/ui/CommandDispatch.h"
#include "base/KelvoError.h"
#include "info/PrintPage.h"
#include "support/PdfPages.h"
#include "support/TaggedJpeg.h"
#include "support/ui/MainWindowFixture.h"

namespace {

using namespace tagged_jpeg;

// The dialog script, with the print dialog left on a landscape page as the user may choose.
class LandscapePrintDialogs : public ScriptedDialogs {
  public:
    bool ConfigurePrinter(QPrinter& printer) override {
        const bool confirmed = ScriptedDialogs::ConfigurePrinter(printer);
        printer.setPageOrientation(QPageLayout::Landscape);
        return confirmed;
    }
};

class InfoCommands : public MainWindowFixture {
  protected:
    TKelvoImageForm& StartWith() {
        MarkRegistered();
        return Start();
    }
    // A landscape picture, red on its left half and blue on its right, with the alpha byte 0
    // that many commands leave behind.
    void SetHalvesImage(int width, int height) {
        Bitmap().SetSize(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                Bitmap().SetPixel(x, y, x < width / 2 ? 0x00FF0000u : 0x000000FFu);
    }
    static bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
        return a.Width() == b.Width() && a.Height() == b.Height() &&
               std::memcmp(a.Bits(), b.Bits(), a.ByteCount()) == 0;
    }
    // Where the picture of the printed page lies, in pixels of a rendering at kDpi.
    static constexpr int kDpi = 60;
    QRect InkOf(const QString& pdf, QImage* rendered = nullptr) {
        const QImage page = pdf_pages::RenderFirstPage(pdf, kDpi);
        EXPECT_FALSE(page.isNull()) << pdf.toStdString();
        if (rendered) *rendered = page;
        return pdf_pages::InkBounds(page);
    }
};

}  // namespace

TEST_F(InfoCommands, ExtendedInfoShowsTheTagsOfTheFileOnDisk) {
    TKelvoImageForm& form = StartWith();
    const QString photo = PathOf(QStringLiteral("photo.jpg"));
    Write(photo, {
                     {"Exif.Image.Make", 2, Ascii("Canon")},
                     {"Exif.Photo.FNumber", 5, Rational(28, 10)},
                     {"Exif.Photo.Flash", 3, Short(1)},
                 });
    form.LoadImageFile(photo);
    // Edits in memory do not show: the report is of the file.
    form.CWButtonClick();
    EXPECT_TRUE(RunCommand([&] { form.ExtendedInfo1Click(); }));
    EXPECT_EQ(FDialogs.Messages(),
              QStringList{QStringLiteral("Manufacturer: Canon\r\nF Num: 2.8\r\nFlash: Flash\r\n")});
    EXPECT_TRUE(FDialogs.Errors().isEmpty());
}

TEST_F(InfoCommands, ExtendedInfoShowsAnEmptyBoxWhenThereIsNothingToReport) {
    TKelvoImageForm& form = StartWith();
    const QString bitmap = MakeFilledImage(QStringLiteral("plain.bmp"), 4, 3, 0xFF808080u);
    const QString names[] = {bitmap, QString(), PathOf(QStringLiteral("gone.jpg"))};
    for (const QString& name : names) {
        form.OpenDialog1.FileName = name;
        EXPECT_TRUE(RunCommand([&] { form.ExtendedInfo1Click(); }));
    }
    EXPECT_EQ(FDialogs.Messages(), (QStringList{QString(), QString(), QString()}));
    EXPECT_TRUE(FDialogs.Errors().isEmpty());
}

TEST_F(InfoCommands, PrintPutsTheTurnedPictureWhereTheLayoutSaysAndLeavesTheImageAlone) {
    if (!pdf_pages::RendererPresent()) GTEST_SKIP() << "pdftoppm/pdfinfo (poppler-utils) missing";
    StartWith();
    SetHalvesImage(60, 40);
    TBitmap32 before;
    before.Assign(Bitmap());
    const QString pdf = PathOf(QStringLiteral("page.pdf"));
    FDialogs.AnswerPrint(true, pdf);
    EXPECT_TRUE(RunCommand([&] { Form().Print1Click(); }));
    EXPECT_TRUE(FDialogs.Errors().isEmpty()) << FDialogs.Errors().join('\n').toStdString();
    EXPECT_TRUE(SamePixels(Bitmap(), before)) << "the image was changed by printing";
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the busy cursor stayed up";

    EXPECT_EQ(pdf_pages::Info(pdf).Pages, 1);
    // The printer as the print dialog hands it over: its printable area and margins.
    QPrinter printer(QPrinter::HighResolution);
    const TPrintLayout layout = PrintLayout(60, 40, printer.height(), printer.width());
    ASSERT_TRUE(layout.Turned);
    const QRectF paper = printer.pageLayout().paintRect(QPageLayout::Inch);
    QImage page;
    const QRect ink = InkOf(pdf, &page);
    EXPECT_NEAR(ink.left(), paper.left() * kDpi, 1.5);
    EXPECT_NEAR(ink.top(), paper.top() * kDpi, 1.5);
    EXPECT_NEAR(ink.width(), layout.Width * kDpi / double(printer.resolution()), 2);
    EXPECT_NEAR(ink.height(), layout.Height * kDpi / double(printer.resolution()), 2);
    // Turned clockwise: the left half, red, comes on top.
    const QColor top = page.pixelColor(ink.center().x(), ink.top() + ink.height() / 4);
    const QColor bottom = page.pixelColor(ink.center().x(), ink.bottom() - ink.height() / 4);
    EXPECT_TRUE(top.red() > 200 && top.blue() < 60) << top.name().toStdString();
    EXPECT_TRUE(bottom.blue() > 200 && bottom.red() < 60) << bottom.name().toStdString();
}

TEST_F(InfoCommands, PrintOnAPageChosenLandscapeStaysInsideTheUprightPage) {
    if (!pdf_pages::RendererPresent()) GTEST_SKIP() << "pdftoppm/pdfinfo (poppler-utils) missing";
    StartWith();
    SetHalvesImage(60, 40);
    const QString pdf = PathOf(QStringLiteral("landscape.pdf"));
    {
        LandscapePrintDialogs dialogs;
        dialogs.AnswerPrint(true, pdf);
        EXPECT_TRUE(RunCommand([&] { Form().Print1Click(); }));
        EXPECT_TRUE(dialogs.Errors().isEmpty());
    }
    const pdf_pages::TPdfInfo info = pdf_pages::Info(pdf);
    ASSERT_EQ(info.Pages, 1);
    EXPECT_LT(info.PageSize.width(), info.PageSize.height()) << "the page was not printed upright";
    QPrinter printer(QPrinter::HighResolution);
    const QRectF paper = printer.pageLayout().paintRect(QPageLayout::Inch);
    // Picture and page lie the same way as measured: not turned, and as wide as the upright
    // page's printable width.
    QImage page;
    const QRect ink = InkOf(pdf, &page);
    EXPECT_NEAR(ink.left(), paper.left() * kDpi, 1.5);
    EXPECT_NEAR(ink.top(), paper.top() * kDpi, 1.5);
    EXPECT_NEAR(ink.width(), paper.width() * kDpi, 2);
    EXPECT_NEAR(ink.height(), paper.width() * kDpi * 40 / 60, 2);
    const QColor left = page.pixelColor(ink.left() + ink.width() / 4, ink.center().y());
    EXPECT_TRUE(left.red() > 200 && left.blue() < 60) << left.name().toStdString();
}

TEST_F(InfoCommands, NothingIsPrintedWhenCancelledOrWithoutAnImage) {
    StartWith();
    const QString pdf = PathOf(QStringLiteral("never.pdf"));
    // No image: not even the dialog (the script would report a dialog it was not told of).
    EXPECT_TRUE(RunCommand([&] { Form().Print1Click(); }));
    EXPECT_TRUE(FDialogs.Shown().empty());

    SetHalvesImage(6, 4);
    TBitmap32 before;
    before.Assign(Bitmap());
    FDialogs.AnswerPrint(false, pdf);
    EXPECT_TRUE(RunCommand([&] { Form().Print1Click(); }));
    EXPECT_EQ(FDialogs.Log(), QStringList{QStringLiteral("Print")});
    EXPECT_FALSE(QFile::exists(pdf));
    EXPECT_TRUE(SamePixels(Bitmap(), before));
}

TEST_F(InfoCommands, APrinterThatCannotStartShowsTheErrorAndLeavesTheImageAlone) {
    StartWith();
    SetHalvesImage(60, 40);
    TBitmap32 before;
    before.Assign(Bitmap());
    FDialogs.AnswerPrint(true, PathOf(QStringLiteral("no/such/folder/page.pdf")));
    EXPECT_FALSE(RunCommand([&] { Form().Print1Click(); }));
    EXPECT_EQ(FDialogs.Errors().size(), 1);
    EXPECT_TRUE(SamePixels(Bitmap(), before));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the busy cursor stayed up";
}

TEST_F(InfoCommands, PrintingToAFileThatCannotTakeThePageSaysWhy) {
    StartWith();
    SetHalvesImage(60, 40);
    // A pipe was once opened and waited on for ever; a full disk left a cut-off page.
    const QString fifo = PathOf(QStringLiteral("pipe.pdf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    FDialogs.AnswerPrint(true, fifo);
    EXPECT_FALSE(RunCommand([&] { Form().Print1Click(); }));
    EXPECT_EQ(FDialogs.Errors(),
              QStringList{FormatErrorMessage(
                  QStringLiteral("Cannot create file \"%1\". Not a regular file").arg(fifo))});
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the busy cursor stayed up";
}
