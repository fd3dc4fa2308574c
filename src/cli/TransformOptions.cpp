#include <cstdint>
#include <utility>

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

// The selection from (X, Y) of W x H pixels, clamped to the image as a released drag is; a
// selection thinner than a click leaves the image as it is, and a small one is cropped without
// the window's question, since nobody is there to answer it.
void PushCrop(TCliJob& job, const QString& value) {
    const std::vector<int> v = ParseIntegerList(value, "crop", 4);
    const std::int64_t x = v[0];
    const std::int64_t y = v[1];
    const std::int64_t w = v[2];
    const std::int64_t h = v[3];
    job.Operations.push_back({Reorienting(job, [x, y, w, h](TBitmap32& image) {
        const TSelection selection =
            SelectionBetween(x, y, x + w, y + h, image.Width(), image.Height());
        if (selection.IsClick()) return;
        TBitmap32 source;
        source.Assign(std::move(image));
        CropImage(source, selection, image);
    })});
}

template <void (*Operation)(TBitmap32&)>
void Push(TCliJob& job) {
    job.Operations.push_back({Operation});
}

template <void (*Operation)(TBitmap32&)>
void PushReorienting(TCliJob& job) {
    job.Operations.push_back({Reorienting(job, Operation)});
}

const TCliOption kTransformOptions[] = {
    {"--cw", PushReorienting<TurnClockwise>, nullptr, "turn a quarter clockwise"},
    {"--ccw", PushReorienting<TurnCounterClockwise>, nullptr, "turn a quarter counter-clockwise"},
    {"--flip", PushReorienting<FromMovedSource<FlipVertical>>, nullptr, "turn upside down"},
    {"--mirror", PushReorienting<FromMovedSource<MirrorHorizontal>>, nullptr,
     "mirror left to right"},
    {"--double", Push<FromMovedSource<DoubleImage>>, nullptr,
     "enlarge twice, each pixel a 2 x 2 block"},
    {"--half", Push<FromMovedSource<Half>>, nullptr, "shrink by 2, averaging 2 x 2 blocks"},
    {"--quarter", Push<FromMovedSource<Quarter>>, nullptr, "shrink by 4, averaging 4 x 4 blocks"},
    {"--crop", nullptr, PushCrop, "X,Y,W,H: keep W x H pixels from (X, Y), clamped"},
};

}  // namespace

std::span<const TCliOption> TransformOptions() {
    return kTransformOptions;
}
