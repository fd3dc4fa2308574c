#include "image/QuarterTurns.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// Tiles small enough that the source rows and the destination rows of one tile stay in L1,
// so each cache line is fetched once instead of once per pixel. Inside a tile the pixels move
// in 4 x 4 blocks transposed in SSE registers: four 16-byte loads and four 16-byte stores
// instead of sixteen scattered ones.
constexpr int kTile = 64;

inline void Transpose4(__m128i& r0, __m128i& r1, __m128i& r2, __m128i& r3) {
    const __m128i t0 = _mm_unpacklo_epi32(r0, r1);
    const __m128i t1 = _mm_unpacklo_epi32(r2, r3);
    const __m128i t2 = _mm_unpackhi_epi32(r0, r1);
    const __m128i t3 = _mm_unpackhi_epi32(r2, r3);
    r0 = _mm_unpacklo_epi64(t0, t1);
    r1 = _mm_unpackhi_epi64(t0, t1);
    r2 = _mm_unpacklo_epi64(t2, t3);
    r3 = _mm_unpackhi_epi64(t2, t3);
}

inline __m128i Load(const TColor32* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(TColor32* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// One 4 x 4 block: the four source rows, in the order given, are transposed and stored as four
// target rows `step` pixels apart (a negative step walks the target upwards).
inline void MoveTransposed(const TColor32* row0, const TColor32* row1, const TColor32* row2,
                           const TColor32* row3, TColor32* out, std::ptrdiff_t step) {
    __m128i r0 = Load(row0);
    __m128i r1 = Load(row1);
    __m128i r2 = Load(row2);
    __m128i r3 = Load(row3);
    Transpose4(r0, r1, r2, r3);
    Store(out, r0);
    Store(out + step, r1);
    Store(out + 2 * step, r2);
    Store(out + 3 * step, r3);
}

// Moves source pixel (x, y) to target index Place(x, y) for the part of the image that the
// 4 x 4 blocks did not cover (the last width mod 4 columns and height mod 4 rows).
template <typename Place>
void MoveEdges(const TColor32* source, int width, int height, TColor32* target, Place place) {
    const int blockWidth = width & ~3;
    const int blockHeight = height & ~3;
    for (int y = 0; y < height; ++y) {
        const int firstX = y < blockHeight ? blockWidth : 0;
        for (int x = firstX; x < width; ++x)
            target[place(x, y)] = source[std::size_t(y) * width + x];
    }
}

// Walks the 4 x 4 blocks of the source tile by tile, handing each block's top-left pixel and
// its position to moveBlock, then moves the pixels the blocks did not cover to target index
// place(x, y).
template <typename MoveBlock, typename Place>
void TurnByBlocks(const TColor32* source, int width, int height, TColor32* target,
                  MoveBlock moveBlock, Place place) {
    const int blockWidth = width & ~3;
    const int blockHeight = height & ~3;
    for (int y0 = 0; y0 < blockHeight; y0 += kTile) {
        const int y1 = std::min(blockHeight, y0 + kTile);
        for (int x0 = 0; x0 < blockWidth; x0 += kTile) {
            const int x1 = std::min(blockWidth, x0 + kTile);
            for (int x = x0; x < x1; x += 4)
                for (int y = y0; y < y1; y += 4)
                    moveBlock(source + std::size_t(y) * std::size_t(width) + x, x, y);
        }
    }
    MoveEdges(source, width, height, target, place);
}

}  // namespace

void RotateClockwise(const TColor32* source, int width, int height, TColor32* target,
                     std::size_t targetStride) {
    // The turned raster's rows are targetStride pixels apart (its width, or more when it is
    // written into a wider one).
    const std::size_t row = std::size_t(width);
    TurnByBlocks(
        source, width, height, target,
        [&](const TColor32* in, int x, int y) {
            // Rows loaded bottom first, so each transposed row reads bottom to top, which is
            // the order the old column takes in the new row.
            MoveTransposed(in + 3 * row, in + 2 * row, in + row, in,
                           target + std::size_t(x) * targetStride + std::size_t(height - 4 - y),
                           std::ptrdiff_t(targetStride));
        },
        [&](int x, int y) { return std::size_t(x) * targetStride + std::size_t(height - 1 - y); });
}

void RotateCounterClockwise(const TColor32* source, int width, int height, TColor32* target,
                            std::size_t targetStride) {
    const std::size_t row = std::size_t(width);
    TurnByBlocks(
        source, width, height, target,
        [&](const TColor32* in, int x, int y) {
            // Old column x + j becomes new row W - 1 - x - j, read top to bottom.
            MoveTransposed(in, in + row, in + 2 * row, in + 3 * row,
                           target + std::size_t(width - 1 - x) * targetStride + std::size_t(y),
                           -std::ptrdiff_t(targetStride));
        },
        [&](int x, int y) { return std::size_t(width - 1 - x) * targetStride + std::size_t(y); });
}

void FlipVertical(const TBitmap32& source, TBitmap32& target) {
    target.SetSize(source.Width(), source.Height());
    const std::size_t rowBytes = std::size_t(source.Width()) * sizeof(TColor32);
    const int height = source.Height();
    for (int y = 0; y < height; ++y)
        std::memcpy(target.ScanLine(y), source.ScanLine(height - 1 - y), rowBytes);
    target.Changed();
}

void MirrorHorizontal(const TBitmap32& source, TBitmap32& target) {
    target.SetSize(source.Width(), source.Height());
    const int width = source.Width();
    const int blockWidth = width & ~3;
    for (int y = 0; y < source.Height(); ++y) {
        const TColor32* in = source.ScanLine(y);
        TColor32* out = target.ScanLine(y) + width;
        // Four pixels at a time, their order reversed inside the register.
        int x = 0;
        for (; x < blockWidth; x += 4)
            Store(out - x - 4, _mm_shuffle_epi32(Load(in + x), _MM_SHUFFLE(0, 1, 2, 3)));
        for (; x < width; ++x)
            out[-x - 1] = in[x];
    }
    target.Changed();
}

void FlipVerticalInPlace(TBitmap32& image) {
    const int height = image.Height();
    const std::size_t rowBytes = std::size_t(image.Width()) * sizeof(TColor32);
    // One row aside at a time: three row copies per pair, each a straight memcpy.
    std::vector<TColor32> row(std::size_t(image.Width()));
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        std::memcpy(row.data(), image.ScanLine(top), rowBytes);
        std::memcpy(image.ScanLine(top), image.ScanLine(bottom), rowBytes);
        std::memcpy(image.ScanLine(bottom), row.data(), rowBytes);
    }
    image.Changed();
}

void MirrorHorizontalInPlace(TBitmap32& image) {
    const int width = image.Width();
    for (int y = 0; y < image.Height(); ++y) {
        TColor32* row = image.ScanLine(y);
        // Four pixels from each end trade places, each group reversed inside its register.
        int left = 0;
        int right = width;
        for (; right - left >= 8; left += 4, right -= 4) {
            const __m128i head = _mm_shuffle_epi32(Load(row + left), _MM_SHUFFLE(0, 1, 2, 3));
            const __m128i tail = _mm_shuffle_epi32(Load(row + right - 4), _MM_SHUFFLE(0, 1, 2, 3));
            Store(row + left, tail);
            Store(row + right - 4, head);
        }
        for (--right; left < right; ++left, --right)
            std::swap(row[left], row[right]);
    }
    image.Changed();
}

void RotateClockwise(const TColor32* source, int width, int height, TColor32* target) {
    RotateClockwise(source, width, height, target, std::size_t(height));
}

void RotateCounterClockwise(const TColor32* source, int width, int height, TColor32* target) {
    RotateCounterClockwise(source, width, height, target, std::size_t(height));
}
