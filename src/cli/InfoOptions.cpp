// The tag report and the printed page, for scripts and checks.

#include <QJsonObject>
#include <cstdio>

#include "base/KelvoError.h"
#include "cli/CliOptions.h"
#include "cli/CliProgram.h"
#include "cli/PdfPageModule.h"
#include "image/ContentType.h"
#include "image/ImageLoader.h"
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
        SayError(fileName, QStringLiteral("Cannot read it as a picture: %1").arg(error.Message()));
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

// One JSON object for the file; the run prints them once every file is done, in the order
// given, so that a batch over several cores prints what one core would.
void JsonReport(const TCliJob& job, const TBitmap32&) {
    TTagListing listing = ReadTagListing(job.Input);
    if (listing.Width <= 0 || listing.Height <= 0) {
        // The tag reader gives no size for some files: the picture itself does, and a file
        // that is no picture fails here with the loader's message.
        TBitmap32 picture;
        LoadImageFromFile(job.Input, picture);
        listing.Width = picture.Width();
        listing.Height = picture.Height();
    }
    QJsonObject tags;
    for (const auto& [key, value] : listing.Tags)
        tags.insert(key, value);
    QJsonObject& object = *job.JsonReport;
    object.insert(QStringLiteral("file"), job.Input);
    const std::optional<TImageFileType> type = ImageFileTypeOfFile(job.Input);
    object.insert(QStringLiteral("format"), type ? ImageFileTypeName(*type) : QString());
    object.insert(QStringLiteral("width"), listing.Width);
    object.insert(QStringLiteral("height"), listing.Height);
    object.insert(QStringLiteral("tags"), tags);
}

void Info(TCliJob& job) {
    SetReport(job, "--info", [](const TCliJob& job, const TBitmap32& image) {
        job.Json ? JsonReport(job, image) : PrintReport(job, image);
    });
    // The report is read from the file's tags; decoding the picture would only cost time.
    job.ReadsPicture = false;
}

bool IsLetter(const QString& page) {
    return page.compare(QLatin1String("Letter"), Qt::CaseInsensitive) == 0;
}

void PrintPdf(TCliJob& job, const QString& fileName) {
    // A PDF under another ending would be opened as what its name says by everything else.
    if (!fileName.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        throw KelvoError(
            QStringLiteral("Nothing written: '%1' does not end with .pdf").arg(fileName));
    // Written once the picture is read, so a PDF may take the place of its own input.
    SetReport(job, "--print-pdf", [fileName](const TCliJob& job, const TBitmap32& image) {
        WritePdfPageThroughModule(fileName, image, IsLetter(job.Page));
    });
    job.ReadsPicture = true;
    job.Settings->insert(QStringLiteral("--print-pdf"), fileName);
}

void Page(TCliJob& job, const QString& value) {
    if (value.compare(QLatin1String("A4"), Qt::CaseInsensitive) != 0 &&
        value.compare(QLatin1String("Letter"), Qt::CaseInsensitive) != 0)
        throw KelvoError(QStringLiteral("Invalid page '%1': A4 or Letter is needed").arg(value));
    job.Page = value;
    job.Checks.push_back([](const TCliJob& job) {
        if (!job.Settings->contains(QStringLiteral("--print-pdf")))
            throw KelvoError(QStringLiteral("--page goes with --print-pdf"));
    });
}

const TCliOption kInfoOptions[] = {
    {"--info", Info, nullptr, "print the file's extended information (CR LF)"},
    {"--print-pdf", nullptr, PrintPdf, "OUT.pdf: write the page \"Print an 8x10\" prints"},
    {"--page", nullptr, Page, "A4|Letter: the paper of --print-pdf (default A4)"},
    {"--json", [](TCliJob& job) { job.Json = true; }, nullptr,
     "--info as JSON: file, format, size and every tag"},
};

}  // namespace

std::span<const TCliOption> InfoOptions() {
    return kInfoOptions;
}
