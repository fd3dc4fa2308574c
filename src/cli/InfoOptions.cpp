// The tag report and the printed page, for scripts and checks.

#include <QPageSize>
#include <QPdfWriter>
#include <cstdio>

#include "base/KelvoError.h"
#include "cli/CliOptions.h"
#include "info/PrintPage.h"
#include "info/PropertyReport.h"

namespace {

void PrintReport(const TCliJob& job, const TBitmap32&) {
    const QByteArray report = ReadPropertyReport(job.Input).toUtf8();
    if (std::fwrite(report.constData(), 1, std::size_t(report.size()), stdout) !=
            std::size_t(report.size()) ||
        std::fflush(stdout) != 0)
        throw KelvoError(QStringLiteral("The report could not be written"));
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
    job.Report = [fileName](const TCliJob& job, const TBitmap32& image) {
        if (image.Empty())
            throw KelvoError(QStringLiteral("Nothing printed: the picture is empty"));
        // The page as the print command gets it from a printer writing PDF: 1200 dots per
        // inch, margins of 10 points on every side.
        QPdfWriter writer(fileName);
        writer.setResolution(1200);
        writer.setPageSize(PageSizeOf(job.Page));
        writer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Point);
        writer.setPageOrientation(QPageLayout::Portrait);
        try {
            PrintImage(writer, image);
        } catch (const KelvoError&) {
            throw KelvoError(QStringLiteral("Cannot create file \"%1\"").arg(fileName));
        }
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
