// The tag report and the printed page, for scripts and checks.

#include <QPageSize>
#include <cstdio>

#include "base/KelvoError.h"
#include "cli/CliOptions.h"
#include "image/ImageLoader.h"
#include "info/PrintPage.h"
#include "info/PropertyReport.h"

namespace {

// An empty report alone does not tell a picture without tags from a file that is no picture at
// all; a script hears of the second on standard error, while the exit status stays that of a
// report. Decoding is the only sure test, and it is paid only when there are no tags.
void SayIfNotAPicture(const QString& fileName) {
    TBitmap32 picture;
    try {
        LoadImageFromFile(fileName, picture);
    } catch (const KelvoError& error) {
        const QString message = FormatErrorMessage(
            QStringLiteral("Cannot read \"%1\" as a picture: %2").arg(fileName, error.Message()));
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    }
}

void PrintReport(const TCliJob& job, const TBitmap32&) {
    const QByteArray report = ReadPropertyReport(job.Input).toUtf8();
    if (std::fwrite(report.constData(), 1, std::size_t(report.size()), stdout) !=
            std::size_t(report.size()) ||
        std::fflush(stdout) != 0)
        throw KelvoError(QStringLiteral("The report could not be written"));
    if (report.isEmpty()) SayIfNotAPicture(job.Input);
}

void Info(TCliJob& job) {
    job.Report = PrintReport;
    // The report is read from the file's tags; decoding the picture would only cost time.
    job.ReadsPicture = false;
}

QPageSize PageSizeOf(const QString& name) {
    return name.compare(QLatin1String("Letter"), Qt::CaseInsensitive) == 0
               ? QPageSize(QPageSize::Letter)
               : QPageSize(QPageSize::A4);
}

void PrintPdf(TCliJob& job, const QString& fileName) {
    job.ReadsPicture = true;
    // Written once the picture is read, so a PDF may take the place of its own input.
    job.Report = [fileName](const TCliJob& job, const TBitmap32& image) {
        WritePdfPage(fileName, image, PageSizeOf(job.Page));
    };
}

void Page(TCliJob& job, const QString& value) {
    if (value.compare(QLatin1String("A4"), Qt::CaseInsensitive) != 0 &&
        value.compare(QLatin1String("Letter"), Qt::CaseInsensitive) != 0)
        throw KelvoError(QStringLiteral("Invalid page '%1': A4 or Letter is needed").arg(value));
    job.Page = value;
}

const TCliOption kInfoOptions[] = {
    {"--info", Info, nullptr, "print the file's extended information (CR LF line ends)"},
    {"--print-pdf", nullptr, PrintPdf,
     "OUT.pdf: write the page \"Print an 8x10\" prints, instead of an image file"},
    {"--page", nullptr, Page, "A4|Letter: the paper of --print-pdf (default A4)"},
};

}  // namespace

std::span<const TCliOption> InfoOptions() {
    return kInfoOptions;
}
