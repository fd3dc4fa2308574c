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

#include "app/KelvoError.h"
#include "image/Bitmap32.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "transform/QuarterTurns.h"
#include "transform/Resample.h"

namespace {

constexpr int kDefaultJpegQuality = 95;

using TOperation = void (*)(TBitmap32& image);

struct TCliJob {
    QString Input;
    QString Output;
    int JpegQuality = kDefaultJpegQuality;
    std::vector<TOperation> Operations;
};

using TSetting = void (*)(TCliJob& job, const QString& value);

// One row per option: an operation on the image, or a setting that takes the next argument.
struct TCliOption {
    const char* Name;
    TOperation Operation;
    TSetting Setting;
    const char* Help;
};

// The menu commands read from the undo snapshot and write the current image; here the input
// is moved aside (no copy) to play the snapshot's part, so both run the same core code.
template <void (*Transform)(const TBitmap32&, TBitmap32&)>
void FromMovedSource(TBitmap32& image) {
    TBitmap32 source;
    source.Assign(std::move(image));
    Transform(source, image);
}

void Half(const TBitmap32& source, TBitmap32& target) {
    ReduceImage(source, 2, target);
}
void Quarter(const TBitmap32& source, TBitmap32& target) {
    ReduceImage(source, 4, target);
}

int ParseInteger(const QString& text, const char* what) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok) throw KelvoError(QStringLiteral("Invalid %1 '%2'").arg(QLatin1String(what), text));
    return value;
}

const TCliOption kOptions[] = {
    {"--cw", [](TBitmap32& image) { image.TurnClockwise(); }, nullptr, "turn a quarter clockwise"},
    {"--ccw", [](TBitmap32& image) { image.TurnCounterClockwise(); }, nullptr,
     "turn a quarter counter-clockwise"},
    {"--flip", FromMovedSource<FlipVertical>, nullptr, "turn upside down"},
    {"--mirror", FromMovedSource<MirrorHorizontal>, nullptr, "mirror left to right"},
    {"--double", FromMovedSource<DoubleImage>, nullptr, "enlarge twice, each pixel a 2 x 2 block"},
    {"--half", FromMovedSource<Half>, nullptr, "shrink by 2, averaging 2 x 2 blocks"},
    {"--quarter", FromMovedSource<Quarter>, nullptr, "shrink by 4, averaging 4 x 4 blocks"},
    {"--quality", nullptr,
     [](TCliJob& job, const QString& value) { job.JpegQuality = ParseInteger(value, "quality"); },
     "N: JPEG quality, 1 to 100 (default 95)"},
    {"-o", nullptr, [](TCliJob& job, const QString& value) { job.Output = value; },
     "OUTPUT: the file to write; .JPG, .GIF, .PNG or .BMP"},
};

void PrintUsage(std::FILE* stream) {
    std::fputs("usage: kelvoimage-cli INPUT [OPTION...] -o OUTPUT\n", stream);
    for (const TCliOption& option : kOptions)
        std::fprintf(stream, "  %-10s %s\n", option.Name, option.Help);
}

const TCliOption* FindOption(const QString& argument) {
    for (const TCliOption& option : kOptions)
        if (argument == QLatin1String(option.Name)) return &option;
    return nullptr;
}

TCliJob ParseArguments(const QStringList& arguments) {
    TCliJob job;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (const TCliOption* option = FindOption(argument)) {
            if (option->Operation) {
                job.Operations.push_back(option->Operation);
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
    if (job.Output.isEmpty()) throw KelvoError(QStringLiteral("No output file given (-o OUTPUT)"));
    return job;
}

void Run(const TCliJob& job) {
    // Checked first: the program would silently write nothing, which a script must hear of.
    if (SaveFileTypeOf(job.Output) == TSaveFileType::None)
        throw KelvoError(
            QStringLiteral("Nothing written: '%1' does not end with .JPG, .GIF, .PNG or .BMP")
                .arg(job.Output));
    TBitmap32 image;
    LoadImageFromFile(job.Input, image);
    for (TOperation operation : job.Operations)
        operation(image);
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
