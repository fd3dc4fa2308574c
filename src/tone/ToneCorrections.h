#pragma once
// The corrections that take their measure from reference pixels the user picks ("Make White",
// "Remove Color Cast", "Make Black/White", "Make Grey", "Make Black", "Subtract"), the stored
// colour-cast factors, and the fixed whole-image effects ("Negative", "IsoBrightness",
// "Washout", "Make Black and White").
//
// A reference pixel that would divide by zero throws KelvoError with the program's
// floating-point texts before anything changes: "Floating point division by zero" for x / 0,
// "Invalid floating point operation" for 0 / 0. Factors are returned only when all three were
// computed, so a failure never leaves a mix of two references behind.

#include "image/Bitmap32.h"
#include "tone/ToneTables.h"

class TIniFile;

// Per-channel gains, the "[ColorCast] Red/Green/Blue" of the settings file.
struct TColorCastFactors {
    double Red = 0.0;
    double Green = 0.0;
    double Blue = 0.0;
    // "Remove Color Cast Again" is offered once any factor is not 0.
    bool Any() const { return Red != 0.0 || Green != 0.0 || Blue != 0.0; }
    friend bool operator==(const TColorCastFactors&, const TColorCastFactors&) = default;
};

// numerator / denominator, throwing the program's floating-point error when the denominator
// is 0.
double CheckedDivide(double numerator, double denominator);

// "Make White": 255 / R, 255 / G, 255 / B of the reference.
TColorCastFactors MakeWhiteFactors(TColor32 reference);
// "Remove Color Cast": (R + G + B) div 3 over each channel of the reference.
TColorCastFactors RemoveColorCastFactors(TColor32 reference);
// "Make Black/White": 255 over each channel's distance from the black to the white
// reference. A white channel darker than the black one gives a negative factor, which holds
// that channel at 0.
TColorCastFactors BlackWhiteFactors(TColor32 black, TColor32 white);
// "Make Grey": 384 / (R + G + B), the gain that brings the reference to intensity 384.
double MakeGreyFactor(TColor32 reference);

// Every pixel becomes ScaleChannels(pixel, red, green, blue): "Make White", "Remove Color
// Cast" and "Remove Color Cast Again".
void ApplyColorCast(TBitmap32& image, const TColorCastFactors& factors);
// Each channel first loses the black reference's value (0 where it is not above it), then
// takes its factor: black maps to 0 and the white reference to 255.
void ApplyBlackWhite(TBitmap32& image, TColor32 black, const TColorCastFactors& factors);
// "Make Black": intensities up to the reference's go black; the rest stretch over 0..768.
void BuildMakeBlackTable(int referenceIntensity, TransferTable& table);
// Each channel loses the reference's value (0 where it is not above it); no equalisation. With
// after, the result's histogram is counted in the same pass.
void SubtractColor(TBitmap32& image, TColor32 reference, IntensityHistogram* after = nullptr);

// The whole click commands, from the reference pixel(s) on. The factor-based ones return the
// factors they applied, for the caller to store. An error leaves the image unchanged.
TColorCastFactors MakeWhite(TBitmap32& image, TColor32 reference);
TColorCastFactors RemoveColorCast(TBitmap32& image, TColor32 reference);
TColorCastFactors MakeBlackWhite(TBitmap32& image, TColor32 black, TColor32 white);
void MakeGrey(TBitmap32& image, TColor32 reference);
void MakeBlack(TBitmap32& image, TColor32 reference);
// The subtraction, then "&Linear"; the graphs are those of the equalisation, its "before"
// being the subtracted image.
void Subtract(TBitmap32& image, TColor32 reference, TToneGraphs* graphs = nullptr);

// The factors stored in the settings file; a missing value reads as 0.
TColorCastFactors LoadColorCast(const TIniFile& settings);
// Writes Red, Green and Blue, in that order, as floating-point text.
void SaveColorCast(TIniFile& settings, const TColorCastFactors& factors);

// The fixed effects. Each fills Before and After of the graphs when given, never the
// transfer table.
void Negative(TBitmap32& image, TToneGraphs* graphs = nullptr);
// Pixels whose intensity div step is even turn black (all 32 bits 0); the others keep their
// value, alpha included. step is 32, 64 or 128 from the menu; any positive step works.
void IsoBrightness(TBitmap32& image, int step, TToneGraphs* graphs = nullptr);
void Washout(TBitmap32& image, TToneGraphs* graphs = nullptr);
// The washout channel table, W[v] = round(180 + 180 * v / 255).
int WashoutLevel(int value);
// "Make Black and White": white where R + G + B > 3 * cutoff, black elsewhere.
void BlackAndWhite(TBitmap32& image, int cutoff, TToneGraphs* graphs = nullptr);
