#include "tone/ToneTables.h"

#include <cmath>
#include <cstddef>

#include "tone/PixelFunctions.h"
#include "tone/ToneKernels.h"

namespace {

constexpr int kMaxIntensity = 765;

std::int64_t PixelTotal(const IntensityHistogram& histogram) {
    std::int64_t total = 0;
    for (std::int32_t count : histogram)
        total += count;
    return total;
}

std::int32_t RoundToInt(double value) {
    return std::int32_t(std::rint(value));
}

void FillTransfer(const TransferTable& table, TToneGraphs* graphs) {
    if (!graphs) return;
    graphs->Transfer = table;
    graphs->HasTransfer = true;
}

// Builds a table from the source's histogram, applies it into the target (which may be the
// source) and publishes all three graphs. counted, when given, is the source's histogram
// already. With subtractFirst, the source is taken with each channel lowered by the reference's,
// without storing that picture. Only an empty source gives no table; the target then becomes
// it as it is.
template <typename Build>
void ApplyHistogramTable(const TBitmap32& source, TBitmap32& target, TToneGraphs* graphs,
                         Build build, const IntensityHistogram* counted = nullptr,
                         TColor32 subtractFirst = 0) {
    IntensityHistogram histogram;
    if (counted) {
        histogram = *counted;
    } else if (subtractFirst != 0) {
        histogram.fill(0);
        tonekernels::CountSubtractedIntensities(source.Bits(), source.PixelCount(), subtractFirst,
                                                histogram.data());
    } else if (graphs && graphs->BeforeCounted) {
        histogram = graphs->Before;
    } else {
        ComputeHistogram(source, histogram);
    }
    TransferTable table;
    if (!build(histogram, table)) {
        target.Assign(source);
        return;
    }
    if (graphs) {
        graphs->Before = histogram;
        graphs->HasBefore = true;
    }
    FillTransfer(table, graphs);
    ApplyTransfer(source, target, table, graphs ? &graphs->After : nullptr, subtractFirst);
    if (graphs) graphs->HasAfter = true;
}

}  // namespace

void ComputeHistogram(const TBitmap32& image, IntensityHistogram& histogram) {
    histogram.fill(0);
    tonekernels::CountIntensities(image.Bits(), image.PixelCount(), histogram.data());
}

TBitmap32::TPixelCopy CountingCopy(IntensityHistogram& histogram) {
    histogram.fill(0);
    return [&histogram](const TColor32* from, TColor32* to, std::size_t count) {
        tonekernels::CountIntensities(from, count, histogram.data(), to);
    };
}

void FillBefore(const TBitmap32& image, TToneGraphs* graphs) {
    if (!graphs) return;
    if (!graphs->BeforeCounted) ComputeHistogram(image, graphs->Before);
    graphs->HasBefore = true;
}

void ApplyChannelTables(TBitmap32& image, const std::uint8_t* red, const std::uint8_t* green,
                        const std::uint8_t* blue, IntensityHistogram* after) {
    if (after) after->fill(0);
    tonekernels::ApplyChannelTables(image.Bits(), image.Bits(), image.PixelCount(), red, green,
                                    blue, after ? after->data() : nullptr);
}

void ApplyTransfer(TBitmap32& image, const TransferTable& table, IntensityHistogram* after) {
    ApplyTransfer(image, image, table, after);
}

void ApplyTransfer(const TBitmap32& source, TBitmap32& image, const TransferTable& table,
                   IntensityHistogram* after, TColor32 subtractFirst) {
    if (after) after->fill(0);
    if (&source != &image) image.SetSize(source.Width(), source.Height());
    if (source.Empty()) return;
    double factors[kMaxIntensity + 1];
    for (int s = 0; s <= kMaxIntensity; ++s)
        factors[s] = (double(table[s]) + 1.0) / double(s + 1);
    tonekernels::ApplyIntensityFactors(source.Bits(), image.Bits(), source.PixelCount(), factors,
                                       after ? after->data() : nullptr, subtractFirst);
}

namespace {

struct TScaleTable {
    std::uint8_t Results[256];
    explicit TScaleTable(double factor) {
        for (int v = 0; v < 256; ++v)
            Results[v] = std::uint8_t(ScaleColor(TColor32(v), factor));
    }
};

}  // namespace

void ScaleImage(TBitmap32& image, double factor, IntensityHistogram* after) {
    const TScaleTable table(factor);
    ApplyChannelTables(image, table.Results, table.Results, table.Results, after);
}

double SliderFactor(int position) {
    return double(position) / 100.0 + 1.0;
}

bool BuildEqualizationTable(const IntensityHistogram& histogram, TransferTable& table) {
    const std::int64_t total = PixelTotal(histogram);
    if (total == 0) return false;
    const double step = double(total) / 768.0;
    double accumulated = 0.0;
    double level = 0.0;
    for (int s = 0; s < kToneTableSize; ++s) {
        while (accumulated >= step) {
            accumulated -= step;
            level += 1.0;
        }
        // Only the pixels darker than s have been counted here.
        table[s] = RoundToInt(level);
        accumulated += double(histogram[s]);
    }
    const double scale = 768.0 / level;
    for (int s = 0; s < kToneTableSize; ++s)
        table[s] = RoundToInt(double(table[s]) * scale);
    return true;
}

bool BuildContrastStretchTable(const IntensityHistogram& histogram, TransferTable& table) {
    const std::int64_t cut = PixelTotal(histogram) / 20;
    int low = -1;
    std::int64_t running = 0;
    for (int s = 0; s < kToneTableSize && low < 0; ++s) {
        running += histogram[s];
        if (running > cut) low = s;
    }
    int high = -1;
    running = 0;
    for (int s = kToneTableSize - 1; s >= 0 && high < 0; --s) {
        running += histogram[s];
        if (running > cut) high = s;
    }
    if (low < 0 || high < 0) return false;
    const double scale = 768.0 / double(high - low + 1);
    for (int s = 0; s < kToneTableSize; ++s)
        table[s] = RoundToInt(double(s - low) * scale);
    return true;
}

int MedianIntensity(const IntensityHistogram& histogram) {
    const std::int64_t half = PixelTotal(histogram) / 2;
    std::int64_t running = 0;
    for (int s = 0; s < kToneTableSize; ++s) {
        running += histogram[s];
        if (running > half) return s;
    }
    return kToneTableSize - 1;
}

void BuildContrastTable(const IntensityHistogram& histogram, double slope, TransferTable& table) {
    const int median = MedianIntensity(histogram);
    // Stepping by repeated addition, not median + (s - median) * slope: the accumulated
    // rounding of the steps decides some entries.
    double q = median;
    for (int s = median; s >= 0; --s) {
        table[s] = RoundToInt(q);
        q -= slope;
    }
    q = median;
    for (int s = median; s < kToneTableSize; ++s) {
        table[s] = RoundToInt(q);
        q += slope;
    }
}

void EqualizeHistogram(TBitmap32& image, TToneGraphs* graphs) {
    ApplyHistogramTable(image, image, graphs, BuildEqualizationTable);
}

void EqualizeHistogram(TBitmap32& image, const IntensityHistogram& histogram, TToneGraphs* graphs) {
    ApplyHistogramTable(image, image, graphs, BuildEqualizationTable, &histogram);
}

void EqualizeHistogram(const TBitmap32& source, TBitmap32& target, TToneGraphs* graphs) {
    ApplyHistogramTable(source, target, graphs, BuildEqualizationTable);
}

void ContrastStretch(TBitmap32& image, TToneGraphs* graphs) {
    ApplyHistogramTable(image, image, graphs, BuildContrastStretchTable);
}

void ContrastStretch(const TBitmap32& source, TBitmap32& target, TToneGraphs* graphs) {
    ApplyHistogramTable(source, target, graphs, BuildContrastStretchTable);
}

void EqualizeSubtracted(const TBitmap32& source, TBitmap32& target, TColor32 reference,
                        TToneGraphs* graphs) {
    ApplyHistogramTable(source, target, graphs, BuildEqualizationTable, nullptr, reference);
}

void AdjustBrightness(TBitmap32& image, int position, TToneGraphs* graphs) {
    FillBefore(image, graphs);
    ScaleImage(image, SliderFactor(position), graphs ? &graphs->After : nullptr);
    if (graphs) graphs->HasAfter = true;
}

void AdjustBrightness(const TBitmap32& source, TBitmap32& image, int position,
                      TToneGraphs* graphs) {
    if (graphs && !graphs->HasBefore) FillBefore(source, graphs);
    if (image.Width() != source.Width() || image.Height() != source.Height())
        image.SetSize(source.Width(), source.Height());
    const TScaleTable table(SliderFactor(position));
    if (graphs) graphs->After.fill(0);
    tonekernels::ApplyChannelTables(source.Bits(), image.Bits(), source.PixelCount(), table.Results,
                                    table.Results, table.Results,
                                    graphs ? graphs->After.data() : nullptr);
    if (graphs) graphs->HasAfter = true;
}

void AdjustContrast(TBitmap32& image, int position, TToneGraphs* graphs) {
    ApplyHistogramTable(image, image, graphs,
                        [slope = SliderFactor(position)](const IntensityHistogram& histogram,
                                                         TransferTable& table) {
                            BuildContrastTable(histogram, slope, table);
                            return true;
                        });
}
