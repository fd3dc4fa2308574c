#pragma once
// The colour a GIF save gives a pixel, worked out channel by channel as the arithmetic reads:
// 51 * ((c + 3) / 51), so 0..47 give 0, 48..98 give 51, ..., 252..255 give 255; alpha is kept.
// The encoder looks its palette index up in a table instead; the GIF tests hold the two equal.

#include "image/Bitmap32.h"

inline TColor32 ReduceToColorCube(TColor32 color) {
    auto level = [](TColor32 c) -> TColor32 { return 51 * ((c + 3) / 51); };
    return (color & 0xFF000000u) | (level((color >> 16) & 0xFF) << 16) |
           (level((color >> 8) & 0xFF) << 8) | level(color & 0xFF);
}
