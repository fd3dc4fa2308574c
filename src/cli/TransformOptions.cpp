#include <cstdint>
#include <utility>

#include "base/KelvoError.h"
#include "cli/CliOptions.h"
#include "image/QuarterTurns.h"
#include "transform/Crop.h"
#include "transform/Resample.h"

namespace {

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

void TurnClockwise(TBitmap32& image) {
    image.TurnClockwise();
}
void TurnCounterClockwise(TBitmap32& image) {
    image.TurnCounterClockwise();
}

// The W x H pixels from (X, Y), clamped to the picture. Any rectangle of at least one pixel
// each way is cropped as asked: the window's rules for a drag (a thin one is a click, a small
// one asks first) belong to the mouse. A rectangle that is empty or lies wholly outside the
// picture is refused before anything is written.
void PushCrop(TCliJob& job, const QString& value) {
    const std::vector<int> v = ParseIntegerList(value, "crop", 4);
    const std::int64_t x = v[0];
    const std::int64_t y = v[1];
    const std::int64_t w = v[2];
    const std::int64_t h = v[3];
    job.Operations.push_back(Moving([value, x, y, w, h](TBitmap32& image) {
        const QString size = QStringLiteral("%1 x %2").arg(image.Width()).arg(image.Height());
        if (w < 1 || h < 1)
            throw KelvoError(QStringLiteral("The crop %1 is empty: its width and height must be "
                                            "at least 1 (the image is %2)")
                                 .arg(value, size));
        if (x >= image.Width() || y >= image.Height() || x + w <= 0 || y + h <= 0)
            throw KelvoError(
                QStringLiteral("The crop %1 lies outside the %2 image").arg(value, size));
        const TSelection selection =
            SelectionBetween(x, y, x + w, y + h, image.Width(), image.Height());
        TBitmap32 source;
        source.Assign(std::move(image));
        CropImage(source, selection, image);
    }));
}

template <void (*Operation)(TBitmap32&)>
void PushMoving(TCliJob& job) {
    job.Operations.push_back(Moving(Operation));
}

template <void (*Operation)(TBitmap32&), TPixelTurn::TKind Kind>
void PushTurn(TCliJob& job) {
    TCliStep step = Moving(Reorienting(job, Operation));
    step.Turn = TPixelTurn(Kind);
    job.Operations.push_back(std::move(step));
}

const TCliOption kTransformOptions[] = {
    {"--cw", PushTurn<TurnClockwise, TPixelTurn::Clockwise>, nullptr, "turn a quarter clockwise"},
    {"--ccw", PushTurn<TurnCounterClockwise, TPixelTurn::CounterClockwise>, nullptr,
     "turn a quarter counter-clockwise"},
    {"--flip", PushTurn<FromMovedSource<FlipVertical>, TPixelTurn::Flip>, nullptr,
     "turn upside down"},
    {"--mirror", PushTurn<FromMovedSource<MirrorHorizontal>, TPixelTurn::Mirror>, nullptr,
     "mirror left to right"},
    {"--double", PushMoving<FromMovedSource<DoubleImage>>, nullptr,
     "enlarge twice, each pixel a 2 x 2 block"},
    {"--half", PushMoving<FromMovedSource<Half>>, nullptr, "shrink by 2, averaging 2 x 2 blocks"},
    {"--quarter", PushMoving<FromMovedSource<Quarter>>, nullptr,
     "shrink by 4, averaging 4 x 4 blocks"},
    {"--crop", nullptr, PushCrop,
     "X,Y,W,H: keep W x H pixels from (X, Y), W and H at least 1, clamped to the image"},
};

}  // namespace

std::span<const TCliOption> TransformOptions() {
    return kTransformOptions;
}
