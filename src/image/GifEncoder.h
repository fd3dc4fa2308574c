#pragma once
// One-image GIF in the 216-colour cube (levels 0, 51, ..., 255; colour (r, g, b) at index
// 36r + 6g + b), optionally with one transparent colour.

#include "image/Bitmap32.h"

class TAtomicFile;

// transparentIndex < 0: no transparency, written as GIF87a. Otherwise every pixel whose R,G,B
// equal transparentColor's exactly gets that index and a graphics control block marks it
// transparent (GIF89a). Throws KelvoError.
void EncodeGif(TAtomicFile& file, const TBitmap32& image, int transparentIndex,
               TColor32 transparentColor);

// Index in the cube palette of a colour after reduction.
int ColorCubeIndexOf(TColor32 color);
