#pragma once

#include <QString>

#include "image/Bitmap32.h"

// Reads a BMP file. A 32-bit file keeps its values, the alpha byte included, exactly as stored;
// every other depth (palettes, RLE, 16/24-bit, bit fields, OS/2 headers, top-down rows) is
// decoded by Qt's BMP reader and drawn over black with alpha 255.
void DecodeBmpFile(const QString& fileName, TBitmap32& image);
