#pragma once

#include <QString>

#include "image/Bitmap32.h"

// Reads a BMP file: 1-, 2-, 4- and 8-bit palettes, RLE8 and RLE4, 16-bit (5-5-5 or bit fields),
// 24-bit and 32-bit, Windows and OS/2 headers, either row order. A 32-bit file keeps its values,
// the alpha byte included, exactly as stored; every other depth is opaque (alpha 255), except
// the pixels an RLE stream skips, which stay 0 (black, alpha 0). Throws KelvoError
// ("BMP file is truncated" when stored rows or RLE data end early); the image is then
// unspecified and the loader empties it.
void DecodeBmpFile(const QString& fileName, TBitmap32& image);
