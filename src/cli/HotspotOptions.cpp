#include "base/KelvoError.h"
#include "cli/CliOptions.h"
#include "hotspot/HotSpotRemoval.h"
#include "image/ImageLoader.h"

namespace {

// Keys of the job's settings. The hot-spot settings may stand anywhere on the line, before or
// after --hotspot, so the run reads them only when it starts.
const QString kHotSpotFile = QStringLiteral("--hotspot");
const QString kOffset = QStringLiteral("--offset");
const QString kMultiplier = QStringLiteral("--multiplier");
const QString kSmoothing = QStringLiteral("--smoothing");
const QString kBars = QStringLiteral("--bars");
const QString kChecked = QStringLiteral("hotspot checked");

// Offset is tested before Multiplier, whatever their order on the line, and both before
// anything is loaded.
void CheckSettings(const TCliJob& job) {
    const QHash<QString, QString>& settings = *job.Settings;
    if (!settings.contains(kHotSpotFile))
        throw KelvoError(
            QStringLiteral("--offset, --multiplier, --smoothing and --bars go with --hotspot"));
    if (!HotSpotNumber(settings.value(kOffset, QStringLiteral("0"))))
        throw KelvoError(QString::fromLatin1(kOffsetNotANumber));
    if (!HotSpotNumber(settings.value(kMultiplier, QStringLiteral("1"))))
        throw KelvoError(QString::fromLatin1(kMultiplierNotANumber));
}

void Record(TCliJob& job, const QString& key, const QString& value) {
    if (!job.Settings->contains(kChecked)) {
        job.Settings->insert(kChecked, QString());
        job.Checks.push_back(CheckSettings);
    }
    job.Settings->insert(key, value);
}

// Loads the hot-spot file, lays the bars over it when asked, builds the factors and corrects
// the image. The grid takes the hot-spot raster over, so a run holds two rasters.
void PushHotSpotRun(TCliJob& job, const QString& file) {
    Record(job, kHotSpotFile, file);
    job.Operations.push_back(Moving([file, settings = job.Settings](TBitmap32& image) {
        const double offset = *HotSpotNumber(settings->value(kOffset, QStringLiteral("0")));
        const double multiplier = *HotSpotNumber(settings->value(kMultiplier, QStringLiteral("1")));
        TBitmap32 hotSpot;
        // Laid as the photo is: upright by its own tag, as the window loads both, unless the
        // job keeps what files store.
        try {
            LoadPhotoFromFile(file, hotSpot, !settings->contains(QStringLiteral("--as-stored")));
        } catch (const KelvoError& error) {
            throw TFileFailure(file, error);  // the message names the hot-spot picture
        }
        if (settings->contains(kBars)) MakeBars(hotSpot);
        THotSpotMask mask(std::move(hotSpot), offset, multiplier);
        mask.SmoothMask(settings->value(kSmoothing, QStringLiteral("1")).toInt());
        mask.Apply(image);
    }));
}

const TCliOption kHotspotOptions[] = {
    {"--hotspot", nullptr, PushHotSpotRun, "FILE: correct each pixel by the hot-spot picture FILE"},
    {"--offset", nullptr, [](TCliJob& job, const QString& value) { Record(job, kOffset, value); },
     "T: hot-spot offset (brightness), decimal (default 0)"},
    {"--multiplier", nullptr,
     [](TCliJob& job, const QString& value) { Record(job, kMultiplier, value); },
     "T: hot-spot multiplier (contrast), decimal (default 1)"},
    {"--smoothing", nullptr,
     [](TCliJob& job, const QString& value) {
         Record(job, kSmoothing, QString::number(ParseInteger(value, "smoothing", 1, 5)));
     },
     "N: hot-spot factors averaged over N x N, 1 to 5"},
    {"--bars", [](TCliJob& job) { Record(job, kBars, QString()); }, nullptr,
     "hot-spot picture replaced by nine grey bars"},
};

}  // namespace

std::span<const TCliOption> HotspotOptions() {
    return kHotspotOptions;
}
