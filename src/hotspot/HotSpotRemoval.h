#pragma once
// Hot-spot removal: every pixel of a hot-spot image gives a factor, the brighter the smaller,
// and every target pixel is scaled by the factor at the same place.

#include <QString>
#include <optional>

#include "image/Bitmap32.h"

// The reports of a run whose Offset or Multiplier text is not a number (blank included).
inline constexpr const char* kOffsetNotANumber = "Offset must be a number";
inline constexpr const char* kMultiplierNotANumber = "Multiplier must be a number";
// The report of "Make Bars" on an image too narrow to hold nine bars.
inline constexpr const char* kTooNarrowForBars = "Make Bars needs an image at least 9 pixels wide";

// The value of an Offset or Multiplier text: a decimal number as IsFloatText accepts it, in the
// user's locale. A blank text passes IsFloatText but has no value, so it gives nothing too.
std::optional<double> HotSpotNumber(const QString& text);

// Overwrites the image with the test pattern: bar width B = W div 9, column x gets the grey
// level 32 * (x div B), held at 255, in every row (alpha 0). An image narrower than 9 pixels
// has no bar width: it throws KelvoError(kTooNarrowForBars) and the image is left as it was.
void MakeBars(TBitmap32& image);

// The factor grid of one run, sized to the hot-spot image:
//     factor(x, y) = (768 - S) * Multiplier / 768 + Offset / 100
// in double, in that order, with S = red + green + blue of hot-spot pixel (x, y); then, when
// smoothed with n x n blocks, factor(x, y) for x <= W - n and y <= H - n becomes the mean of
// the unsmoothed block extending n - 1 cells right of and below (x, y).
//
// The mask keeps the hot-spot image itself (taken over, or copied) with Offset and Multiplier,
// and forms factors a row at a time while the target is corrected, smoothed ones from
// the rows below. Every factor is the very double the formula gives, so nothing but the memory
// (none beyond the hot-spot image when it is handed over) differs from holding the whole grid.
class THotSpotMask {
  public:
    THotSpotMask() = default;
    // Copies the hot-spot image; throws KelvoError("Out of memory") when the copy cannot be
    // had, and nothing is kept then.
    THotSpotMask(const TBitmap32& hotSpot, double offset, double multiplier);
    // Takes the hot-spot image over without copying; it is left empty.
    THotSpotMask(TBitmap32&& hotSpot, double offset, double multiplier);

    int Width() const noexcept { return FWidth; }
    int Height() const noexcept { return FHeight; }

    // Smooths with n x n blocks, n from 2 to 5; any other n, or a grid narrower or lower than
    // n, leaves the factors unsmoothed. The blocks always read unsmoothed factors, so a later
    // call replaces the block size rather than smoothing twice.
    void SmoothMask(int n) noexcept;
    int Smoothing() const noexcept { return FSmoothing; }  // 1 when unsmoothed

    // The factors of row y (Width() values), smoothed as set.
    void FactorRow(int y, double* out) const;
    double Factor(int x, int y) const;  // one value; forms its whole row

    // Every target pixel (x, y) inside the grid becomes ScaleColor(pixel, factor(x, y)), row by
    // row from the top; pixels outside the hot-spot image's area keep their value. Throws
    // KelvoError("Out of memory") before changing anything when the row buffers cannot be had.
    // The view is not notified.
    void Apply(TBitmap32& target) const;

  private:
    void SetFactors(double offset, double multiplier);
    void UnsmoothedRow(int y, double* out) const;

    int FWidth = 0;
    int FHeight = 0;
    int FSmoothing = 1;
    TBitmap32 FHotSpot;
    double FMultiplier = 1;
    double FOffsetTerm = 0;  // Offset / 100
};

// A whole run on images already loaded: bars over the hot-spot image when asked, the grid, its
// smoothing (1 = none, 2..5) and the correction of the target. The hot-spot image is taken over
// by the grid and left empty. The narrow-image check comes before anything changes.
struct THotSpotSettings {
    double Offset = 0;
    double Multiplier = 1;
    int Smoothing = 1;
    bool Bars = false;
};
void RemoveHotSpots(TBitmap32&& hotSpot, const THotSpotSettings& settings, TBitmap32& target);
