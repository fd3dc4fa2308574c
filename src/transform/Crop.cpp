#include "transform/Crop.h"

#include <algorithm>
#include <cstring>

namespace {

int Clamp(std::int64_t value, int limit) {
    return int(std::clamp<std::int64_t>(value, 0, limit));
}

}  // namespace

TSelection SelectionBetween(std::int64_t pressX, std::int64_t pressY, std::int64_t releaseX,
                            std::int64_t releaseY, int width, int height) {
    const int x0 = Clamp(pressX, width);
    const int y0 = Clamp(pressY, height);
    const int x1 = Clamp(releaseX, width);
    const int y1 = Clamp(releaseY, height);
    return {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
}

void CropImage(const TBitmap32& source, const TSelection& selection, TBitmap32& target) {
    const int w = selection.Width();
    const int h = selection.Height();
    target.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        std::memcpy(target.ScanLine(y), source.ScanLine(selection.Top + y) + selection.Left,
                    std::size_t(w) * sizeof(TColor32));
    target.Changed();
}
