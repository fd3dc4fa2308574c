#pragma once
// The per-pixel arithmetic that every tone correction shares. Everything works on the red,
// green and blue bytes of a TColor32; every pixel made here has alpha 0.
//
// Scaling rounds to the nearest integer with exact halves going to the even neighbour (the
// default floating-point rounding mode), and every channel result is held to 0..255: a product
// that is not a number (0 times infinity) gives 0, +infinity gives 255 and a negative product
// gives 0, so no factor can spill into a neighbouring channel or reach an undefined conversion.

#include <cmath>

#include "image/Bitmap32.h"

struct TRgb {
    int R = 0;
    int G = 0;
    int B = 0;
    friend bool operator==(const TRgb&, const TRgb&) = default;
};

// Red = bits 16..23, green = bits 8..15, blue = bits 0..7; alpha is ignored.
inline TRgb SplitColor(TColor32 color) noexcept {
    return {int((color >> 16) & 0xFF), int((color >> 8) & 0xFF), int(color & 0xFF)};
}

// R * 65536 + G * 256 + B, alpha 0. Each channel is held to 0..255 first.
inline TColor32 MakeColor(int r, int g, int b) noexcept {
    const auto hold = [](int v) { return TColor32(v < 0 ? 0 : v > 255 ? 255 : v); };
    return hold(r) << 16 | hold(g) << 8 | hold(b);
}

// R + G + B, 0..765.
inline int Intensity(TColor32 color) noexcept {
    return int((color >> 16) & 0xFF) + int((color >> 8) & 0xFF) + int(color & 0xFF);
}

// round(value * factor) held to 0..255; a product that is not a number gives 0.
inline TColor32 ScaleChannel(int value, double factor) noexcept {
    const double scaled = std::rint(double(value) * factor);
    if (scaled > 255.0) return 255;
    if (!(scaled > 0.0)) return 0;  // negative, zero or not a number
    return TColor32(scaled);
}

// One gain for all three channels. A negative factor or one that is not a number gives black.
inline TColor32 ScaleColor(TColor32 color, double factor) noexcept {
    if (!(factor >= 0.0)) return 0;
    return ScaleChannel(int((color >> 16) & 0xFF), factor) << 16 |
           ScaleChannel(int((color >> 8) & 0xFF), factor) << 8 |
           ScaleChannel(int(color & 0xFF), factor);
}

// A gain per channel; each channel is held to 0..255 on its own.
inline TColor32 ScaleChannels(TColor32 color, double redFactor, double greenFactor,
                              double blueFactor) noexcept {
    return ScaleChannel(int((color >> 16) & 0xFF), redFactor) << 16 |
           ScaleChannel(int((color >> 8) & 0xFF), greenFactor) << 8 |
           ScaleChannel(int(color & 0xFF), blueFactor);
}
