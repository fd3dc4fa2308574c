// Several files in one run: the same steps for each, spread over the cores.

#include <QDir>

#include "base/KelvoError.h"
#include "cli/CliOptions.h"

namespace {

void SetOutDir(TCliJob& job, const QString& value) {
    if (!job.OutputOption.isEmpty())
        throw KelvoError(
            QStringLiteral("Only one output may be given: %1 and --out-dir").arg(job.OutputOption));
    if (value.isEmpty()) throw KelvoError(QStringLiteral("Option --out-dir needs a folder"));
    job.OutputOption = QStringLiteral("--out-dir");
    job.OutDir = value;
}

const TCliOption kBatchOptions[] = {
    {"--out-dir", nullptr, SetOutDir, "DIR: write each input into DIR under its own name"},
    {"-j, --jobs", nullptr,
     [](TCliJob& job, const QString& value) {
         job.ParallelFiles = ParseInteger(value, "number of jobs", 1, 256);
     },
     "N: work on N files at once (default: one per core)"},
    {"-q, --quiet", [](TCliJob& job) { job.Quiet = true; }, nullptr,
     "no progress line and no warnings"},
};

}  // namespace

std::span<const TCliOption> BatchOptions() {
    return kBatchOptions;
}
