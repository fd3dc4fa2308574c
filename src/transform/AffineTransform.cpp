#include "transform/AffineTransform.h"

#include <algorithm>
#include <cmath>
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

// Where a destination row runs along the source rows (within about 27 degrees of level),
// whole rows are walked: the source is then read nearly in address order, which the
// prefetchers follow. Steeper, one destination row crosses thousands of source rows, so rows
// are walked in bands and each band in column chunks, keeping the source rows one chunk reads
// in cache. Every pixel is still computed on its own from the exact 64-bit sums: the order
// cannot change a result.
constexpr int kSteepBandRows = 32;
constexpr int kSteepChunkColumns = 64;

// The part of one destination row that reads the source, and the fixed-point source position
// (plus the rounding 2047) at its next pixel.
struct TRowWalk {
    int Next = 0;  // next column to draw
    int Last = -1;
    std::int64_t U = 0;
    std::int64_t V = 0;
};

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
    const std::size_t sourceStride = std::size_t(source.Width());

    const bool steep = 2 * std::abs(k.V1) > std::abs(k.U1);
    const int bandHeight = steep ? kSteepBandRows : 1;
    const int chunkWidth = steep ? kSteepChunkColumns : area.Right - area.Left + 1;
    TRowWalk walks[kSteepBandRows];
    for (int bandTop = area.Top; bandTop <= area.Bottom; bandTop += bandHeight) {
        const int bandRows = std::min(bandHeight, area.Bottom - bandTop + 1);
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
        for (int chunk = bandFirst; chunk <= bandLast; chunk += chunkWidth) {
            const int chunkLast = std::min(bandLast, chunk + chunkWidth - 1);
            for (int r = 0; r < bandRows; ++r) {
                TRowWalk& walk = walks[r];
                const int stop = std::min(walk.Last, chunkLast);
                if (walk.Next > stop) continue;
                TColor32* out = destination.ScanLine(bandTop + r);
                std::int64_t u = walk.U;
                std::int64_t v = walk.V;
                for (int x = walk.Next; x <= stop; ++x) {
                    out[x] = sourceBits[std::size_t(v >> 12) * sourceStride + std::size_t(u >> 12)];
                    u += k.U1;
                    v += k.V1;
                }
                walk.Next = stop + 1;
                walk.U = u;
                walk.V = v;
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
