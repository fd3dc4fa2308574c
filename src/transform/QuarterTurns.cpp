#include "transform/QuarterTurns.h"

#include <algorithm>

namespace {

// Tiles small enough that the source rows and destination rows of one tile stay in L1,
// so each cache line is fetched once instead of once per pixel.
constexpr int kTile = 32;

}  // namespace

void RotateClockwise(const TColor32* source, int width, int height, TColor32* target) {
    const std::size_t newWidth = std::size_t(height);
    for (int y0 = 0; y0 < height; y0 += kTile) {
        const int y1 = std::min(height, y0 + kTile);
        for (int x0 = 0; x0 < width; x0 += kTile) {
            const int x1 = std::min(width, x0 + kTile);
            for (int x = x0; x < x1; ++x) {
                // Old column x becomes new row x, read bottom to top.
                TColor32* out = target + std::size_t(x) * newWidth + std::size_t(height - 1);
                const TColor32* in = source + x;
                for (int y = y0; y < y1; ++y)
                    out[-std::ptrdiff_t(y)] = in[std::size_t(y) * width];
            }
        }
    }
}

void RotateCounterClockwise(const TColor32* source, int width, int height, TColor32* target) {
    const std::size_t newWidth = std::size_t(height);
    for (int y0 = 0; y0 < height; y0 += kTile) {
        const int y1 = std::min(height, y0 + kTile);
        for (int x0 = 0; x0 < width; x0 += kTile) {
            const int x1 = std::min(width, x0 + kTile);
            for (int x = x0; x < x1; ++x) {
                // Old column x becomes new row W - 1 - x, read top to bottom.
                TColor32* out = target + std::size_t(width - 1 - x) * newWidth;
                const TColor32* in = source + x;
                for (int y = y0; y < y1; ++y)
                    out[y] = in[std::size_t(y) * width];
            }
        }
    }
}
