#include "cli/CliOptions.h"
#include "transform/AffineTransform.h"

namespace {

// One re-apply of the rotation slider at the given position: the input plays the kept source
// (moved aside, not copied) and the result has its size.
void PushRotation(TCliJob& job, const QString& value) {
    const int degrees = ParseInteger(value, "angle", -180, 180);
    job.Operations.push_back(Moving(Reorienting(job, [degrees](TBitmap32& image) {
        TBitmap32 source;
        source.Assign(std::move(image));
        RotateImage(source, degrees, image);
    })));
}

const TCliOption kRotationOptions[] = {
    {"--rotate", nullptr, PushRotation, "DEG: turn by -180 to 180 degrees, keeping the size"},
};

}  // namespace

std::span<const TCliOption> RotationOptions() {
    return kRotationOptions;
}
