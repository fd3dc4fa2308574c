#pragma once
// Rasters whose every pixel differs from its neighbours in every byte, alpha included (0 and
// 255 among them), so a lost, moved or half-copied pixel shows; and an exact comparison.

#include <cstdint>
#include <cstring>

#include "image/Bitmap32.h"

// Distinct for every position below 4096 x 4096: the low bytes of x and y in red and green,
// their high nibbles in blue, and a diagonal ramp in alpha.
inline TColor32 PatternColor(int x, int y) {
    return (TColor32((x * 85 + y * 170) & 0xFF) << 24) | (TColor32(x & 0xFF) << 16) |
           (TColor32(y & 0xFF) << 8) | TColor32(((x >> 8) << 4 | (y >> 8)) & 0xFF);
}

inline void FillPattern(TBitmap32& raster, int width, int height) {
    raster.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            raster.SetPixel(x, y, PatternColor(x, y));
}

inline bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() &&
           std::memcmp(a.Bits(), b.Bits(), a.ByteCount()) == 0;
}

// One colour everywhere.
inline TBitmap32 Filled(int width, int height, TColor32 color) {
    TBitmap32 image;
    image.SetSize(width, height);
    image.Clear(color);
    return image;
}

// Pseudo-random pixels, alpha included: incompressible enough to fill many PNG chunks or a
// small disk, and the same for the same seed.
inline TBitmap32 Noise(int width, int height, std::uint32_t seed = 1) {
    TBitmap32 image;
    image.SetSize(width, height);
    for (std::size_t i = 0; i < image.PixelCount(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        image.Bits()[i] = seed;
    }
    return image;
}
