#pragma once

#include <QString>

#include "image/Bitmap32.h"

// Decodes the first frame of a GIF file, drawn at 1:1 onto a black logical screen (alpha 255);
// transparent pixels stay black. Failures carry giflib's own message.
void DecodeGifFile(const QString& fileName, TBitmap32& image);
