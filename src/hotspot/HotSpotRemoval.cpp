#include "hotspot/HotSpotRemoval.h"

#include <QLocale>
#include <algorithm>
#include <new>
#include <vector>

#include "base/KelvoError.h"
#include "base/KelvoUtils.h"
#include "hotspot/HotSpotKernels.h"
#include "tone/PixelFunctions.h"

namespace {

[[noreturn]] void OutOfMemory() {
    throw KelvoError(QStringLiteral("Out of memory"));
}

template <typename T>
void Allocate(std::vector<T>& store, std::size_t count) {
    try {
        store.resize(count);
    } catch (const std::bad_alloc&) {
        OutOfMemory();
    } catch (const std::length_error&) {
        OutOfMemory();
    }
}

}  // namespace

std::optional<double> HotSpotNumber(const QString& text) {
    if (IsBlank(text) || !IsFloatText(text)) return std::nullopt;
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    if (!ok) return std::nullopt;
    return value;
}

void MakeBars(TBitmap32& image) {
    if (image.Empty()) return;
    const int width = image.Width();
    if (width < 9) throw KelvoError(QString::fromLatin1(kTooNarrowForBars));
    const int barWidth = width / 9;
    TColor32* first = image.ScanLine(0);
    for (int x = 0; x < width; ++x) {
        const int level = std::min(255, 32 * (x / barWidth));
        first[x] = MakeColor(level, level, level);
    }
    for (int y = 1; y < image.Height(); ++y)
        std::copy(first, first + width, image.ScanLine(y));
}

THotSpotMask::THotSpotMask(const TBitmap32& hotSpot, double offset, double multiplier) {
    try {
        FHotSpot.Assign(hotSpot);
    } catch (const KelvoError&) {
        OutOfMemory();
    }
    FWidth = FHotSpot.Width();
    FHeight = FHotSpot.Height();
    SetFactors(offset, multiplier);
}

THotSpotMask::THotSpotMask(TBitmap32&& hotSpot, double offset, double multiplier) {
    FHotSpot.Assign(std::move(hotSpot));
    FWidth = FHotSpot.Width();
    FHeight = FHotSpot.Height();
    SetFactors(offset, multiplier);
}

void THotSpotMask::SetFactors(double offset, double multiplier) {
    FMultiplier = multiplier;
    FOffsetTerm = offset / 100;
}

void THotSpotMask::SmoothMask(int n) noexcept {
    const bool applies = n >= 2 && n <= 5 && FWidth >= n && FHeight >= n;
    FSmoothing = applies ? n : 1;
}

void THotSpotMask::UnsmoothedRow(int y, double* out) const {
    FactorsOfRow(FHotSpot.ScanLine(y), FWidth, FMultiplier, FOffsetTerm, out);
}

void THotSpotMask::FactorRow(int y, double* out) const {
    const int n = FSmoothing;
    if (n == 1 || y > FHeight - n) {
        UnsmoothedRow(y, out);
        return;
    }
    std::vector<double> cells;
    Allocate(cells, std::size_t(n) * std::size_t(FWidth));
    const double* rows[5];
    for (int l = 0; l < n; ++l) {
        UnsmoothedRow(y + l, cells.data() + std::size_t(l) * FWidth);
        rows[l] = cells.data() + std::size_t(l) * FWidth;
    }
    SmoothFactorRow(rows, n, FWidth - n + 1, out);
    std::copy(rows[0] + FWidth - n + 1, rows[0] + FWidth, out + FWidth - n + 1);
}

double THotSpotMask::Factor(int x, int y) const {
    std::vector<double> row;
    Allocate(row, std::size_t(FWidth));
    FactorRow(y, row.data());
    return row[std::size_t(x)];
}

void THotSpotMask::Apply(TBitmap32& target) const {
    const int rows = std::min(FHeight, target.Height());
    const int columns = std::min(FWidth, target.Width());
    if (rows <= 0 || columns <= 0) return;
    const int n = FSmoothing;
    const std::size_t width = std::size_t(FWidth);
    // The unsmoothed rows a group of smoothed rows reads, in turn (row r in slot r mod
    // ringRows), and the factors of one group.
    constexpr int group = kSmoothGroupRows;
    const int ringRows = n > 1 ? n + group - 1 : 1;
    std::vector<double> ring;
    std::vector<double> factors;
    Allocate(ring, std::size_t(ringRows) * width);
    Allocate(factors, std::size_t(group) * width);
    const auto slot = [&](int r) { return ring.data() + std::size_t(r % ringRows) * width; };
    double* outs[group];
    for (int r = 0; r < group; ++r)
        outs[r] = factors.data() + std::size_t(r) * width;
    const int smoothed = FWidth - n + 1;  // columns that have a whole block
    const int lastBlockRow = FHeight - n;
    int filled = 0;  // rows 0..filled-1 have been read into the ring
    int y = 0;
    while (y < rows) {
        if (n == 1) {
            UnsmoothedRow(y, outs[0]);
            ScaleRowByFactors(target.ScanLine(y), outs[0], columns);
            ++y;
            continue;
        }
        if (y > lastBlockRow) {
            // Read while smoothing the rows above it; the ring holds it still.
            ScaleRowByFactors(target.ScanLine(y), slot(y), columns);
            ++y;
            continue;
        }
        const int count = std::min({group, lastBlockRow - y + 1, rows - y});
        for (; filled < y + count + n - 1; ++filled)
            UnsmoothedRow(filled, slot(filled));
        const double* block[group + 4];
        for (int l = 0; l < count + n - 1; ++l)
            block[l] = slot(y + l);
        if (count == group) {
            SmoothFactorRows(block, n, smoothed, outs);
        } else {
            for (int r = 0; r < count; ++r)
                SmoothFactorRow(block + r, n, smoothed, outs[r]);
        }
        for (int r = 0; r < count; ++r) {
            std::copy(block[r] + smoothed, block[r] + FWidth, outs[r] + smoothed);
            ScaleRowByFactors(target.ScanLine(y + r), outs[r], columns);
        }
        y += count;
    }
}

void RemoveHotSpots(TBitmap32&& hotSpot, const THotSpotSettings& settings, TBitmap32& target) {
    if (settings.Bars) MakeBars(hotSpot);
    THotSpotMask mask(std::move(hotSpot), settings.Offset, settings.Multiplier);
    mask.SmoothMask(settings.Smoothing);
    mask.Apply(target);
}
