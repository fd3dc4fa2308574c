#pragma once
// The hot-spot correction that the command line asks for with two file arguments: the run of
// the hot-spot tool with multiplier 1, offset 0, no smoothing and no bars, so the factors come
// from the hot-spot image and darken the target where the hot-spot image is bright.

#include "hotspot/HotSpotRemoval.h"
#include "image/Bitmap32.h"

// factor(x, y) = (768 - (red + green + blue)) / 768, one per pixel of the hot-spot image.
class THotSpotFactorGrid : public THotSpotMask {
  public:
    THotSpotFactorGrid() = default;
    // Throws KelvoError("Out of memory") when the grid cannot be had; nothing is kept then.
    explicit THotSpotFactorGrid(const TBitmap32& hotSpot)
        : THotSpotMask(hotSpot, /*offset=*/0, /*multiplier=*/1) {}
};

// A pixel times a factor, as every tone correction scales it (ScaleColor): below 0 (or not a
// number) gives black; otherwise each of red, green and blue is multiplied, rounded half to even
// and held to 0..255. The result's alpha is 0.
TColor32 ScaleColorByFactor(TColor32 color, double factor);

// Scales every target pixel by the factor at the same place, row by row from the top. Pixels
// outside the hot-spot image have no factor and keep their value. The view is not notified.
void ApplyHotSpotFactors(const THotSpotFactorGrid& grid, TBitmap32& target);
