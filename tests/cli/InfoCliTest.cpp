// kelvoimage-cli --info and --print-pdf, run as a separate process the way scripts use them.

#include <gtest/gtest.h>

#include <QFile>
#include <QPageSize>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <cmath>

#include "image/ImageSaver.h"
#include "info/PrintPage.h"
#include "info/PropertyReport.h"
#include "support/CliRun.h"
#include "support/PdfPages.h"
#include "support/TaggedJpeg.h"
#include "support/TestFiles.h"

namespace {

// The report's decimal separator is the locale's; these checks are written for a point.
TCliRun RunReport(const QStringList& arguments) {
    return RunCli(arguments, TCliRunSetup::WithPointDecimals());
}

class InfoCliTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(FFolder.isValid()); }
    QString PathOf(const QString& name) const { return FFolder.filePath(name); }
    QTemporaryDir FFolder;
};

using namespace tagged_jpeg;

}  // namespace

TEST_F(InfoCliTest, InfoPrintsTheReportWithCrLfLineEnds) {
    const QString photo = PathOf(QStringLiteral("photo.jpg"));
    Write(photo, {
                     {"Exif.Image.Make", 2, Ascii("Canon")},
                     {"Exif.Image.XResolution", 5, Rational(300, 1)},
                     {"Exif.Photo.ExposureTime", 5, Rational(1, 60)},
                     {"Exif.Photo.MeteringMode", 3, Short(5)},
                     {"Exif.Photo.UserComment", 7, QByteArray("ASCII\0\0\0Hi", 10)},
                 });
    const TCliRun run = RunReport({photo, QStringLiteral("--info")});
    ASSERT_EQ(run.ExitCode, 0) << run.StandardError.toStdString();
    EXPECT_TRUE(run.StandardError.isEmpty()) << run.StandardError.toStdString();
    EXPECT_EQ(run.StandardOutput, QByteArray("Manufacturer: Canon\r\n"
                                             "Horiz Res (dpi): 3E2\r\n"
                                             "Exposure (sec): 0.017\r\n"
                                             "Meter Mode: Pattern\r\n"));
}

TEST_F(InfoCliTest, InfoReadsTheTagsWithoutDecodingThePicture) {
    const QString photo = PathOf(QStringLiteral("undecodable.jpg"));
    Write(photo, {{"Exif.Photo.ISOSpeedRatings", 3, Short(400)}});
    // A frame of 0 x 0 pixels: no decoder takes it, while the tags before it stay readable.
    QByteArray bytes = test_files::ReadAll(photo);
    const qsizetype frame = bytes.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(frame, 0);
    bytes.replace(frame + 5, 4, QByteArray(4, '\0'));
    test_files::WriteAll(photo, bytes);
    const TCliRun decode =
        RunReport({photo, QStringLiteral("-o"), PathOf(QStringLiteral("out.png"))});
    ASSERT_EQ(decode.ExitCode, 1) << "the damaged picture was decoded after all";

    const TCliRun run = RunReport({photo, QStringLiteral("--info")});
    EXPECT_EQ(run.ExitCode, 0) << run.StandardError.toStdString();
    EXPECT_EQ(run.StandardOutput, QByteArray("ISO Speed: 400\r\n"));
}

TEST_F(InfoCliTest, InfoOfAFileWithoutTagsIsEmptyAndOfAnUnreadableFileAnError) {
    const QString bitmap = PathOf(QStringLiteral("plain.bmp"));
    TBitmap32 picture;
    picture.SetSize(3, 2);
    WriteImageFile(bitmap, picture, 90);
    const TCliRun empty = RunReport({bitmap, QStringLiteral("--info")});
    EXPECT_EQ(empty.ExitCode, 0) << empty.StandardError.toStdString();
    EXPECT_TRUE(empty.StandardOutput.isEmpty());

    const QString text = PathOf(QStringLiteral("text.jpg"));
    test_files::WriteAll(text, "no picture here");
    for (const QString& name : {PathOf(QStringLiteral("missing.jpg")), text}) {
        const TCliRun run = RunReport({name, QStringLiteral("--info")});
        EXPECT_EQ(run.ExitCode, 1) << name.toStdString();
        EXPECT_TRUE(run.StandardOutput.isEmpty()) << name.toStdString();
        EXPECT_TRUE(run.StandardError.contains(name)) << run.StandardError.toStdString();
    }
}

TEST_F(InfoCliTest, PrintPdfPutsTheTurnedPictureAtTheTopLeftOfThePrintableArea) {
    if (!pdf_pages::RendererPresent()) GTEST_SKIP() << "pdftoppm/pdfinfo (poppler-utils) missing";
    // A landscape picture, red on the left and blue on the right, with the alpha byte 0 that
    // many commands leave: on a portrait page it is turned clockwise, so red comes on top.
    TBitmap32 picture;
    picture.SetSize(300, 200);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            picture.SetPixel(x, y, x < 150 ? 0x00FF0000u : 0x000000FFu);
    const QString input = PathOf(QStringLiteral("halves.bmp"));
    WriteImageFile(input, picture, 90);

    const struct {
        const char* Page;
        QPageSize::PageSizeId Size;
    } pages[] = {{nullptr, QPageSize::A4}, {"A4", QPageSize::A4}, {"Letter", QPageSize::Letter}};
    for (const auto& page : pages) {
        const QString label = page.Page ? QLatin1String(page.Page) : QStringLiteral("default");
        const QString pdf = PathOf(label + QStringLiteral(".pdf"));
        QStringList arguments = {input, QStringLiteral("--print-pdf"), pdf};
        if (page.Page) arguments << QStringLiteral("--page") << QLatin1String(page.Page);
        const TCliRun run = RunReport(arguments);
        ASSERT_EQ(run.ExitCode, 0)
            << label.toStdString() << ": " << run.StandardError.toStdString();

        const pdf_pages::TPdfInfo info = pdf_pages::Info(pdf);
        EXPECT_EQ(info.Pages, 1) << label.toStdString();
        const QSizeF points = QPageSize(page.Size).size(QPageSize::Point);
        EXPECT_NEAR(info.PageSize.width(), points.width(), 0.5) << label.toStdString();
        EXPECT_NEAR(info.PageSize.height(), points.height(), 0.5) << label.toStdString();

        // The printable area as a PDF printer offers it: 1200 dots per inch, 10-point margins.
        const double printable[2] = {(points.width() - 20) / 72 * 1200,
                                     (points.height() - 20) / 72 * 1200};
        const TPrintLayout layout = PrintLayout(300, 200, int(printable[1]), int(printable[0]));
        ASSERT_TRUE(layout.Turned);
        constexpr int kDpi = 60;
        const QImage rendered = pdf_pages::RenderFirstPage(pdf, kDpi);
        ASSERT_FALSE(rendered.isNull()) << label.toStdString();
        const QRect ink = pdf_pages::InkBounds(rendered);
        const double margin = 10.0 / 72 * kDpi;
        EXPECT_NEAR(ink.left(), margin, 1.5) << label.toStdString();
        EXPECT_NEAR(ink.top(), margin, 1.5) << label.toStdString();
        EXPECT_NEAR(ink.width(), layout.Width * kDpi / 1200.0, 2) << label.toStdString();
        EXPECT_NEAR(ink.height(), layout.Height * kDpi / 1200.0, 2) << label.toStdString();
        const QColor top = rendered.pixelColor(ink.center().x(), ink.top() + ink.height() / 4);
        const QColor bottom =
            rendered.pixelColor(ink.center().x(), ink.bottom() - ink.height() / 4);
        EXPECT_TRUE(top.red() > 200 && top.blue() < 60)
            << label.toStdString() << " top " << top.name().toStdString();
        EXPECT_TRUE(bottom.blue() > 200 && bottom.red() < 60)
            << label.toStdString() << " bottom " << bottom.name().toStdString();
    }
}

TEST_F(InfoCliTest, PrintPdfRefusesWhatItCannotDo) {
    const QString input = PathOf(QStringLiteral("small.bmp"));
    TBitmap32 picture;
    picture.SetSize(4, 3);
    WriteImageFile(input, picture, 90);
    const QStringList cases[] = {
        {input, QStringLiteral("--print-pdf"), PathOf(QStringLiteral("no/such/folder/out.pdf"))},
        {input, QStringLiteral("--print-pdf"), PathOf(QStringLiteral("out.pdf")),
         QStringLiteral("--page"), QStringLiteral("A5")},
        {PathOf(QStringLiteral("missing.bmp")), QStringLiteral("--print-pdf"),
         PathOf(QStringLiteral("out.pdf"))},
    };
    for (const QStringList& arguments : cases) {
        const TCliRun run = RunReport(arguments);
        EXPECT_EQ(run.ExitCode, 1) << arguments.join(' ').toStdString();
        EXPECT_FALSE(run.StandardError.isEmpty()) << arguments.join(' ').toStdString();
    }
    EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("out.pdf"))));
}
