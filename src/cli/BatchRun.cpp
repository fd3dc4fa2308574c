// The runs of a command line: one file, or a batch spread over the cores, each file's failure
// reported with its name while the others go on.

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "base/KelvoError.h"
#include "base/ParallelRuns.h"
#include "cli/CliProgram.h"
#include "image/ContentType.h"
#include "image/ImageLoader.h"
#include "image/JpegDecoder.h"
#include "image/JpegTranscode.h"
#include "info/PropertyReport.h"

namespace {

// One file's run: the job, and the names its messages use for its input and output.
struct TFileJob {
    TCliJob Job;
    QString ShownInput;
    QString ShownOutput;
    bool ToStandardOutput = false;
};

// Which file a failure concerns, by the part of the run that failed.
enum class TStage { Input, Output, Report, InputOrOutput };

// A job of point operations alone, from a JPEG to a JPEG, never needs the whole picture: it
// runs a band of rows at a time and writes the same file in a few megabytes. The picture is
// read as stored (not turned upright) on either path.
bool RunsInBands(const TCliJob& job, TSaveFileType type) {
    return !job.Report && job.ReadsPicture &&
           std::all_of(job.Operations.begin(), job.Operations.end(),
                       [](const TCliStep& step) { return step.PointOperation; }) &&
           CanTranscodeInBands(job.Input, type == TSaveFileType::Jpeg);
}

// What a save left out (an EXIF block that could not fit) is returned for the run to report.
TSaveOutcome Run(const TCliJob& job, TStage& stage) {
    const TSaveFileType type = job.Report ? TSaveFileType::None : OutputTypeOf(job);
    if (!job.Report && type == TSaveFileType::None) {
        stage = TStage::Output;
        throw KelvoError(NoOutputTypeMessage(job.Output));
    }
    if (RunsInBands(job, type)) {
        stage = TStage::InputOrOutput;
        std::vector<TPixelOperation> operations;
        for (const TCliStep& step : job.Operations)
            operations.push_back(step.Apply);
        return TranscodeJpegInBands(job.Input, job.Output, job.JpegQuality, operations,
                                    !job.StripMetadata, job.Sampling);
    }
    if (type == TSaveFileType::Jpeg) {
        stage = TStage::InputOrOutput;
        if (const std::optional<TSaveOutcome> turned = TurnJpegLosslessly(job)) return *turned;
    }
    stage = TStage::Input;
    TBitmap32 image;
    if (job.ReadsPicture) *job.Metadata = LoadPhotoFromFile(job.Input, image, LoadsUpright(job));
    for (const TCliStep& step : job.Operations)
        step.Apply(image);
    if (job.Report) {
        stage = TStage::Report;
        job.Report(job, image);
        return {};
    }
    stage = TStage::Output;
    return WriteImageFileAs(type, job.Output, image, job.JpegQuality,
                            job.StripMetadata ? TKeptMetadata() : *job.Metadata, {job.Sampling});
}

QString FileOfFailure(const TFileJob& file, TStage stage, const QString& message) {
    switch (stage) {
        case TStage::Input:
            return file.ShownInput;
        case TStage::Output:
            return file.ShownOutput;
        case TStage::Report: {
            const QString pdf = file.Job.Settings->value(QStringLiteral("--print-pdf"));
            return pdf.isEmpty() ? file.ShownInput : pdf;
        }
        case TStage::InputOrOutput:
            // Every failure of the writer is the atomic file's "Cannot create file".
            return message.startsWith(QLatin1String("Cannot create file")) ? file.ShownOutput
                                                                           : file.ShownInput;
    }
    return file.ShownInput;
}

void CopyToStandardOutput(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) throw KelvoError(CannotOpenFileMessage(fileName, ENOENT));
    const QByteArray bytes = file.readAll();
    if (std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) !=
            std::size_t(bytes.size()) ||
        std::fflush(stdout) != 0)
        throw KelvoError(QStringLiteral("The picture could not be written"));
}

// Runs one file and reports its warnings and its failure; false when it failed.
bool RunFile(const TFileJob& file, bool quiet) {
    // Prepared before the run: a lack of memory must still be reported with the file's name.
    const QByteArray outOfMemory = (QStringLiteral("kelvoimage-cli: ") + file.ShownInput +
                                    QStringLiteral(": Out of memory.\n"))
                                       .toLocal8Bit();
    TJpegWarnings warnings;
    TStage stage = TStage::Input;
    QString failedFile;
    QString failure;
    bool failed = true;
    TSaveOutcome outcome;
    try {
        outcome = Run(file.Job, stage);
        if (file.ToStandardOutput) {
            stage = TStage::Output;
            CopyToStandardOutput(file.Job.Output);
        }
        failed = false;
    } catch (const TFileFailure& error) {
        failedFile = error.FileName();
        failure = error.Message();
    } catch (const KelvoError& error) {
        failedFile = FileOfFailure(file, stage, error.Message());
        failure = error.Message();
    } catch (const std::bad_alloc&) {
        std::fputs(outOfMemory.constData(), stderr);  // no allocation on this path
        return false;
    } catch (const std::exception& error) {
        failedFile = FileOfFailure(file, stage, QString());
        failure = QString::fromLocal8Bit(error.what());
    }
    if (!failed) {
        if (!quiet) {
            for (const QString& text : warnings.Texts())
                SayWarning(file.ShownInput, text);
            if (outcome.ExifLeftOut) SayWarning(file.ShownOutput, ExifLeftOutText());
        }
        return true;
    }
    // A file that fails says why once: the warnings on the way there only repeat it.
    SayError(failedFile, failure);
    return false;
}

// Standard input as a file, so that every reader (and the choice of reader by the name's
// ending) works on it as on any other: its kind is taken from its first bytes.
QString SaveStandardInput(const QTemporaryDir& folder) {
    QByteArray bytes;
    char buffer[65536];
    for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;)
        bytes.append(buffer, qsizetype(read));
    if (std::ferror(stdin))
        throw TFileFailure(kStandardInputName,
                           KelvoError(QStringLiteral("Standard input could not be read")));
    // Anything else is left to the JPEG decoder, the loader's choice for a name it does not know.
    const QString fileName = folder.filePath(
        QStringLiteral("standard-input") +
        ImageFileTypeEnding(ImageFileTypeOfContent(bytes.left(kContentSignatureBytes))
                                .value_or(TImageFileType::Jpeg)));
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        throw TFileFailure(kStandardInputName, KelvoError(CannotCreateFileMessage(fileName, EIO)));
    return fileName;
}

TFileJob FileJobFor(const QStringList& arguments, const TCliJob& line, const QString& input,
                    const QString& standardInput, const QTemporaryDir* streams) {
    TFileJob file;
    // Each file gets its own job, read again from the line: its steps hold state of their own
    // (the photo's metadata), which files run at once must not share.
    file.Job = ParseArguments(arguments);
    const bool fromStream = input == kStreamName;
    file.Job.Input = fromStream ? standardInput : input;
    file.ShownInput = fromStream ? kStandardInputName : input;
    if (!line.OutDir.isEmpty()) {
        file.Job.Output = OutDirTarget(line, input);
    } else if (line.Output == kStreamName) {
        file.Job.Output =
            streams->filePath(QStringLiteral("standard-output.") + line.Format.toLower());
        file.ToStandardOutput = true;
    }
    file.ShownOutput = file.ToStandardOutput ? kStandardOutputName : file.Job.Output;
    return file;
}

void PrintJson(const std::vector<QJsonObject>& objects, bool several) {
    QJsonDocument document;
    if (several) {
        QJsonArray array;
        for (const QJsonObject& object : objects)
            if (!object.isEmpty()) array.append(object);
        document.setArray(array);
    } else {
        if (objects.empty() || objects.front().isEmpty()) return;
        document.setObject(objects.front());
    }
    const QByteArray text = document.toJson(QJsonDocument::Indented);
    if (std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout) !=
            std::size_t(text.size()) ||
        std::fflush(stdout) != 0)
        throw KelvoError(QStringLiteral("The report could not be written"));
}

}  // namespace

int RunCommandLine(const QStringList& arguments, const TCliJob& line) {
    const QStringList& inputs = line.Inputs;
    const bool streams = inputs.contains(kStreamName) || line.Output == kStreamName;
    std::unique_ptr<QTemporaryDir> streamFolder;
    QString standardInput;
    if (streams) {
        streamFolder = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                       QStringLiteral("/kelvoimage-cli-XXXXXX"));
        if (!streamFolder->isValid())
            throw KelvoError(QStringLiteral("No temporary folder for the standard streams: %1")
                                 .arg(streamFolder->errorString()));
        if (inputs.contains(kStreamName)) standardInput = SaveStandardInput(*streamFolder);
    }

    const int total = int(inputs.size());
    const int workers = std::clamp(
        line.ParallelFiles > 0 ? line.ParallelFiles : QThread::idealThreadCount(), 1, total);
    if (workers > 1) {
        // The files keep the cores busy; a loop's own threads would only take turns with them.
        LimitParallelRuns(1);
        PrepareTagReaderForThreads();
    }
    const bool progress = total > 1 && !line.Quiet && ::isatty(STDERR_FILENO);

    std::vector<QJsonObject> json(static_cast<std::size_t>(total));
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::atomic<bool> failed{false};
    QElapsedTimer clock;
    clock.start();
    const auto show = [&](const QString& current) {
        if (!progress) return;
        const int finished = done.load();
        // Said once a file has shown how long one takes, and no more once all are done.
        const double left = finished > 0 && finished < total
                                ? double(clock.elapsed()) / 1000.0 / finished * (total - finished)
                                : -1.0;
        ShowProgress(finished, total, current, left);
    };
    const auto work = [&] {
        for (int index; (index = next.fetch_add(1)) < total;) {
            show(inputs[index]);
            bool ok = false;
            try {
                const TFileJob file =
                    FileJobFor(arguments, line, inputs[index], standardInput, streamFolder.get());
                ok = RunFile(file, line.Quiet);
                if (ok && line.Json) {
                    json[std::size_t(index)] = *file.Job.JsonReport;
                    if (inputs[index] == kStreamName)
                        json[std::size_t(index)].insert(QStringLiteral("file"), kStreamName);
                }
            } catch (const std::exception& error) {
                SayError(inputs[index], QString::fromLocal8Bit(error.what()));
            }
            if (!ok) failed = true;
            ++done;
            show(QString());
        }
    };
    std::vector<std::thread> threads;
    for (int i = 1; i < workers; ++i) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // out of threads: the others share the files
        }
    }
    work();
    for (std::thread& thread : threads)
        thread.join();
    if (progress) EndProgress();
    if (line.Json) PrintJson(json, total > 1);
    return failed ? 1 : 0;
}
