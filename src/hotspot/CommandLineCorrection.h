#pragma once
// The hot-spot correction that the command line asks for with two file arguments: the factors
// come from the hot-spot image (multiplier 1, offset 0, no smoothing) and darken the target
// where the hot-spot image is bright.

#include <cstddef>
#include <vector>

#include "image/Bitmap32.h"

// One factor per pixel of the hot-spot image, sized to that image so that no image size can
// reach outside it.
class THotSpotFactorGrid {
  public:
    THotSpotFactorGrid() = default;
    // factor(x, y) = (768 - (red + green + blue)) / 768. Throws KelvoError("Out of memory")
    // when the grid cannot be had; nothing is kept then.
    explicit THotSpotFactorGrid(const TBitmap32& hotSpot);

    int Width() const noexcept { return FWidth; }
    int Height() const noexcept { return FHeight; }
    double Factor(int x, int y) const noexcept {
        return FFactors[std::size_t(y) * std::size_t(FWidth) + std::size_t(x)];
    }

  private:
    int FWidth = 0;
    int FHeight = 0;
    std::vector<double> FFactors;
};

// A pixel times a factor, as every tone correction scales it (ScaleColor): below 0 (or not a
// number) gives black; otherwise each of red, green and blue is multiplied, rounded half to even
// and held to 0..255. The result's alpha is 0.
TColor32 ScaleColorByFactor(TColor32 color, double factor);

// Scales every target pixel by the factor at the same place, row by row from the top. Pixels
// outside the hot-spot image have no factor and keep their value. The view is not notified.
void ApplyHotSpotFactors(const THotSpotFactorGrid& grid, TBitmap32& target);
