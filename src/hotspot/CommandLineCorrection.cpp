#include "hotspot/CommandLineCorrection.h"

#include "tone/PixelFunctions.h"

TColor32 ScaleColorByFactor(TColor32 color, double factor) {
    return ScaleColor(color, factor);
}

void ApplyHotSpotFactors(const THotSpotFactorGrid& grid, TBitmap32& target) {
    grid.Apply(target);
}
