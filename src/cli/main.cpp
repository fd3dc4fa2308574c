// kelvoimage-cli: the core operations applied to files, for scripts and benchmarks.
//
//     kelvoimage-cli INPUT [OPERATION...] [--quality N] -o OUTPUT
//     kelvoimage-cli [OPERATION...] -o OUTPUT -- -INPUT-STARTING-WITH-A-DASH
//     kelvoimage-cli --help | --version
//
// Operations run in the order given. Every failure, running out of memory included, prints the
// program's error message on standard error and exits with 1.

#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <vector>

#include "base/KelvoError.h"
#include "cli/CliOptions.h"
#include "image/Bitmap32.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "image/JpegTranscode.h"

namespace {

// Every subsystem's rows; --help lists them in this order.
const std::span<const TCliOption> kOptionTables[] = {
    TransformOptions(), ToneOptions(),     RotationOptions(), HotspotOptions(),
    OutputOptions(),    MetadataOptions(), InfoOptions(),
};

void PrintUsage(std::FILE* stream) {
    std::fputs("usage: kelvoimage-cli INPUT [OPTION...] -o OUTPUT\n", stream);
    for (std::span<const TCliOption> table : kOptionTables)
        for (const TCliOption& option : table)
            std::fprintf(stream, "  %-19s %s\n", option.Name, option.Help);
    std::fprintf(stream, "  %-19s %s\n", "--",
                 "ends the options: an input may then start with '-'");
    std::fprintf(stream, "  %-19s %s\n", "-h, --help", "print the list of options and exit");
    std::fprintf(stream, "  %-19s %s\n", "--version", "print the program's version and exit");
}

const TCliOption* FindOption(const QString& argument) {
    for (std::span<const TCliOption> table : kOptionTables)
        for (const TCliOption& option : table)
            if (argument == QLatin1String(option.Name)) return &option;
    return nullptr;
}

// The name as the user typed it, for a message: bytes that are not plain ASCII as \xHH.
QString EscapedBytes(const QByteArray& bytes) {
    QString shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F)
            shown += QLatin1Char(c);
        else
            shown += QStringLiteral("\\x") +
                     QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    }
    return shown;
}

// The arguments without the program's name. File names are taken from the raw bytes; a name
// that does not survive the way back to bytes (not valid UTF-8) would make the tool read or
// write some other file, so it is refused.
QStringList DecodeArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        QString argument = QFile::decodeName(raw);
        if (QFile::encodeName(argument) != raw)
            throw KelvoError(QStringLiteral("Cannot use the name '%1': it is not valid UTF-8")
                                 .arg(EscapedBytes(raw)));
        arguments.append(std::move(argument));
    }
    return arguments;
}

TCliJob ParseArguments(const QStringList& arguments) {
    TCliJob job;
    bool onlyInputsFollow = false;  // after "--", a leading '-' is part of a file name
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!onlyInputsFollow && argument == QLatin1String("--")) {
            onlyInputsFollow = true;
        } else if (const TCliOption* option = onlyInputsFollow ? nullptr : FindOption(argument)) {
            if (option->Flag) {
                option->Flag(job);
            } else {
                if (++i >= arguments.size())
                    throw KelvoError(QStringLiteral("Option %1 needs a value").arg(argument));
                option->Setting(job, arguments[i]);
            }
        } else if (!onlyInputsFollow && argument.startsWith(QLatin1Char('-')) &&
                   argument.size() > 1) {
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
    for (const auto& check : job.Checks)
        check(job);
    return job;
}

// A job of point operations alone, from a JPEG to a JPEG, never needs the whole picture: it
// runs a band of rows at a time and writes the same file in a few megabytes. The picture is
// read as stored (not turned upright) on either path: no step cares how it stands.
bool RunsInBands(const TCliJob& job) {
    return !job.Report && job.ReadsPicture &&
           std::all_of(job.Operations.begin(), job.Operations.end(),
                       [](const TCliStep& step) { return step.PointOperation; }) &&
           CanTranscodeInBands(job.Input, job.Output);
}

void Run(const TCliJob& job) {
    // Checked first: the program would silently write nothing, which a script must hear of.
    if (!job.Report && SaveFileTypeOf(job.Output) == TSaveFileType::None)
        throw KelvoError(NoSaveTypeMessage(job.Output));
    if (RunsInBands(job)) {
        std::vector<TPixelOperation> operations;
        for (const TCliStep& step : job.Operations)
            operations.push_back(step.Apply);
        ReportSaveOutcome(job, TranscodeJpegInBands(job.Input, job.Output, job.JpegQuality,
                                                    operations, !job.StripMetadata,
                                                    job.Sampling));
        return;
    }
    if (const std::optional<TSaveOutcome> turned = TurnJpegLosslessly(job)) {
        ReportSaveOutcome(job, *turned);
        return;
    }
    TBitmap32 image;
    if (job.ReadsPicture)
        *job.Metadata = LoadPhotoFromFile(job.Input, image, LoadsUpright(job));
    for (const TCliStep& step : job.Operations)
        step.Apply(image);
    if (job.Report)
        job.Report(job, image);
    else
        ReportSaveOutcome(job, WriteImageFile(job.Output, image, job.JpegQuality,
                                              job.StripMetadata ? TKeptMetadata() : *job.Metadata,
                                              {job.Sampling}));
}

void PrintError(const QString& message) {
    std::fprintf(stderr, "%s\n", FormatErrorMessage(message).toLocal8Bit().constData());
}

int Main(int argc, char** argv) {
    const QStringList arguments = DecodeArguments(argc, argv);
    QCoreApplication application(argc, argv);
    if (arguments.size() == 1 &&
        (arguments[0] == QLatin1String("--help") || arguments[0] == QLatin1String("-h"))) {
        PrintUsage(stdout);
        return 0;
    }
    if (arguments.size() == 1 && arguments[0] == QLatin1String("--version")) {
        std::puts("kelvoimage-cli " KELVO_VERSION);
        return 0;
    }
    Run(ParseArguments(arguments));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // A script must get a message and exit code 1 for every failure, never an abort.
    try {
        return Main(argc, argv);
    } catch (const KelvoError& error) {
        PrintError(error.Message());
        if (argc < 2) PrintUsage(stderr);
    } catch (const std::bad_alloc&) {
        std::fputs("Out of memory.\n", stderr);  // no allocation on this path
    } catch (const std::exception& error) {
        PrintError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        PrintError(QStringLiteral("Unknown error"));
    }
    return 1;
}
