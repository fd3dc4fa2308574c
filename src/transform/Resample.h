#pragma once
// The resampling commands that change the stored image ("X2", "1/2", "1/4"). The display
// modes never come here: they scale at drawing time only.

#include "image/Bitmap32.h"

// target := source enlarged twice, every pixel (alpha included) becoming a 2 x 2 block.
// Throws the raster's allocation error, leaving target empty, when the doubled size cannot be had.
void DoubleImage(const TBitmap32& source, TBitmap32& target);

// target := source shrunk by n (2 or 4): each n x n block's red, green and blue averaged with
// the fraction dropped, alpha 0. The last W mod n columns and H mod n rows are not used.
void ReduceImage(const TBitmap32& source, int n, TBitmap32& target);
