#pragma once
// Reading image files into a raster. The decoder is chosen by the end of the file name only;
// each format goes through its own codec library and writes straight into the raster's memory.

#include <QString>

#include "image/Bitmap32.h"
#include "image/PhotoMetadata.h"

enum class TImageFileType { Gif, Bmp, Png, Tiff, Jpeg };

// The decoder chosen by the end of the name, case-insensitive, first match wins: .GIF, .BMP,
// .PNG, .TIF/.TIFF, anything else JPEG.
TImageFileType ImageFileTypeOf(const QString& fileName);

// Decodes the file and assigns the result to image (drawn over black with alpha 255, except
// TIFF and 32-bit BMP which keep alpha).
// Throws KelvoError with the exact messages; the image is left empty on failure.
void LoadImageFromFile(const QString& fileName, TBitmap32& image);

// As LoadImageFromFile, and for a JPEG also what the file carries besides pixels (a picture
// from any other format carries nothing on). upright: a JPEG stored with an EXIF orientation
// of 2..8 is turned upright, and the result says its pixels left the stored orientation.
TKeptMetadata LoadPhotoFromFile(const QString& fileName, TBitmap32& image, bool upright);

// throws "Unable to open file '" + name + "'" / "Unable to create TBitmap buffer"
TBitmap32 ReadTiffFile(const QString& fileName);

// Exchanges bits 0-7 and 16-23 of each of width x height consecutive pixels.
void SwapRedBlue(int width, int height, TColor32* first);
