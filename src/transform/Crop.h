#pragma once
// The crop of a dragged selection, shared by the window (a left drag released on the image)
// and the command-line tool (--crop), so both keep exactly the same pixels.

#include "image/Bitmap32.h"

// A selection in image pixels: columns Left..Right-1 and rows Top..Bottom-1.
struct TSelection {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    // Thinner than this in either direction, a drag is a click and crops nothing.
    static constexpr int kClickSize = 10;
    // Thinner than this, the window asks before cropping.
    static constexpr int kSmallSize = 75;
    bool IsClick() const { return Width() < kClickSize || Height() < kClickSize; }
    bool IsSmall() const { return Width() < kSmallSize || Height() < kSmallSize; }
};

// The selection between a press corner and a release corner given in either order, each
// clamped to 0..width and 0..height (the edges themselves included, so a release past the
// right or bottom edge keeps the last column or row).
TSelection SelectionBetween(std::int64_t pressX, std::int64_t pressY, std::int64_t releaseX,
                            std::int64_t releaseY, int width, int height);

// target becomes the part of source inside the selection, which must lie within source.
// source and target must be different rasters.
void CropImage(const TBitmap32& source, const TSelection& selection, TBitmap32& target);
