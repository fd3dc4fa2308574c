#pragma once
// The intensity histogram and the transfer table that every tone command works through, and
// the commands that build their transfer table from the histogram: "&Linear", "Contrast
// Stretch", "Brightness" and "Contrast".
//
// Each command takes the image and, optionally, a TToneGraphs to fill with what the graph
// window shows for it; without one, only the tables the pixels need are computed.

#include <array>
#include <cstdint>

#include "image/Bitmap32.h"

// Intensities R + G + B run 0..765; the tables have three spare entries at the top.
constexpr int kToneTableSize = 769;

// Count of pixels per intensity.
using IntensityHistogram = std::array<std::int32_t, kToneTableSize>;
// The intensity each intensity should become; entries may be negative or above 768.
using TransferTable = std::array<std::int32_t, kToneTableSize>;

// What an operation publishes to the graph window: the histogram it started from, the
// transfer table it applied and the histogram of its result. A flag is set only for the
// charts the operation fills.
struct TToneGraphs {
    IntensityHistogram Before{};
    TransferTable Transfer{};
    IntensityHistogram After{};
    bool HasBefore = false;
    bool HasTransfer = false;
    bool HasAfter = false;
    // Before already holds the histogram of the image as the command finds it (counted while
    // the undo snapshot was copied), so the command need not count it again. It says nothing of
    // whether the command publishes it: that is still HasBefore.
    bool BeforeCounted = false;
};

// Counts the pixels of each intensity; an empty image gives 769 zeros.
void ComputeHistogram(const TBitmap32& image, IntensityHistogram& histogram);
// A pixel copy for TBitmap32::Assign that counts the copied pixels into histogram on the way
// (histogram is zeroed first, also when there is nothing to copy).
TBitmap32::TPixelCopy CountingCopy(IntensityHistogram& histogram);
// Fills graphs->Before with the image's histogram and sets HasBefore, counting only when
// BeforeCounted does not say it is there already. Nothing without graphs.
void FillBefore(const TBitmap32& image, TToneGraphs* graphs);

// Each pixel of intensity s becomes ScaleColor(pixel, (table[s] + 1) / (s + 1)): its channel
// ratios stay and its intensity moves to about table[s]. Alpha becomes 0. With after, the
// histogram of the result is counted in the same pass.
void ApplyTransfer(TBitmap32& image, const TransferTable& table,
                   IntensityHistogram* after = nullptr);
// The same from a kept source into image (sized to match), in one pass: a slider's re-apply
// needs no copy of the source first. With subtractFirst, each channel of the source first
// loses the reference's value (0 where it is not above it).
void ApplyTransfer(const TBitmap32& source, TBitmap32& image, const TransferTable& table,
                   IntensityHistogram* after = nullptr, TColor32 subtractFirst = 0);

// Each pixel becomes (red[R], green[G], blue[B]) with alpha 0: every correction that treats the
// channels one by one reduces to three byte lookups per pixel.
// With after, the histogram of the result is counted in the same pass.
void ApplyChannelTables(TBitmap32& image, const std::uint8_t* red, const std::uint8_t* green,
                        const std::uint8_t* blue, IntensityHistogram* after = nullptr);

// Every pixel becomes ScaleColor(pixel, factor); with after, as ApplyChannelTables.
void ScaleImage(TBitmap32& image, double factor, IntensityHistogram* after = nullptr);

// Slider position -100..100 to its factor position / 100 + 1 (0.00 .. 2.00); brightness uses
// it as a gain, contrast as the slope about the median.
double SliderFactor(int position);

// "&Linear": the equalisation table of the histogram, scaled so that entry 768 is 768.
// Returns false (table untouched) for a histogram without pixels.
bool BuildEqualizationTable(const IntensityHistogram& histogram, TransferTable& table);
// "Contrast Stretch": clips 5 % of the pixels at each end and stretches the rest over
// 0..768, without clamping. Returns false (table untouched) for a histogram without pixels.
bool BuildContrastStretchTable(const IntensityHistogram& histogram, TransferTable& table);
// The first intensity at which the running count exceeds half the pixels (768 when none).
int MedianIntensity(const IntensityHistogram& histogram);
// "Contrast": the line of the given slope through the median, built outward from it by
// repeated addition and subtraction of the slope, each entry rounded half to even.
void BuildContrastTable(const IntensityHistogram& histogram, double slope, TransferTable& table);

// The whole commands on an image. Equalisation and stretch leave an empty image alone and fill
// no graph (the equalisation step would be 0, the stretch would find no bounds).
void EqualizeHistogram(TBitmap32& image, TToneGraphs* graphs = nullptr);
// The same with the image's histogram counted already (by the pass that made the image).
void EqualizeHistogram(TBitmap32& image, const IntensityHistogram& histogram,
                       TToneGraphs* graphs = nullptr);
void ContrastStretch(TBitmap32& image, TToneGraphs* graphs = nullptr);
// The same read from a source and written into a target, which takes the source's size and has
// every pixel written: the window's commands read the undo snapshot and write the image, with
// no copy between them.
void EqualizeHistogram(const TBitmap32& source, TBitmap32& target, TToneGraphs* graphs);
void ContrastStretch(const TBitmap32& source, TBitmap32& target, TToneGraphs* graphs);
// "Subtract": the equalisation of the source with each channel first lowered by the reference's
// (0 where it is not above it). The subtracted picture is never stored: its histogram is counted
// as the source is read, and the table applied to the pixels as they are subtracted again. The
// graphs are the equalisation's, "before" being the subtracted picture.
void EqualizeSubtracted(const TBitmap32& source, TBitmap32& target, TColor32 reference,
                        TToneGraphs* graphs);
// Slider positions -100..100. Brightness fills Before and After, not the transfer table.
void AdjustBrightness(TBitmap32& image, int position, TToneGraphs* graphs = nullptr);
// The slider's re-apply: image becomes the kept source scaled, in one pass, with the same
// pixels as copying the source and then AdjustBrightness. Before is the source's histogram;
// it is computed only when graphs does not hold it yet (HasBefore), so a caller that keeps its
// TToneGraphs while the source stays the same counts the source once.
void AdjustBrightness(const TBitmap32& source, TBitmap32& image, int position,
                      TToneGraphs* graphs = nullptr);
void AdjustContrast(TBitmap32& image, int position, TToneGraphs* graphs = nullptr);
