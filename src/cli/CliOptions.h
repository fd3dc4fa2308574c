// The command-line tool's option rows. Each subsystem keeps its rows in its own file
// (src/cli/<Subsystem>Options.cpp) and main.cpp joins the tables, so a new operation is one row
// in the file of the subsystem that owns it.
#pragma once

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "base/KelvoError.h"
#include "image/Bitmap32.h"
#include "image/ImageSaver.h"
#include "image/PhotoMetadata.h"
#include "image/PixelTurn.h"

// One step applied to the picture, in the order the options were given.
using TOperation = std::function<void(TBitmap32& image)>;

struct TCliStep {
    TOperation Apply;
    // The result for each pixel depends on that pixel alone: not on its place, its neighbours
    // or any measure of the whole picture (a histogram, a reference pixel). A job made of such
    // steps alone, JPEG to JPEG, runs a band of rows at a time and never holds the picture.
    bool PointOperation = false;
    // The step moves pixels to other places or reads them by their place (a turn, flip,
    // mirror, rotation, crop, change of scale, hot-spot correction): its coordinates and its
    // result then refer to the picture as every viewer shows it, so the load turns the photo
    // upright first, unless --as-stored.
    bool MovesPixels = false;
    // A quarter turn, flip or mirror: a job of such steps alone, JPEG to JPEG, lays the file's
    // DCT coefficients the new way instead of decoding and encoding.
    std::optional<TPixelTurn> Turn = std::nullopt;
    // --upright: the turn its file's EXIF orientation asks for, known only once it is read.
    bool TurnsUpright = false;
};

// A step marked as a point operation.
inline TCliStep PointOperation(TOperation operation) {
    TCliStep step;
    step.Apply = std::move(operation);
    step.PointOperation = true;
    return step;
}

// A step that moves pixels.
inline TCliStep Moving(TOperation operation) {
    TCliStep step;
    step.Apply = std::move(operation);
    step.MovesPixels = true;
    return step;
}

struct TCliJob {
    QString Input;
    QString Output;
    // The spellings the output and the report came from, for the conflict messages: empty
    // while none was given.
    QString OutputOption;
    QString ReportOption;
    // Every input named on the line; Input is the one this job runs on.
    QStringList Inputs;
    // --format: the output's type when its name gives none (standard output, a batch).
    QString Format;
    // A batch: each input is written into this folder under its own name.
    QString OutDir;
    int ParallelFiles = 0;  // -j; 0: one per core
    bool Quiet = false;     // no progress line, no warnings
    bool Json = false;      // --info as JSON
    int JpegQuality = 95;
    TChromaSampling Sampling = TChromaSampling::Yuv420;
    // --quality or --sampling was given: the JPEG is encoded as asked, never written from the
    // input's coefficients.
    bool EncodingChosen = false;
    std::vector<TCliStep> Operations;
    // When set, the job prints what it learned instead of writing a file, and -o is not needed.
    std::function<void(const TCliJob& job, const TBitmap32& image)> Report;
    // Values that an operation reads only when it runs, so that they count wherever they stand
    // on the line. Shared, so that an operation can hold on to them.
    std::shared_ptr<QHash<QString, QString>> Settings = std::make_shared<QHash<QString, QString>>();
    // Run once the whole line is read, before anything is loaded: tests of settings that depend
    // on one another.
    std::vector<std::function<void(const TCliJob& job)>> Checks;
    // False when the report reads the input file itself: the picture is then not decoded and
    // the operations see an empty image.
    bool ReadsPicture = true;
    QString Page = QStringLiteral("A4");  // paper of the printed page
    // What the input file carries besides pixels, read with the picture; a JPEG output carries
    // it on unless StripMetadata. Shared, so that the operations can hold on to it.
    std::shared_ptr<TKeptMetadata> Metadata = std::make_shared<TKeptMetadata>();
    bool StripMetadata = false;
    // What --info --json found, for the run to print.
    std::shared_ptr<QJsonObject> JsonReport = std::make_shared<QJsonObject>();
};

// An operation that decides how the picture stands (a turn, flip, mirror or rotation): once it
// has run, a JPEG written from the result carries EXIF Orientation 1.
TOperation Reorienting(const TCliJob& job, TOperation operation);

// Whether the load turns the photo upright by its EXIF orientation: the job holds a step that
// moves pixels and --as-stored was not given.
bool LoadsUpright(const TCliJob& job);

// A job of quarter turns, flips and mirrors alone (--upright among them), from a JPEG to a JPEG,
// with neither --quality nor --sampling: writes the output from the input's DCT coefficients,
// laid as the steps and the load's upright turn say, with the metadata any save writes.
// Nothing (and nothing written) for any other job, or when the turn is not perfect for the
// picture's size; the job then runs the usual way.
std::optional<TSaveOutcome> TurnJpegLosslessly(const TCliJob& job);
// One report per run: a second report, or a report beside an output file, is refused.
// option: the spelling that asked for it, named in the message.
void SetReport(TCliJob& job, const char* option,
               std::function<void(const TCliJob& job, const TBitmap32& image)> report);

// A failure that concerns another file than the input or the output (a hot-spot picture): the
// message names that file.
class TFileFailure : public KelvoError {
  public:
    TFileFailure(QString fileName, const KelvoError& error)
        : KelvoError(error.Message()), FFileName(std::move(fileName)) {}
    const QString& FileName() const noexcept { return FFileName; }

  private:
    QString FFileName;
};

// A flag: the operation applies as soon as it is met. A setting: takes the next argument;
// it may change the job or push an operation that carries the parsed value.
using TFlag = void (*)(TCliJob& job);
using TSetting = void (*)(TCliJob& job, const QString& value);

// The headings of --help, in their order there.
enum class TCliGroup { OfTable, InputOutput, Geometry, Tone, HotSpot, Information, Batch };

// Name: the option's spellings, separated by ", " ("-o, --output"); a setting also takes
// "--name=value". Help: one line of meaning; a setting's starts with the value's name and a
// colon ("N: ..."), which --help shows beside the option. Group: the heading it is listed
// under, when not its table's.
struct TCliOption {
    const char* Name;
    TFlag Flag;
    TSetting Setting;
    const char* Help;
    TCliGroup Group = TCliGroup::OfTable;
};

// Whole decimal integer in [minimum, maximum]; anything else throws KelvoError naming `what`.
int ParseInteger(const QString& text, const char* what, int minimum, int maximum);
// Exactly `count` comma-separated integers ("X,Y" or "X,Y,W,H"); anything else throws.
std::vector<int> ParseIntegerList(const QString& text, const char* what, int count);

// The tables, one per subsystem.
std::span<const TCliOption> TransformOptions();
std::span<const TCliOption> ToneOptions();
std::span<const TCliOption> RotationOptions();
std::span<const TCliOption> HotspotOptions();
std::span<const TCliOption> OutputOptions();
std::span<const TCliOption> InfoOptions();
std::span<const TCliOption> MetadataOptions();
std::span<const TCliOption> BatchOptions();
