#pragma once

#include <QString>

#include "image/Bitmap32.h"

// Decodes a PNG file into the raster, every kind expanded to 8-bit RGBA and drawn over black
// (alpha 255). Gamma information is not applied. Failures carry libpng's own message.
void DecodePngFile(const QString& fileName, TBitmap32& image);
