#pragma once
// Pixel kernels of the quarter turns. Source and destination never overlap; the destination
// has the turned size (height x width).

#include <cstddef>

#include "image/Bitmap32.h"

// New pixel (c, r) = old pixel (r, H - 1 - c): the old top row becomes the right column.
void RotateClockwise(const TColor32* source, int width, int height, TColor32* target);
// New pixel (c, r) = old pixel (W - 1 - r, c): the old top row becomes the left column.
void RotateCounterClockwise(const TColor32* source, int width, int height, TColor32* target);
// The same two into a block of a larger raster whose rows lie targetStride pixels apart.
void RotateClockwise(const TColor32* source, int width, int height, TColor32* target,
                     std::size_t targetStride);
void RotateCounterClockwise(const TColor32* source, int width, int height, TColor32* target,
                            std::size_t targetStride);

// target (same size as source) := source upside down: target (x, y) = source (x, H - 1 - y).
void FlipVertical(const TBitmap32& source, TBitmap32& target);
// target (same size as source) := source left to right: target (x, y) = source (W - 1 - x, y).
void MirrorHorizontal(const TBitmap32& source, TBitmap32& target);

// The same two in place, for a raster nothing else needs the old pixels of: each pair of rows
// (or pixels) trades places, so no second store is made.
void FlipVerticalInPlace(TBitmap32& image);
void MirrorHorizontalInPlace(TBitmap32& image);
