#include <climits>

#include "base/KelvoError.h"
#include "cli/CliOptions.h"

namespace {

const TCliOption kOutputOptions[] = {
    {"--quality", nullptr,
     [](TCliJob& job, const QString& value) {
         // Out-of-range qualities are held to 1..100 by the encoder, as the settings file's are.
         job.JpegQuality = ParseInteger(value, "quality", INT_MIN, INT_MAX);
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
    {"-o", nullptr, [](TCliJob& job, const QString& value) { job.Output = value; },
     "OUTPUT: the file to write; .JPG, .GIF, .PNG or .BMP"},
};

}  // namespace

std::span<const TCliOption> OutputOptions() {
    return kOutputOptions;
}
