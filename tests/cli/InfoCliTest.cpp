// kelvoimage-cli --info and --print-pdf, run as a separate process the way scripts use them.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <cmath>

#include "base/KelvoError.h"
#include "image/ImageSaver.h"
#include "info/PrintPage.h"
#include "info/PropertyReport.h"
#include "support/CliRun.h"
#include "support/PdfPages.h"
#include "support/RasterPatterns.h"
#include "support/SmallTmpfs.h"
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

TEST_F(InfoCliTest, InfoOfAFileWithoutTagsIsEmptyAndSaysWhenItIsNoPicture) {
    // A script tells "no tags" from "not a picture" by standard error; either way the report
    // (empty) was made, so the exit status is 0.
    const QString bitmap = PathOf(QStringLiteral("plain.bmp"));
    TBitmap32 picture;
    picture.SetSize(3, 2);
    WriteImageFile(bitmap, picture, 90);
    const QString jpegHeader = PathOf(QStringLiteral("header.jpg"));
    test_files::WriteAll(jpegHeader,
                         QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01"
                                    "\x00\x01\x00\x00\xFF\xD9",
                                    22));
    const QString pngSignature = PathOf(QStringLiteral("signature.png"));
    test_files::WriteAll(pngSignature, "\x89PNG\r\n\x1A\nand nothing after it");
    const struct {
        QString File;
        QString Error;
    } cases[] = {
        {bitmap, {}},
        {jpegHeader,
         CliPrefix(jpegHeader) + QStringLiteral("Cannot read it as a picture: JPEG error #")},
        {pngSignature, CliPrefix(pngSignature) + QStringLiteral("Cannot read it as a picture: ")},
    };
    for (const auto& c : cases) {
        const TCliRun run = RunReport({c.File, QStringLiteral("--info")});
        EXPECT_EQ(run.ExitCode, 0) << c.File.toStdString();
        EXPECT_TRUE(run.StandardOutput.isEmpty()) << c.File.toStdString();
        if (c.Error.isEmpty()) {
            EXPECT_EQ(run.StandardError, QString()) << c.File.toStdString();
        } else {
            EXPECT_TRUE(run.StandardError.startsWith(c.Error) &&
                        run.StandardError.count(QLatin1Char('\n')) == 1)
                << run.StandardError.toStdString();
        }
    }
}

TEST_F(InfoCliTest, InfoOfWhatCannotBeReadIsAnError) {
    const QString text = PathOf(QStringLiteral("text.jpg"));
    test_files::WriteAll(text, "no picture here");
    const QString fifo = PathOf(QStringLiteral("fifo.jpg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const struct {
        QString File;
        QString Error;
    } cases[] = {
        {PathOf(QStringLiteral("missing.jpg")),
         CannotOpenFileMessage(PathOf(QStringLiteral("missing.jpg")), ENOENT)},
        {text, QStringLiteral("Cannot read the tags of \"%1\"").arg(text)},
        // Refused at once: it once waited for a writer for ever.
        {fifo, QStringLiteral("Cannot open file \"%1\". Not a regular file").arg(fifo)},
    };
    for (const auto& c : cases) {
        const TCliRun run = RunReport({c.File, QStringLiteral("--info")});
        EXPECT_EQ(run.ExitCode, 1) << c.File.toStdString();
        EXPECT_TRUE(run.StandardOutput.isEmpty()) << c.File.toStdString();
        EXPECT_TRUE(run.StandardError.startsWith(CliPrefix(c.File) + c.Error))
            << run.StandardError.toStdString();
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

namespace {

bool IsPdf(const QByteArray& bytes) {
    return bytes.startsWith("%PDF-") && bytes.trimmed().endsWith("%%EOF");
}

}  // namespace

TEST_F(InfoCliTest, PrintPdfMayTakeThePlaceOfItsOwnInput) {
    // A JPEG under a name that is no picture's: the loader reads it as a JPEG.
    const QString photo = PathOf(QStringLiteral("photo.pdf"));
    WriteImageFile(PathOf(QStringLiteral("photo.JPG")), Noise(40, 30, 3), 90);
    ASSERT_TRUE(QFile::rename(PathOf(QStringLiteral("photo.JPG")), photo));
    const TCliRun run = RunReport({photo, QStringLiteral("--print-pdf"), photo});
    ASSERT_EQ(run.ExitCode, 0) << run.StandardError.toStdString();
    EXPECT_TRUE(IsPdf(test_files::ReadAll(photo)));
    if (pdf_pages::RendererPresent()) {
        EXPECT_EQ(pdf_pages::Info(photo).Pages, 1);
    }
    EXPECT_EQ(test_files::Entries(FFolder.path()), QStringList{QStringLiteral("photo.pdf")});
}

TEST_F(InfoCliTest, PrintPdfFailuresSayWhyAndKeepTheFile) {
    const QString input = PathOf(QStringLiteral("small.bmp"));
    WriteImageFile(input, Noise(4, 3, 1), 90);
    const QString fifo = PathOf(QStringLiteral("fifo.pdf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString full = PathOf(QStringLiteral("full.pdf"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), full));
    const struct {
        QString Target;
        QString Error;
    } cases[] = {
        // Each once wrote nothing, or waited for a reader for ever, and said nothing.
        {full, QStringLiteral("Cannot create file \"%1\". Not a regular file").arg(full)},
        {fifo, QStringLiteral("Cannot create file \"%1\". Not a regular file").arg(fifo)},
    };
    for (const auto& c : cases) {
        const TCliRun run = RunReport({input, QStringLiteral("--print-pdf"), c.Target});
        EXPECT_EQ(run.ExitCode, 1) << c.Target.toStdString();
        EXPECT_EQ(run.StandardError, CliErrorLine(c.Target, c.Error)) << c.Target.toStdString();
    }
    EXPECT_EQ(test_files::Entries(FFolder.path()),
              QStringList({QStringLiteral("fifo.pdf"), QStringLiteral("full.pdf"),
                           QStringLiteral("small.bmp")}));
}

TEST_F(InfoCliTest, PrintPdfOverAFileTheUserMayNotWriteKeepsIt) {
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty()) GTEST_SKIP() << "setpriv is not installed; cannot run as another user";
    const TCliRunSetup asNobody =
        TCliRunSetup::Under({setpriv, QStringLiteral("--reuid=65534"),
                             QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups")});
    if (RunCli({QStringLiteral("--help")}, asNobody).ExitCode != 0)
        GTEST_SKIP() << "cannot run the CLI as user 65534 (no permission to switch, or the "
                        "build folder is closed to other users)";
    // The page is drawn by the module beside the tool, which that user must be able to reach
    // too (a build under a home folder closed to others lets the tool start, not the module).
    const QString module =
        QFileInfo(QStringLiteral(KELVO_CLI_PATH)).dir().filePath(QStringLiteral("kelvoimage-cli-pdf.so"));
    if (QProcess::execute(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                    QStringLiteral("--clear-groups"), QStringLiteral("test"),
                                    QStringLiteral("-r"), module}) != 0)
        GTEST_SKIP() << "user 65534 cannot read " << module.toStdString();
    // The folder is open to everybody, so only the file's own permission can stop the write.
    ASSERT_EQ(::chmod(QFile::encodeName(FFolder.path()).constData(), 0777), 0);
    const QString input = PathOf(QStringLiteral("small.bmp"));
    WriteImageFile(input, Noise(4, 3, 1), 90);
    ASSERT_EQ(::chmod(QFile::encodeName(input).constData(), 0644), 0);
    const QString pdf = PathOf(QStringLiteral("old.pdf"));
    test_files::WriteAll(pdf, "%PDF- the page printed last week");
    ASSERT_EQ(::chmod(QFile::encodeName(pdf).constData(), 0444), 0);
    const TCliRun run = RunCli({input, QStringLiteral("--print-pdf"), pdf}, asNobody);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.StandardError, CliErrorLine(pdf, CannotCreateFileMessage(pdf, EACCES)));
    EXPECT_EQ(test_files::ReadAll(pdf), "%PDF- the page printed last week");
    EXPECT_EQ(test_files::Entries(FFolder.path()),
              QStringList({QStringLiteral("old.pdf"), QStringLiteral("small.bmp")}));
}

TEST_F(InfoCliTest, PrintPdfOnAFullDiskKeepsEveryFile) {
    const QString disk = PathOf(QStringLiteral("small"));
    const TSmallTmpfs tmpfs(disk);
    if (!tmpfs.Mounted()) GTEST_SKIP() << tmpfs.Reason().toStdString();
    // A JPEG under a name that is no picture's, so that the page may take its place.
    const QString photo = disk + QStringLiteral("/photo.pdf");
    WriteImageFile(disk + QStringLiteral("/photo.JPG"), Noise(100, 80, 5), 90);
    ASSERT_TRUE(QFile::rename(disk + QStringLiteral("/photo.JPG"), photo));
    const QByteArray before = test_files::ReadAll(photo);
    // All but 4 KB taken: the photo's page (its noise does not compress) cannot fit.
    struct statvfs space {};
    ASSERT_EQ(::statvfs(QFile::encodeName(disk).constData(), &space), 0);
    const qint64 free = qint64(space.f_bavail) * qint64(space.f_frsize);
    test_files::WriteAll(disk + QStringLiteral("/filler"), QByteArray(free - 4096, 'f'));

    for (const QString& target : {photo, disk + QStringLiteral("/new.pdf")}) {
        const TCliRun run = RunReport({photo, QStringLiteral("--print-pdf"), target});
        EXPECT_EQ(run.ExitCode, 1) << target.toStdString();
        EXPECT_EQ(run.StandardError, CliErrorLine(target, CannotCreateFileMessage(target, ENOSPC)))
            << target.toStdString();
        EXPECT_EQ(test_files::ReadAll(photo), before) << target.toStdString();
        EXPECT_EQ(test_files::Entries(disk),
                  QStringList({QStringLiteral("filler"), QStringLiteral("photo.pdf")}))
            << target.toStdString();
    }
}
