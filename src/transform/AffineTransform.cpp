#include "transform/AffineTransform.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

// The matrix is composed and mapped in single precision, each product rounded before it is
// added; a fused multiply-add (on a machine or build that offers one) would change the bits.
#pragma GCC optimize("fp-contract=off")

namespace {

// A fixed-point coefficient: x times 4096, to the nearest integer with halves to even, held to
// +-limit. Only a degenerate map reaches the limits, which keep every sum of the walk (two
// steps times coordinates below 2^31, plus an offset) inside 64 bits.
std::int64_t ToFixed(double x, int limitBits) {
    const double limit = double(std::int64_t(1) << limitBits);
    const double scaled = std::nearbyint(x * 4096.0);
    if (!(scaled == scaled)) return 0;
    return std::int64_t(std::clamp(scaled, -limit, limit));
}
constexpr int kStepBits = 31;
constexpr int kOffsetBits = 52;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}
std::int64_t CeilDiv(std::int64_t a, std::int64_t b) {
    return -FloorDiv(-a, b);
}

// Narrows [first, last] to the steps i at which lo <= start + step * i <= hi.
void ClipLinear(std::int64_t start, std::int64_t step, std::int64_t lo, std::int64_t hi,
                std::int64_t& first, std::int64_t& last) {
    if (step == 0) {
        if (start < lo || start > hi) last = first - 1;
        return;
    }
    if (step > 0) {
        first = std::max(first, CeilDiv(lo - start, step));
        last = std::min(last, FloorDiv(hi - start, step));
    } else {
        first = std::max(first, CeilDiv(hi - start, step));
        last = std::min(last, FloorDiv(lo - start, step));
    }
}

// The destination is drawn in square tiles, row by row within a tile, so that whatever the
// angle the source lines one tile reads stay in cache while the tile uses them; each row of a
// tile also prefetches the source it will read two tiles further on, since no hardware
// prefetcher follows a slanted walk. Every pixel is still computed on its own from the exact
// 64-bit sums: the order cannot change a result.
constexpr int kTileRows = 128;
constexpr int kTileColumns = 128;
constexpr int kPrefetchAhead = 2 * kTileColumns;  // pixels along the row

// The part of one destination row that reads the source, and the fixed-point source position
// (plus the rounding 2047) at its next pixel.
struct TRowWalk {
    int Next = 0;  // next column to draw
    int Last = -1;
    std::int64_t U = 0;
    std::int64_t V = 0;
};

void PrefetchSource(const TColor32* bits, std::int64_t offset) {
    // Only a hint: the address ahead may lie outside the source, which a prefetch tolerates,
    // so it is formed without pointer arithmetic.
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(bits) +
                                                     std::uintptr_t(offset) * sizeof(TColor32)));
}

// Draws `count` pixels from position (u, v) (plus the rounding) onwards, every one inside the
// source.
void DrawSpanScalar(TColor32* out, const TColor32* bits, std::int64_t stride, std::int64_t u,
                    std::int64_t v, std::int64_t stepU, std::int64_t stepV, int count) {
    std::int64_t aheadU = u + stepU * kPrefetchAhead;
    std::int64_t aheadV = v + stepV * kPrefetchAhead;
    for (int i = 0; i < count; ++i) {
        PrefetchSource(bits, (aheadV >> 12) * stride + (aheadU >> 12));
        out[i] = bits[(v >> 12) * stride + (u >> 12)];
        u += stepU;
        v += stepV;
        aheadU += stepU;
        aheadV += stepV;
    }
}

// Sixteen pixels a step with a gather. The lanes hold their position relative to the whole
// pixel where the span starts, in 32 bits: floor((4096 a + b) / 4096) = a + floor(b / 4096),
// so splitting off that pixel changes no result, and with steps below 2^22 and spans of at
// most a tile the relative sums stay far inside 32 bits. The relative source offsets lie
// inside the raster, below 2^30.
[[gnu::target("avx512f")]] void DrawSpanAvx512(TColor32* out, const TColor32* bits,
                                               std::int64_t stride, std::int64_t u, std::int64_t v,
                                               std::int64_t stepU, std::int64_t stepV, int count) {
    using TLanes = std::int32_t __attribute__((vector_size(64)));
    const int vectorPixels = count & ~15;
    if (vectorPixels > 0) {
        const TColor32* start = bits + (v >> 12) * stride + (u >> 12);
        const TLanes lane = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
        TLanes lu = int(u & 4095) + lane * int(stepU);
        TLanes lv = int(v & 4095) + lane * int(stepV);
        const int stepU16 = int(stepU * 16);
        const int stepV16 = int(stepV * 16);
        const int rowStride = int(stride);
        // Roughly where each lane will be kPrefetchAhead pixels on; any error only weakens
        // the hint.
        const std::int64_t ahead =
            ((stepV * kPrefetchAhead) >> 12) * stride + ((stepU * kPrefetchAhead) >> 12);
        for (int i = 0; i < vectorPixels; i += 16) {
            const TLanes offsets = (lv >> 12) * rowStride + (lu >> 12);
            for (int l = 0; l < 16; ++l)
                PrefetchSource(start, offsets[l] + ahead);
            const __m512i pixels = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), 0xFFFF,
                                                               __m512i(offsets), start, 4);
            _mm512_storeu_si512(out + i, pixels);
            lu += stepU16;
            lv += stepV16;
        }
    }
    DrawSpanScalar(out + vectorPixels, bits, stride, u + stepU * vectorPixels,
                   v + stepV * vectorPixels, stepU, stepV, count - vectorPixels);
}

using TDrawSpan = void (*)(TColor32*, const TColor32*, std::int64_t, std::int64_t, std::int64_t,
                           std::int64_t, std::int64_t, int);

TDrawSpan SpanDrawer(const TFixedInverse& k, const TBitmap32& source) {
    static const bool avx512 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0;
    }();
    constexpr std::int64_t kLaneStepLimit = std::int64_t(1) << 22;
    const bool fitsLanes = std::abs(k.U1) < kLaneStepLimit && std::abs(k.V1) < kLaneStepLimit &&
                           source.PixelCount() < (std::size_t(1) << 30);
    return avx512 && fitsLanes ? DrawSpanAvx512 : DrawSpanScalar;
}

void DrawThrough(TBitmap32& destination, const TBitmap32& source, const TFixedInverse& k,
                 const TPixelRect& area, const TColor32* fill) {
    const int width = destination.Width();
    const int height = destination.Height();
    // Outside the area nothing is drawn.
    if (fill) {
        for (int y = 0; y < height; ++y) {
            TColor32* row = destination.ScanLine(y);
            if (area.Empty() || y < area.Top || y > area.Bottom) {
                std::fill(row, row + width, *fill);
            } else {
                std::fill(row, row + area.Left, *fill);
                std::fill(row + area.Right + 1, row + width, *fill);
            }
        }
    }
    if (area.Empty() || source.Empty()) return;

    // (p + 2047) >> 12 lies in 0..N-1 exactly when p + 2047 lies in 0..N*4096-1.
    const std::int64_t uLimit = std::int64_t(source.Width()) * 4096 - 1;
    const std::int64_t vLimit = std::int64_t(source.Height()) * 4096 - 1;
    const std::int64_t columns = std::int64_t(area.Right) - area.Left + 1;
    const TColor32* sourceBits = source.Bits();

    const TDrawSpan drawSpan = SpanDrawer(k, source);
    const std::int64_t stride = source.Width();
    TRowWalk walks[kTileRows];
    for (int bandTop = area.Top; bandTop <= area.Bottom; bandTop += kTileRows) {
        const int bandRows = std::min(kTileRows, area.Bottom - bandTop + 1);
        int bandFirst = area.Right + 1;
        int bandLast = area.Left - 1;
        for (int r = 0; r < bandRows; ++r) {
            const int y = bandTop + r;
            const std::int64_t u = k.U1 * area.Left + k.U2 * y + k.U3 + 2047;
            const std::int64_t v = k.V1 * area.Left + k.V2 * y + k.V3 + 2047;
            std::int64_t first = 0;
            std::int64_t last = columns - 1;
            ClipLinear(u, k.U1, 0, uLimit, first, last);
            ClipLinear(v, k.V1, 0, vLimit, first, last);
            TRowWalk& walk = walks[r];
            TColor32* row = destination.ScanLine(y);
            if (first > last) {
                walk = TRowWalk{};
                if (fill) std::fill(row + area.Left, row + area.Right + 1, *fill);
                continue;
            }
            walk.Next = area.Left + int(first);
            walk.Last = area.Left + int(last);
            walk.U = u + k.U1 * first;
            walk.V = v + k.V1 * first;
            if (fill) {
                std::fill(row + area.Left, row + walk.Next, *fill);
                std::fill(row + walk.Last + 1, row + area.Right + 1, *fill);
            }
            bandFirst = std::min(bandFirst, walk.Next);
            bandLast = std::max(bandLast, walk.Last);
        }
        for (int tile = bandFirst; tile <= bandLast; tile += kTileColumns) {
            const int tileLast = std::min(bandLast, tile + kTileColumns - 1);
            for (int r = 0; r < bandRows; ++r) {
                TRowWalk& walk = walks[r];
                const int stop = std::min(walk.Last, tileLast);
                if (walk.Next > stop) continue;
                const int count = stop - walk.Next + 1;
                drawSpan(destination.ScanLine(bandTop + r) + walk.Next, sourceBits, stride, walk.U,
                         walk.V, k.U1, k.V1, count);
                walk.Next = stop + 1;
                walk.U += k.U1 * count;
                walk.V += k.V1 * count;
            }
        }
    }
}

}  // namespace

void TAffineTransformation::Clear() noexcept {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            FMatrix[i][j] = i == j ? 1.0f : 0.0f;
    FInverseValid = false;
}

// New map = step after old: in row-vector terms N[i][j] = sum over n of M[i][n] * S[n][j],
// summed in float from n = 0 up.
void TAffineTransformation::Append(const float (&step)[3][3]) noexcept {
    float result[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            result[i][j] = FMatrix[i][0] * step[0][j] + FMatrix[i][1] * step[1][j] +
                           FMatrix[i][2] * step[2][j];
    std::copy(&result[0][0], &result[0][0] + 9, &FMatrix[0][0]);
    FInverseValid = false;
}

void TAffineTransformation::Translate(float dx, float dy) noexcept {
    const float step[3][3] = {{1, 0, 0}, {0, 1, 0}, {dx, dy, 1}};
    Append(step);
}

void TAffineTransformation::Rotate(float cx, float cy, double degrees) noexcept {
    const double radians = degrees * (std::numbers::pi / 180.0);
    const float s = float(std::sin(radians));
    const float c = float(std::cos(radians));
    const bool aboutOrigin = cx == 0 && cy == 0;
    if (!aboutOrigin) Translate(-cx, -cy);
    const float step[3][3] = {{c, -s, 0}, {s, c, 0}, {0, 0, 1}};
    Append(step);
    if (!aboutOrigin) Translate(cx, cy);
}

TFloatPoint TAffineTransformation::Map(float x, float y) const {
    return {FMatrix[0][0] * x + FMatrix[1][0] * y + FMatrix[2][0],
            FMatrix[0][1] * x + FMatrix[1][1] * y + FMatrix[2][1]};
}

const TFixedInverse& TAffineTransformation::FixedInverse() {
    if (FInverseValid) return FInverse;
    // Products of two floats are exact in double, so each numerator is rounded once.
    const double a = FMatrix[0][0], b = FMatrix[1][0], tx = FMatrix[2][0];
    const double c = FMatrix[0][1], d = FMatrix[1][1], ty = FMatrix[2][1];
    const double determinant = a * d - b * c;
    FInverse.U1 = ToFixed(d / determinant, kStepBits);
    FInverse.U2 = ToFixed(-b / determinant, kStepBits);
    FInverse.U3 = ToFixed((b * ty - d * tx) / determinant, kOffsetBits);
    FInverse.V1 = ToFixed(-c / determinant, kStepBits);
    FInverse.V2 = ToFixed(a / determinant, kStepBits);
    FInverse.V3 = ToFixed((c * tx - a * ty) / determinant, kOffsetBits);
    FInverseValid = true;
    return FInverse;
}

TPixelRect TAffineTransformation::DestinationArea(int width, int height) const {
    const TFloatRect& r = SourceRect();
    const TFloatPoint corners[4] = {Map(r.Left, r.Top), Map(r.Right, r.Top), Map(r.Right, r.Bottom),
                                    Map(r.Left, r.Bottom)};
    float minX = corners[0].X, maxX = corners[0].X;
    float minY = corners[0].Y, maxY = corners[0].Y;
    for (const TFloatPoint& p : corners) {
        minX = std::min(minX, p.X);
        maxX = std::max(maxX, p.X);
        minY = std::min(minY, p.Y);
        maxY = std::max(maxY, p.Y);
    }
    // Clamped as doubles first: a far-off corner must not overflow the int conversion.
    const auto bound = [](double value, int limit) {
        return int(std::clamp(std::nearbyint(value), -1.0, double(limit)));
    };
    TPixelRect area;
    area.Left = std::max(0, bound(double(minX) - 0.5, width));
    area.Right = std::min(width - 1, bound(double(maxX) + 0.5, width));
    area.Top = std::max(0, bound(double(minY) - 0.5, height));
    area.Bottom = std::min(height - 1, bound(double(maxY) + 0.5, height));
    return area;
}

void Transform(TBitmap32& destination, const TBitmap32& source,
               TAffineTransformation& transformation) {
    const TFixedInverse& inverse = transformation.FixedInverse();
    const TPixelRect area =
        transformation.DestinationArea(destination.Width(), destination.Height());
    DrawThrough(destination, source, inverse, area, nullptr);
}

TAffineTransformation CentredRotation(int width, int height, double degrees) {
    TAffineTransformation map;
    map.SetSourceRect({0, 0, float(width), float(height)});
    map.Clear();
    const float cx = float(width - 1) / 2;
    const float cy = float(height - 1) / 2;
    map.Translate(-cx, -cy);
    map.Rotate(0, 0, degrees);
    map.Translate(cx, cy);
    return map;
}

void RotateImage(const TBitmap32& source, double degrees, TBitmap32& target) {
    target.SetSize(source.Width(), source.Height());
    TAffineTransformation map = CentredRotation(source.Width(), source.Height(), degrees);
    const TColor32 fill = kRotationFill;
    DrawThrough(target, source, map.FixedInverse(),
                map.DestinationArea(target.Width(), target.Height()), &fill);
}
