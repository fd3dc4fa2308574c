#include <algorithm>
#include <cstdio>

#include "base/KelvoError.h"
#include "cli/CliOptions.h"

namespace {

// Kept with the job's settings, so that the steps read it when they run, wherever it stood.
const QString kAsStored = QStringLiteral("--as-stored");

// Once the load has turned the photo upright (any job that moves pixels) there is nothing left
// to turn. With --as-stored the step turns the picture as stored, where it stands on the line;
// the file's orientation is known only once the picture is read, so the step looks it up when
// it runs, and a file without one (or with orientation 1) is left as it is.
void PushUpright(TCliJob& job) {
    TCliStep step = Moving([metadata = job.Metadata, settings = job.Settings](TBitmap32& image) {
        if (!settings->contains(kAsStored)) return;
        const int orientation = metadata->Source ? metadata->Source->Orientation() : 1;
        if (orientation == 1) return;
        ApplyExifOrientation(image, orientation);
        metadata->Reoriented = true;
    });
    step.TurnsUpright = true;
    job.Operations.push_back(std::move(step));
}

const TCliOption kMetadataOptions[] = {
    {"--upright", PushUpright, nullptr,
     "turn a JPEG upright as its EXIF orientation says; a JPEG output then says orientation 1",
     TCliGroup::Geometry},
    {"--as-stored", [](TCliJob& job) { job.Settings->insert(kAsStored, QString()); }, nullptr,
     "do not turn the photo upright first: turns, crops and the like act on the pixels as the "
     "file stores them",
     TCliGroup::Geometry},
    {"--strip", [](TCliJob& job) { job.StripMetadata = true; }, nullptr,
     "write pixels only: no EXIF, XMP, IPTC or ICC"},
};

}  // namespace

TOperation Reorienting(const TCliJob& job, TOperation operation) {
    return [metadata = job.Metadata, operation = std::move(operation)](TBitmap32& image) {
        operation(image);
        metadata->Reoriented = true;
    };
}

bool LoadsUpright(const TCliJob& job) {
    return !job.Settings->contains(kAsStored) &&
           std::any_of(job.Operations.begin(), job.Operations.end(),
                       [](const TCliStep& step) { return step.MovesPixels; });
}

std::span<const TCliOption> MetadataOptions() {
    return kMetadataOptions;
}
