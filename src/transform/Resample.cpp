#include "transform/Resample.h"

#include <QString>
#include <climits>
#include <cstring>

#include "base/KelvoError.h"

void DoubleImage(const TBitmap32& source, TBitmap32& target) {
    const std::int64_t width = std::int64_t(source.Width()) * 2;
    const std::int64_t height = std::int64_t(source.Height()) * 2;
    if (width > INT_MAX || height > INT_MAX) {
        target.AssignEmpty();
        throw KelvoError(QString::fromLatin1(TBitmap32::kAllocationFailure));
    }
    target.SetSize(int(width), int(height));
    const int sourceWidth = source.Width();
    const std::size_t rowBytes = std::size_t(width) * sizeof(TColor32);
    for (int y = 0; y < source.Height(); ++y) {
        const TColor32* in = source.ScanLine(y);
        TColor32* out = target.ScanLine(2 * y);
        for (int x = 0; x < sourceWidth; ++x) {
            out[2 * x] = in[x];
            out[2 * x + 1] = in[x];
        }
        std::memcpy(target.ScanLine(2 * y + 1), out, rowBytes);
    }
    target.Changed();
}

namespace {

// Red and blue are summed together in the two 16-bit halves of one word and green on its own;
// a 4 x 4 block sums to at most 16 * 255 = 4080 per channel, so no lane overflows into the next.
template <int N>
void ReduceRows(const TBitmap32& source, TBitmap32& target) {
    constexpr int kShift = N == 2 ? 2 : 4;  // divide by N * N, all sums being non-negative
    const int width = target.Width();
    for (int r = 0; r < target.Height(); ++r) {
        TColor32* out = target.ScanLine(r);
        const TColor32* rows[N];
        for (int k = 0; k < N; ++k)
            rows[k] = source.ScanLine(N * r + k);
        for (int c = 0; c < width; ++c) {
            std::uint32_t redBlue = 0;
            std::uint32_t green = 0;
            for (int k = 0; k < N; ++k)
                for (int j = 0; j < N; ++j) {
                    const TColor32 p = rows[k][N * c + j];
                    redBlue += p & 0x00FF00FFu;
                    green += p & 0x0000FF00u;
                }
            const std::uint32_t red = (redBlue >> 16) >> kShift;
            const std::uint32_t blue = (redBlue & 0xFFFFu) >> kShift;
            out[c] = (red << 16) | (((green >> 8) >> kShift) << 8) | blue;
        }
    }
}

}  // namespace

void ReduceImage(const TBitmap32& source, int n, TBitmap32& target) {
    target.SetSize(source.Width() / n, source.Height() / n);
    if (n == 2)
        ReduceRows<2>(source, target);
    else if (n == 4)
        ReduceRows<4>(source, target);
    target.Changed();
}
