// kelvoimage-cli: the core operations applied to files, for scripts and benchmarks.
//
//     kelvoimage-cli INPUT [OPERATION...] [--quality N] -o OUTPUT
//
// Operations run in the order given. Every failure prints the program's error message on
// standard error and exits with 1.

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <vector>

#include "base/KelvoError.h"
#include "cli/CliOptions.h"
#include "image/Bitmap32.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"

namespace {

// Every subsystem's rows; --help lists them in this order.
const std::span<const TCliOption> kOptionTables[] = {
    TransformOptions(),
    OutputOptions(),
};

void PrintUsage(std::FILE* stream) {
    std::fputs("usage: kelvoimage-cli INPUT [OPTION...] -o OUTPUT\n", stream);
    for (std::span<const TCliOption> table : kOptionTables)
        for (const TCliOption& option : table)
            std::fprintf(stream, "  %-10s %s\n", option.Name, option.Help);
}

const TCliOption* FindOption(const QString& argument) {
    for (std::span<const TCliOption> table : kOptionTables)
        for (const TCliOption& option : table)
            if (argument == QLatin1String(option.Name)) return &option;
    return nullptr;
}

TCliJob ParseArguments(const QStringList& arguments) {
    TCliJob job;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (const TCliOption* option = FindOption(argument)) {
            if (option->Flag) {
                option->Flag(job);
            } else {
                if (++i >= arguments.size())
                    throw KelvoError(QStringLiteral("Option %1 needs a value").arg(argument));
                option->Setting(job, arguments[i]);
            }
        } else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            throw KelvoError(QStringLiteral("Unknown option '%1'").arg(argument));
        } else if (job.Input.isEmpty()) {
            job.Input = argument;
        } else {
            throw KelvoError(
                QStringLiteral("Only one input file may be given, not also '%1'").arg(argument));
        }
    }
    if (job.Input.isEmpty()) throw KelvoError(QStringLiteral("No input file given"));
    if (job.Output.isEmpty() && !job.Report)
        throw KelvoError(QStringLiteral("No output file given (-o OUTPUT)"));
    return job;
}

void Run(const TCliJob& job) {
    // Checked first: the program would silently write nothing, which a script must hear of.
    if (!job.Report && SaveFileTypeOf(job.Output) == TSaveFileType::None)
        throw KelvoError(
            QStringLiteral("Nothing written: '%1' does not end with .JPG, .GIF, .PNG or .BMP")
                .arg(job.Output));
    TBitmap32 image;
    LoadImageFromFile(job.Input, image);
    for (const TOperation& operation : job.Operations)
        operation(image);
    if (job.Report)
        job.Report(job, image);
    else
        WriteImageFile(job.Output, image, job.JpegQuality);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 2 &&
        (arguments[1] == QLatin1String("--help") || arguments[1] == QLatin1String("-h"))) {
        PrintUsage(stdout);
        return 0;
    }
    try {
        Run(ParseArguments(arguments));
    } catch (const KelvoError& error) {
        std::fprintf(stderr, "%s\n", FormatErrorMessage(error.Message()).toLocal8Bit().constData());
        if (arguments.size() < 2) PrintUsage(stderr);
        return 1;
    }
    return 0;
}
