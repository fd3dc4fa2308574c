#pragma once
// Small rasters for the tone tests, built from listed pixels.

#include <initializer_list>
#include <random>
#include <vector>

#include "image/Bitmap32.h"

namespace tonetest {

inline TColor32 Argb(int a, int r, int g, int b) {
    return TColor32(a) << 24 | TColor32(r) << 16 | TColor32(g) << 8 | TColor32(b);
}
inline TColor32 Rgb(int r, int g, int b) {
    return Argb(0, r, g, b);
}

// One row holding the pixels in order.
inline TBitmap32 Row(std::initializer_list<TColor32> pixels) {
    TBitmap32 image;
    image.SetSize(int(pixels.size()), 1);
    int x = 0;
    for (TColor32 pixel : pixels)
        image.SetPixel(x++, 0, pixel);
    return image;
}

inline TBitmap32 Filled(int width, int height, TColor32 color) {
    TBitmap32 image;
    image.SetSize(width, height);
    image.Clear(color);
    return image;
}

// Every byte random, alpha included, so lookups indexed by any channel value get exercised.
inline TBitmap32 Noise(int width, int height, unsigned seed) {
    TBitmap32 image;
    image.SetSize(width, height);
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < image.PixelCount(); ++i)
        image.Bits()[i] = TColor32(random());
    return image;
}

inline std::vector<TColor32> Pixels(const TBitmap32& image) {
    return std::vector<TColor32>(image.Bits(), image.Bits() + image.PixelCount());
}

}  // namespace tonetest
