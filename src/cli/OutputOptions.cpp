#include "base/KelvoError.h"
#include "cli/CliOptions.h"

namespace {

// One place to write to: a second -o, or -o beside --out-dir, would leave one of them unwritten.
void SetOutput(TCliJob& job, const char* option, const QString& value) {
    if (!job.OutputOption.isEmpty())
        throw KelvoError(QStringLiteral("Only one output may be given: %1 and %2")
                             .arg(job.OutputOption, QLatin1String(option)));
    if (value.isEmpty())
        throw KelvoError(QStringLiteral("Option %1 needs a file name").arg(option));
    job.OutputOption = QLatin1String(option);
    job.Output = value;
}

void SetFormat(TCliJob& job, const QString& value) {
    const QString format = value.toUpper();
    if (format != QLatin1String("JPG") && format != QLatin1String("JPEG") &&
        format != QLatin1String("PNG") && format != QLatin1String("GIF") &&
        format != QLatin1String("BMP"))
        throw KelvoError(
            QStringLiteral("Invalid format '%1': JPG, PNG, GIF or BMP is needed").arg(value));
    job.Format = format == QLatin1String("JPEG") ? QStringLiteral("JPG") : format;
}

const TCliOption kOutputOptions[] = {
    {"-o, --output", nullptr,
     [](TCliJob& job, const QString& value) { SetOutput(job, "-o", value); },
     "FILE: the file to write; - writes to standard output"},
    {"--format", nullptr, SetFormat, "JPG|PNG|GIF|BMP: the output's type, needed with -o -"},
    {"--quality", nullptr,
     [](TCliJob& job, const QString& value) {
         job.JpegQuality = ParseInteger(value, "quality", 1, 100);
         job.EncodingChosen = true;
     },
     "N: JPEG quality, 1 to 100 (default 95)"},
    {"--sampling", nullptr,
     [](TCliJob& job, const QString& value) {
         if (value == QLatin1String("444"))
             job.Sampling = TChromaSampling::Yuv444;
         else if (value == QLatin1String("422"))
             job.Sampling = TChromaSampling::Yuv422;
         else if (value == QLatin1String("420"))
             job.Sampling = TChromaSampling::Yuv420;
         else
             throw KelvoError(
                 QStringLiteral("Invalid sampling '%1': 444, 422 or 420 is needed").arg(value));
         job.EncodingChosen = true;
     },
     "444|422|420: JPEG colour sampling, 4:4:4 keeps full colour resolution (default 420)"},
};

}  // namespace

std::span<const TCliOption> OutputOptions() {
    return kOutputOptions;
}
