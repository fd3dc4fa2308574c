#pragma once
// Free rotation: a planar affine map in single precision, its fixed-point inverse, and the
// nearest-pixel resampling that draws a source raster through it.

#include <cstdint>

#include "image/Bitmap32.h"

struct TFloatPoint {
    float X = 0;
    float Y = 0;
};

struct TFloatRect {
    float Left = 0;
    float Top = 0;
    float Right = 0;
    float Bottom = 0;
};

// Destination pixel rectangle, both bounds included; empty when Right < Left or Bottom < Top.
struct TPixelRect {
    int Left = 0;
    int Top = 0;
    int Right = -1;
    int Bottom = -1;
    bool Empty() const noexcept { return Right < Left || Bottom < Top; }
};

// The inverse map in units of 1/4096 pixel: source position u = (U1 x + U2 y + U3) / 4096,
// v = (V1 x + V2 y + V3) / 4096 for destination pixel (x, y). 64 bits wide, like the sums they
// enter: a raster may be wider than 2^31 / 4096 pixels, and the offsets grow with the width.
struct TFixedInverse {
    std::int64_t U1 = 0, U2 = 0, U3 = 0;
    std::int64_t V1 = 0, V2 = 0, V3 = 0;
};

// A map from source to destination coordinates over a source rectangle.
class TTransformation {
  public:
    virtual ~TTransformation() = default;
    virtual TFloatPoint Map(float x, float y) const = 0;

    const TFloatRect& SourceRect() const noexcept { return FSourceRect; }
    void SetSourceRect(const TFloatRect& rect) noexcept { FSourceRect = rect; }

  private:
    TFloatRect FSourceRect;
};

// Matrix M[i][j] in single precision: x' = M[0][0] x + M[1][0] y + M[2][0],
// y' = M[0][1] x + M[1][1] y + M[2][1]. Each appended step applies after the map built so far.
class TAffineTransformation : public TTransformation {
  public:
    TAffineTransformation() { Clear(); }

    void Clear() noexcept;  // back to the identity
    void Translate(float dx, float dy) noexcept;
    // Turns by `degrees` about (cx, cy); with y growing downwards a positive angle turns the
    // picture counter-clockwise on the screen.
    void Rotate(float cx, float cy, double degrees) noexcept;

    TFloatPoint Map(float x, float y) const override;
    float Matrix(int i, int j) const noexcept { return FMatrix[i][j]; }

    // The inverse of the single-precision matrix, each coefficient times 4096 rounded half to
    // even. Formed in double from the float entries, so it is the nearest fixed-point value to
    // the exact inverse of the matrix held here. Recomputed only after the matrix changed.
    const TFixedInverse& FixedInverse();

    // The destination pixels the mapped source rectangle can reach: the bounding box of its
    // four mapped corners widened outwards, left = round(min x' - 0.5), right =
    // round(max x' + 0.5), likewise vertically; then cut to 0..width-1 x 0..height-1.
    TPixelRect DestinationArea(int width, int height) const;

  private:
    void Append(const float (&step)[3][3]) noexcept;

    float FMatrix[3][3];
    TFixedInverse FInverse;
    bool FInverseValid = false;
};

// The opaque mid grey that frame areas no source pixel reaches are filled with.
inline constexpr TColor32 kRotationFill = 0xFF7F7F7F;

// Every destination pixel of the transformation's destination area whose inverse-mapped
// position, rounded to the nearest pixel (an exact half rounding down), lies inside the source
// becomes that source pixel, alpha included; every other destination pixel keeps its value.
// Source and destination must be different rasters.
void Transform(TBitmap32& destination, const TBitmap32& source,
               TAffineTransformation& transformation);

// The map of a turn by `degrees` about the centre ((W-1)/2, (H-1)/2) of a W x H raster, over
// the source rectangle (0, 0, W, H).
TAffineTransformation CentredRotation(int width, int height, double degrees);

// One rendering of the free rotation: the target gets the source's size, is filled with
// kRotationFill and the source is drawn into it turned by `degrees` about its centre. Equal to
// SetSize + Clear(kRotationFill) + Transform, in one pass over the target. The target must not
// be the source. Does not notify the view.
void RotateImage(const TBitmap32& source, double degrees, TBitmap32& target);
