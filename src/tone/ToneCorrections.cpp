#include "tone/ToneCorrections.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "base/IniFile.h"
#include "base/KelvoError.h"
#include "tone/PixelFunctions.h"
#include "tone/ToneKernels.h"

namespace {

const QString kColorCastSection = QStringLiteral("ColorCast");

// Runs a per-pixel effect between the "before" and "after" histograms.
template <typename Effect>
void WithHistograms(TBitmap32& image, TToneGraphs* graphs, Effect effect) {
    FillBefore(image, graphs);
    effect();
    if (!graphs) return;
    ComputeHistogram(image, graphs->After);
    graphs->HasAfter = true;
}

// The channel table of "Make Black/White" for one channel: the black reference subtracted
// (0 where the channel is not above it), then the factor.
void BlackWhiteChannel(int black, double factor, std::uint8_t* results) {
    for (int v = 0; v < 256; ++v)
        results[v] = std::uint8_t(ScaleChannel(black < v ? v - black : 0, factor));
}

void SubtractedChannel(int reference, std::uint8_t* results) {
    for (int v = 0; v < 256; ++v)
        results[v] = std::uint8_t(reference < v ? v - reference : 0);
}

}  // namespace

double CheckedDivide(double numerator, double denominator) {
    if (denominator == 0.0)
        throw KelvoError(numerator == 0.0 ? QStringLiteral("Invalid floating point operation")
                                          : QStringLiteral("Floating point division by zero"));
    return numerator / denominator;
}

TColorCastFactors MakeWhiteFactors(TColor32 reference) {
    const TRgb c = SplitColor(reference);
    TColorCastFactors factors;
    factors.Red = CheckedDivide(255.0, c.R);
    factors.Green = CheckedDivide(255.0, c.G);
    factors.Blue = CheckedDivide(255.0, c.B);
    return factors;
}

TColorCastFactors RemoveColorCastFactors(TColor32 reference) {
    const TRgb c = SplitColor(reference);
    const int average = Intensity(reference) / 3;
    TColorCastFactors factors;
    factors.Red = CheckedDivide(average, c.R);
    factors.Green = CheckedDivide(average, c.G);
    factors.Blue = CheckedDivide(average, c.B);
    return factors;
}

TColorCastFactors BlackWhiteFactors(TColor32 black, TColor32 white) {
    const TRgb b = SplitColor(black);
    const TRgb w = SplitColor(white);
    TColorCastFactors factors;
    factors.Red = CheckedDivide(255.0, w.R - b.R);
    factors.Green = CheckedDivide(255.0, w.G - b.G);
    factors.Blue = CheckedDivide(255.0, w.B - b.B);
    return factors;
}

double MakeGreyFactor(TColor32 reference) {
    return CheckedDivide(384.0, Intensity(reference));
}

void ApplyColorCast(TBitmap32& image, const TColorCastFactors& factors) {
    std::uint8_t red[256], green[256], blue[256];
    for (int v = 0; v < 256; ++v) {
        red[v] = std::uint8_t(ScaleChannel(v, factors.Red));
        green[v] = std::uint8_t(ScaleChannel(v, factors.Green));
        blue[v] = std::uint8_t(ScaleChannel(v, factors.Blue));
    }
    ApplyChannelTables(image, red, green, blue);
}

void ApplyBlackWhite(TBitmap32& image, TColor32 black, const TColorCastFactors& factors) {
    const TRgb b = SplitColor(black);
    std::uint8_t red[256], green[256], blue[256];
    BlackWhiteChannel(b.R, factors.Red, red);
    BlackWhiteChannel(b.G, factors.Green, green);
    BlackWhiteChannel(b.B, factors.Blue, blue);
    ApplyChannelTables(image, red, green, blue);
}

void BuildMakeBlackTable(int referenceIntensity, TransferTable& table) {
    const int v = referenceIntensity;
    for (int s = 0; s < kToneTableSize; ++s)
        table[s] = s < v ? 0 : std::int32_t(std::rint(double((s - v) * 768) / double(768 - v)));
}

void SubtractColor(TBitmap32& image, TColor32 reference, IntensityHistogram* after) {
    const TRgb c = SplitColor(reference);
    std::uint8_t red[256], green[256], blue[256];
    SubtractedChannel(c.R, red);
    SubtractedChannel(c.G, green);
    SubtractedChannel(c.B, blue);
    ApplyChannelTables(image, red, green, blue, after);
}

TColorCastFactors MakeWhite(TBitmap32& image, TColor32 reference) {
    const TColorCastFactors factors = MakeWhiteFactors(reference);
    ApplyColorCast(image, factors);
    return factors;
}

TColorCastFactors RemoveColorCast(TBitmap32& image, TColor32 reference) {
    const TColorCastFactors factors = RemoveColorCastFactors(reference);
    ApplyColorCast(image, factors);
    return factors;
}

TColorCastFactors MakeBlackWhite(TBitmap32& image, TColor32 black, TColor32 white) {
    const TColorCastFactors factors = BlackWhiteFactors(black, white);
    ApplyBlackWhite(image, black, factors);
    return factors;
}

void MakeGrey(TBitmap32& image, TColor32 reference) {
    ScaleImage(image, MakeGreyFactor(reference));
}

void MakeBlack(TBitmap32& image, TColor32 reference) {
    TransferTable table;
    BuildMakeBlackTable(Intensity(reference), table);
    ApplyTransfer(image, table);
}

void Subtract(TBitmap32& image, TColor32 reference, TToneGraphs* graphs) {
    // A histogram counted before the subtraction is not the one the equalisation starts from.
    if (graphs) graphs->BeforeCounted = false;
    EqualizeSubtracted(image, image, reference, graphs);
}

TColorCastFactors LoadColorCast(const TIniFile& settings) {
    TColorCastFactors factors;
    factors.Red = settings.ReadFloat(kColorCastSection, QStringLiteral("Red"), 0.0);
    factors.Green = settings.ReadFloat(kColorCastSection, QStringLiteral("Green"), 0.0);
    factors.Blue = settings.ReadFloat(kColorCastSection, QStringLiteral("Blue"), 0.0);
    return factors;
}

void SaveColorCast(TIniFile& settings, const TColorCastFactors& factors) {
    settings.WriteFloat(kColorCastSection, QStringLiteral("Red"), factors.Red);
    settings.WriteFloat(kColorCastSection, QStringLiteral("Green"), factors.Green);
    settings.WriteFloat(kColorCastSection, QStringLiteral("Blue"), factors.Blue);
}

void Negative(TBitmap32& image, TToneGraphs* graphs) {
    WithHistograms(image, graphs, [&image] {
        TColor32* pixel = image.Bits();
        tonekernels::ForEachPixelRun(image.PixelCount(),
                                     [pixel](std::size_t begin, std::size_t end) {
                                         for (std::size_t i = begin; i < end; ++i)
                                             pixel[i] = ~pixel[i] & 0x00FFFFFFu;
                                     });
    });
}

void IsoBrightness(TBitmap32& image, int step, TToneGraphs* graphs) {
    WithHistograms(image, graphs, [&image, step] {
        // A pixel depends on nothing but itself, so the image changes in place. Each pixel is
        // masked (all ones keeps it, zero blackens it) rather than branched on: a photo's
        // mixed bands would mispredict.
        TColor32* pixel = image.Bits();
        const std::size_t count = image.PixelCount();
        if ((step & (step - 1)) == 0) {
            // The menu's steps are powers of two: the band is a shift, and the loop vectorises.
            const int shift = std::countr_zero(unsigned(step));
            for (std::size_t i = 0; i < count; ++i)
                pixel[i] &= 0u - ((TColor32(Intensity(pixel[i])) >> shift) & 1u);
            return;
        }
        TColor32 keep[766];
        for (int s = 0; s < 766; ++s)
            keep[s] = (s / step) % 2 == 1 ? 0xFFFFFFFFu : 0u;
        for (std::size_t i = 0; i < count; ++i)
            pixel[i] &= keep[Intensity(pixel[i])];
    });
}

int WashoutLevel(int value) {
    constexpr int kBase = 255 - 75;
    return int(std::rint(kBase + double(kBase * value) / 255.0));
}

void Washout(TBitmap32& image, TToneGraphs* graphs) {
    FillBefore(image, graphs);
    std::uint8_t results[256];
    for (int v = 0; v < 256; ++v) {
        const double factor = double(WashoutLevel(v) + 1) / double(v + 1);
        results[v] = std::uint8_t(ScaleChannel(v, factor));
    }
    // The histogram after is counted while the pixels are written.
    ApplyChannelTables(image, results, results, results, graphs ? &graphs->After : nullptr);
    if (graphs) graphs->HasAfter = true;
}

void BlackAndWhite(TBitmap32& image, int cutoff, TToneGraphs* graphs) {
    WithHistograms(image, graphs, [&image, cutoff] {
        const int threshold = 3 * cutoff;
        TColor32* pixel = image.Bits();
        tonekernels::ForEachPixelRun(
            image.PixelCount(), [pixel, threshold](std::size_t begin, std::size_t end) {
                for (std::size_t i = begin; i < end; ++i)
                    pixel[i] = threshold < Intensity(pixel[i]) ? MakeColor(255, 255, 255) : 0;
            });
    });
}
