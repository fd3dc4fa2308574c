#pragma once
// Reading image files into a raster. The decoder is chosen by the table of image/ImageFileTypes.h
// (the file's first bytes, then its ending); each format goes through its own codec library.

#include <QString>

#include "image/Bitmap32.h"
#include "image/PhotoMetadata.h"

#include "image/ImageFileTypes.h"

// Decodes the file and assigns the result to image (drawn over black with alpha 255, except
// TIFF and 32-bit BMP which keep alpha).
// Throws KelvoError with the exact messages; the image is left empty on failure.
void LoadImageFromFile(const QString& fileName, TBitmap32& image);

// As LoadImageFromFile, and for a JPEG, a HEIF and a camera RAW also what the file carries
// besides pixels (a picture from any other format carries nothing on). upright: a JPEG stored
// with an EXIF orientation of 2..8, or a RAW whose preview is stored turned, is turned upright,
// and the result says its pixels left the stored orientation. A HEIF always arrives turned as
// the file says, so its kept EXIF orientation is never applied and never written again.
TKeptMetadata LoadPhotoFromFile(const QString& fileName, TBitmap32& image, bool upright);

// throws "Unable to open file '" + name + "'" / "Unable to create TBitmap buffer"
TBitmap32 ReadTiffFile(const QString& fileName);

// Exchanges bits 0-7 and 16-23 of each of width x height consecutive pixels.
void SwapRedBlue(int width, int height, TColor32* first);
