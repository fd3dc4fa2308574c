#include "cli/CliOptions.h"

namespace {

// The file's orientation is known only once the picture is read, so the step looks it up when
// it runs; a file without one (or with orientation 1) is left as it is.
void PushUpright(TCliJob& job) {
    job.Operations.push_back({[metadata = job.Metadata](TBitmap32& image) {
        const int orientation = metadata->Source ? metadata->Source->Orientation() : 1;
        if (orientation == 1) return;
        ApplyExifOrientation(image, orientation);
        metadata->Reoriented = true;
    }});
}

const TCliOption kMetadataOptions[] = {
    {"--upright", PushUpright, nullptr, "turn a JPEG upright by its EXIF orientation",
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

std::span<const TCliOption> MetadataOptions() {
    return kMetadataOptions;
}
