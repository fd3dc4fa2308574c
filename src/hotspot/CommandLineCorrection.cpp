#include "hotspot/CommandLineCorrection.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "base/KelvoError.h"

THotSpotFactorGrid::THotSpotFactorGrid(const TBitmap32& hotSpot) {
    try {
        FFactors.resize(hotSpot.PixelCount());
    } catch (const std::bad_alloc&) {
        throw KelvoError(QStringLiteral("Out of memory"));
    }
    FWidth = hotSpot.Width();
    FHeight = hotSpot.Height();
    double* out = FFactors.data();
    for (int y = 0; y < FHeight; ++y) {
        const TColor32* row = hotSpot.ScanLine(y);
        for (int x = 0; x < FWidth; ++x) {
            const TColor32 c = row[x];
            const int sum = int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF);
            *out++ = double(768 - sum) / 768.0;
        }
    }
}

TColor32 ScaleColorByFactor(TColor32 color, double factor) {
    if (!(factor >= 0.0)) return 0;  // also catches NaN
    const auto scale = [factor](TColor32 channel) -> TColor32 {
        const double v = std::rint(double(channel) * factor);
        return v > 255.0 ? 255u : TColor32(v);
    };
    return scale((color >> 16) & 0xFF) << 16 | scale((color >> 8) & 0xFF) << 8 |
           scale(color & 0xFF);
}

void ApplyHotSpotFactors(const THotSpotFactorGrid& grid, TBitmap32& target) {
    const int rows = std::min(grid.Height(), target.Height());
    const int columns = std::min(grid.Width(), target.Width());
    for (int y = 0; y < rows; ++y) {
        TColor32* row = target.ScanLine(y);
        for (int x = 0; x < columns; ++x)
            row[x] = ScaleColorByFactor(row[x], grid.Factor(x, y));
    }
}
