#include <climits>

#include "cli/CliOptions.h"

namespace {

const TCliOption kOutputOptions[] = {
    {"--quality", nullptr,
     [](TCliJob& job, const QString& value) {
         // Out-of-range qualities are held to 1..100 by the encoder, as the settings file's are.
         job.JpegQuality = ParseInteger(value, "quality", INT_MIN, INT_MAX);
     },
     "N: JPEG quality, 1 to 100 (default 95)"},
    {"-o", nullptr, [](TCliJob& job, const QString& value) { job.Output = value; },
     "OUTPUT: the file to write; .JPG, .GIF, .PNG or .BMP"},
};

}  // namespace

std::span<const TCliOption> OutputOptions() {
    return kOutputOptions;
}
