#pragma once
// Pixel kernels of the quarter turns. Source and destination never overlap; the destination
// has the turned size (height x width).

#include "image/Bitmap32.h"

// New pixel (c, r) = old pixel (r, H - 1 - c): the old top row becomes the right column.
void RotateClockwise(const TColor32* source, int width, int height, TColor32* target);
// New pixel (c, r) = old pixel (W - 1 - r, c): the old top row becomes the left column.
void RotateCounterClockwise(const TColor32* source, int width, int height, TColor32* target);
