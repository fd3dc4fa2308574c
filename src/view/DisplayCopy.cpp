#include "view/DisplayCopy.h"

#include <lcms2.h>

#include <QHash>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "base/ParallelRuns.h"

namespace {

// A thread of its own for every this many pixels, at most one per core: starting one costs as
// much as a few hundred thousand pixels of work.
constexpr std::size_t kPixelsPerRun = std::size_t(1) << 20;
constexpr std::size_t kConvertedPixelsPerRun = std::size_t(1) << 17;

struct TSpan {
    int First;
    int End;
};

// The source pixels [first, end) that output pixel i of count covers out of length.
std::vector<TSpan> Spans(int length, int count) {
    std::vector<TSpan> spans(std::size_t(count > 0 ? count : 0));
    for (int i = 0; i < count; ++i)
        spans[std::size_t(i)] = {int(std::int64_t(i) * length / count),
                                 int(std::int64_t(i + 1) * length / count)};
    return spans;
}

// One output row: first the source rows of its span added byte by byte into one row of sums
// (a loop the compiler turns into wide vector adds, so this pass runs near the memory's speed),
// then each output pixel's columns of those sums added and divided. ColumnSum holds a column of
// the span (16 bits while at most 257 rows of 255s), BoxSum a whole box.
template <class ColumnSum, class BoxSum>
void ReduceRow(const TBitmap32& source, const std::vector<TSpan>& columns, TSpan rows,
               ColumnSum* sums, TColor32* out) {
    const std::size_t values = std::size_t(source.Width()) * 4;
    std::fill(sums, sums + values, ColumnSum(0));
    for (int y = rows.First; y < rows.End; ++y) {
        const auto* in = reinterpret_cast<const std::uint8_t*>(source.ScanLine(y));
        for (std::size_t i = 0; i < values; ++i)
            sums[i] = ColumnSum(sums[i] + in[i]);
    }
    const BoxSum height = BoxSum(rows.End - rows.First);
    TColor32* pixel = out;
    for (const TSpan& span : columns) {
        BoxSum b = 0;
        BoxSum g = 0;
        BoxSum r = 0;
        // The bytes of a TColor32 are B, G, R, A in memory.
        for (const ColumnSum* s = sums + std::size_t(span.First) * 4;
             s < sums + std::size_t(span.End) * 4; s += 4) {
            b += s[0];
            g += s[1];
            r += s[2];
        }
        const BoxSum area = BoxSum(span.End - span.First) * height;
        const BoxSum half = area / 2;
        *pixel++ = 0xFF000000u | TColor32((r + half) / area) << 16 |
                   TColor32((g + half) / area) << 8 | TColor32((b + half) / area);
    }
}

template <class ColumnSum, class BoxSum>
void ReduceInto(const TBitmap32& source, QImage& image) {
    const std::vector<TSpan> columns = Spans(source.Width(), image.width());
    const std::vector<TSpan> rows = Spans(source.Height(), image.height());
    const std::size_t count = rows.size();
    const int runs =
        std::min<int>(ParallelRunCount(source.PixelCount(), kPixelsPerRun), int(count));
    // Row addresses taken here: QImage's own accessors count detaches, which threads must not.
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    ForEachRun(count, runs, 1, [&](std::size_t begin, std::size_t end, int) {
        std::vector<ColumnSum> sums(std::size_t(source.Width()) * 4);
        for (std::size_t y = begin; y < end; ++y)
            ReduceRow<ColumnSum, BoxSum>(source, columns, rows[y], sums.data(),
                                         reinterpret_cast<TColor32*>(bits + qsizetype(y) * stride));
    });
}

// The smooth reduction's triangle reaches this many output pixels either side: at 1 (the usual
// "bilinear" reduction) lines 6 pixels apart shown 4.5 times smaller keep a std of 6 grey levels
// and the worst alias of a sine passes at 0.20 of its contrast; at 1.25, 0.5 and 0.06, for a
// tenth less contrast at half the screen's resolution.
constexpr double kTriangleRadius = 1.25;

// The input pixels one output pixel reads and their weights (summing to 1).
struct TTaps {
    int First = 0;
    std::vector<float> Weights;
};

// The triangle for each output pixel of count out of length input pixels.
std::vector<TTaps> TriangleTaps(int length, int count) {
    std::vector<TTaps> all(std::size_t(count > 0 ? count : 0));
    const double scale = double(length) / count;
    const double radius = kTriangleRadius * scale;
    for (int x = 0; x < count; ++x) {
        const double centre = (x + 0.5) * scale;
        const int first = std::max(0, int(std::ceil(centre - radius - 0.5)));
        const int last = std::min(length - 1, int(std::floor(centre + radius - 0.5)));
        TTaps& taps = all[std::size_t(x)];
        double total = 0;
        std::vector<double> weights;
        for (int i = first; i <= last; ++i) {
            const double weight = std::max(0.0, 1 - std::abs(i + 0.5 - centre) / radius);
            // A tap of weight 0 (on the triangle's ends) is left out rather than read.
            if (weights.empty() && weight == 0) continue;
            if (weights.empty()) taps.First = i;
            weights.push_back(weight);
            total += weight;
        }
        while (!weights.empty() && weights.back() == 0)
            weights.pop_back();
        for (const double weight : weights)
            taps.Weights.push_back(float(weight / total));
    }
    return all;
}

// The sums of the rows [top, bottom) of source, byte by byte, into sums (a source row's bytes
// long). Rows go in pairs, and the first ones set the sums: the sums' row is written once per
// pair, never cleared.
template <class ColumnSum>
void ColumnSums(const TBitmap32& source, int top, int bottom, ColumnSum* sums) {
    const std::size_t values = std::size_t(source.Width()) * 4;
    const auto row = [&source](int y) {
        return reinterpret_cast<const std::uint8_t*>(source.ScanLine(y));
    };
    int y = top;
    if (bottom - top >= 2) {
        const std::uint8_t* a = row(y);
        const std::uint8_t* b = row(y + 1);
        for (std::size_t i = 0; i < values; ++i)
            sums[i] = ColumnSum(ColumnSum(a[i]) + b[i]);
        y += 2;
    } else {
        const std::uint8_t* a = row(y);
        for (std::size_t i = 0; i < values; ++i)
            sums[i] = ColumnSum(a[i]);
        y += 1;
    }
    for (; y + 1 < bottom; y += 2) {
        const std::uint8_t* a = row(y);
        const std::uint8_t* b = row(y + 1);
        for (std::size_t i = 0; i < values; ++i)
            sums[i] = ColumnSum(sums[i] + a[i] + b[i]);
    }
    if (y < bottom) {
        const std::uint8_t* a = row(y);
        for (std::size_t i = 0; i < values; ++i)
            sums[i] = ColumnSum(sums[i] + a[i]);
    }
}

// The sums of boxes of k columns across a row of column sums (4 channels a pixel) of width
// pixels, the last box shorter when k does not divide the width. With 16-bit sums the 4
// channels of a pixel add as one 64-bit word: no lane reaches 65536, so none carries into the
// next.
template <class ColumnSum, class BoxSum>
void AddBoxes(const ColumnSum* sums, int width, int k, BoxSum* boxes) {
    const std::size_t whole = std::size_t(width / k);
    const std::size_t K = std::size_t(k);
    if constexpr (sizeof(ColumnSum) == 2 && sizeof(BoxSum) == 2) {
        const auto word = [sums](std::size_t x) {
            std::uint64_t value;
            std::memcpy(&value, sums + x * 4, sizeof value);
            return value;
        };
        const auto put = [boxes](std::size_t i, std::uint64_t value) {
            std::memcpy(boxes + i * 4, &value, sizeof value);
        };
        if (K == 2) {
            for (std::size_t i = 0; i < whole; ++i)
                put(i, word(2 * i) + word(2 * i + 1));
        } else {
            for (std::size_t i = 0; i < whole; ++i) {
                std::uint64_t box = 0;
                for (std::size_t t = 0; t < K; ++t)
                    box += word(i * K + t);
                put(i, box);
            }
        }
        if (whole * K < std::size_t(width)) {
            std::uint64_t box = 0;
            for (std::size_t x = whole * K; x < std::size_t(width); ++x)
                box += word(x);
            put(whole, box);
        }
    } else {
        const std::size_t count = (std::size_t(width) + K - 1) / K;
        for (std::size_t i = 0; i < count; ++i) {
            BoxSum box[4] = {};
            for (std::size_t x = i * K; x < std::min(std::size_t(width), i * K + K); ++x)
                for (std::size_t c = 0; c < 4; ++c)
                    box[c] += BoxSum(sums[x * 4 + c]);
            std::copy(box, box + 4, boxes + i * 4);
        }
    }
}

// The bytes of a TColor32 are B, G, R, A in memory.
constexpr std::size_t kChannels = 4;

#if defined(__SSE2__)
// How far ahead in each source row the loops below ask for memory. The rows are read a few at a
// time, side by side, which the processor's own prefetch follows badly: asking 2 KB ahead took
// a third off the pass.
constexpr std::size_t kPrefetchAhead = 2048;

// The source pass's inner loops: a run of rows added down as 16-bit lanes, in registers, then
// the boxes of 1 or 2 pixels across widened to floats at once; wider boxes leave the column
// sums in sums for the caller to add across. They cover the source values [0, end) and return
// how many box values they wrote as floats (the caller does the rest).
std::size_t BoxesSse2(const std::uint8_t* const* rows, std::size_t height, std::size_t end,
                      int boxX, std::uint16_t* sums, float* boxes) {
    const __m128i zero = _mm_setzero_si128();
    const auto toFloats = [boxes, zero](std::size_t at, __m128i eight) {
        _mm_storeu_ps(boxes + at, _mm_cvtepi32_ps(_mm_unpacklo_epi16(eight, zero)));
        _mm_storeu_ps(boxes + at + 4, _mm_cvtepi32_ps(_mm_unpackhi_epi16(eight, zero)));
    };
    for (std::size_t i = 0; i < end; i += 16) {
        __m128i lo = zero;
        __m128i hi = zero;
        for (std::size_t r = 0; r < height; ++r) {
            _mm_prefetch(reinterpret_cast<const char*>(rows[r] + i) + kPrefetchAhead, _MM_HINT_T0);
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + i));
            lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v, zero));
            hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v, zero));
        }
        if (boxX == 1) {
            toFloats(i, lo);
            toFloats(i + 8, hi);
        } else if (boxX == 2) {
            // Two pixels a register half each: the halves added make one box.
            toFloats(i / 2, _mm_add_epi16(_mm_unpacklo_epi64(lo, hi), _mm_unpackhi_epi64(lo, hi)));
        } else {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + i), lo);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + i + 8), hi);
        }
    }
    return boxX <= 2 ? end / std::size_t(boxX) : 0;
}

// The same with AVX2's 32-byte registers and its widening loads, on the processors that have
// it (chosen at run time: the program itself is built for any x86-64). Boxes of 1 or 2 pixels.
__attribute__((target("avx2"))) inline void EightToFloatsAvx2(float* to, __m128i eight) {
    _mm256_storeu_ps(to, _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(eight)));
}

__attribute__((target("avx2"))) std::size_t BoxesAvx2(const std::uint8_t* const* rows,
                                                      std::size_t height, std::size_t end, int boxX,
                                                      float* boxes) {
    for (std::size_t i = 0; i < end; i += 32) {
        __m256i lo = _mm256_setzero_si256();
        __m256i hi = _mm256_setzero_si256();
        for (std::size_t r = 0; r < height; ++r) {
            const auto* in = reinterpret_cast<const __m128i*>(rows[r] + i);
            _mm_prefetch(reinterpret_cast<const char*>(in) + kPrefetchAhead, _MM_HINT_T0);
            lo = _mm256_add_epi16(lo, _mm256_cvtepu8_epi16(_mm_loadu_si128(in)));
            hi = _mm256_add_epi16(hi, _mm256_cvtepu8_epi16(_mm_loadu_si128(in + 1)));
        }
        if (boxX == 1) {
            EightToFloatsAvx2(boxes + i, _mm256_castsi256_si128(lo));
            EightToFloatsAvx2(boxes + i + 8, _mm256_extracti128_si256(lo, 1));
            EightToFloatsAvx2(boxes + i + 16, _mm256_castsi256_si128(hi));
            EightToFloatsAvx2(boxes + i + 24, _mm256_extracti128_si256(hi, 1));
        } else {
            // Pixels 0 1 | 2 3 in lo's two lanes, 4 5 | 6 7 in hi's: the halves added make
            // boxes 0 2 | 1 3, put in order by a swap of the middle quarters.
            const __m256i pairs = _mm256_permute4x64_epi64(
                _mm256_add_epi16(_mm256_unpacklo_epi64(lo, hi), _mm256_unpackhi_epi64(lo, hi)),
                _MM_SHUFFLE(3, 1, 2, 0));
            EightToFloatsAvx2(boxes + i / 2, _mm256_castsi256_si128(pairs));
            EightToFloatsAvx2(boxes + i / 2 + 8, _mm256_extracti128_si256(pairs, 1));
        }
    }
    return end / std::size_t(boxX);
}

// Whether to take the AVX2 loops: the processor has them (and FMA, checked as well) and
// KELVO_SIMD does not say "sse2" (which lets the tests run the SSE2 loops on any machine).
bool HasAvx2() {
    static const bool has = [] {
        const char* simd = std::getenv("KELVO_SIMD");
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") &&
               !(simd && std::strcmp(simd, "sse2") == 0);
    }();
    return has;
}
#endif

// Adds a vertical run of source rows as 16-bit lanes and then k of them across, giving one row
// of box sums as floats: the source pass, the one that reads every byte of the picture. With
// 16-bit sums (a box of at most 257 pixels) it runs on SSE2, which every x86-64 has, or AVX2:
// a whole box's rows added down in registers, never through memory, and the boxes of 1 or 2
// pixels across (the usual case: a photo shown less than 6 times smaller) made in the
// same registers. Elsewhere, and for wider sums, plain loops.
template <class ColumnSum, class BoxSum>
void BoxRow(const TBitmap32& source, int top, int bottom, int boxX, ColumnSum* sums, BoxSum* boxes,
            float* boxesAsFloat) {
    const std::size_t values = std::size_t(source.Width()) * kChannels;
    const std::size_t boxWidth =
        (std::size_t(source.Width()) + std::size_t(boxX) - 1) / std::size_t(boxX);
    const std::size_t boxValues = boxWidth * kChannels;
#if defined(__SSE2__)
    if constexpr (sizeof(ColumnSum) == 2 && sizeof(BoxSum) == 2) {
        const std::size_t height = std::size_t(bottom - top);
        // Row addresses on the stack: a box is at most 257 pixels, so at most 257 rows.
        const std::uint8_t* rows[257];
        for (std::size_t r = 0; r < height; ++r)
            rows[r] = reinterpret_cast<const std::uint8_t*>(source.ScanLine(top + int(r)));
        auto* const out = reinterpret_cast<std::uint16_t*>(sums);
        const std::size_t vectorEnd = values / 16 * 16;
        std::size_t done;  // box values already widened to floats
        if (boxX <= 2 && HasAvx2())
            done = BoxesAvx2(rows, height, values / 32 * 32, boxX, boxesAsFloat);
        else
            done = BoxesSse2(rows, height, vectorEnd, boxX, out, boxesAsFloat);
        // The pixels past the last whole vector, and every box of more than 2 pixels: a
        // pixel's 4 sums add as one 64-bit word, no lane reaching 65536 to carry into the next.
        const std::size_t firstLeft = done * std::size_t(boxX);  // source values
        for (std::size_t i = boxX <= 2 ? firstLeft : vectorEnd; i < values; ++i) {
            std::uint16_t sum = 0;
            for (std::size_t r = 0; r < height; ++r)
                sum = std::uint16_t(sum + rows[r][i]);
            out[i] = sum;
        }
        for (std::size_t box = done / kChannels; box < boxWidth; ++box) {
            std::uint64_t total = 0;
            const std::size_t end = std::min(values, (box + 1) * std::size_t(boxX) * kChannels);
            for (std::size_t v = box * std::size_t(boxX) * kChannels; v < end; v += kChannels) {
                std::uint64_t word;
                std::memcpy(&word, out + v, sizeof word);
                total += word;
            }
            for (std::size_t c = 0; c < kChannels; ++c)
                boxesAsFloat[box * kChannels + c] = float(std::uint16_t(total >> (16 * c)));
        }
        return;
    }
#endif
    ColumnSums(source, top, bottom, sums);
    AddBoxes<ColumnSum, BoxSum>(sums, source.Width(), boxX, boxes);
    for (std::size_t i = 0; i < boxValues; ++i)
        boxesAsFloat[i] = float(boxes[i]);
}

// A pixel's 4 channels in one vector register: the compiler leaves the loop over a pixel's taps
// scalar otherwise.
typedef float TFloat4 __attribute__((vector_size(16)));

// The triangle's taps across laid out for the inner loop: every output pixel the same number of
// taps (the short ones at the edges padded with weights of 0, which add nothing), each weight
// repeated for the 4 channels. A fixed count lets the loop over a pixel's taps unroll.
struct TTapTable {
    std::size_t Taps = 0;
    std::vector<int> First;        // per output pixel
    std::vector<TFloat4> Weights;  // Taps per output pixel
};

TTapTable TapTable(const std::vector<TTaps>& all, int length) {
    TTapTable table;
    for (const TTaps& taps : all)
        table.Taps = std::max(table.Taps, taps.Weights.size());
    // An even number, for the loops that take two taps at once.
    table.Taps = (std::max<std::size_t>(table.Taps, 1) + 1) / 2 * 2;
    table.First.reserve(all.size());
    table.Weights.assign(all.size() * table.Taps, TFloat4{0, 0, 0, 0});
    for (std::size_t x = 0; x < all.size(); ++x) {
        const TTaps& taps = all[x];
        // Shifted left where the padded run would pass the row's end; the taps keep their
        // places, the padding comes first then.
        const int first = std::max(0, std::min(taps.First, length - int(table.Taps)));
        table.First.push_back(first);
        for (std::size_t t = 0; t < taps.Weights.size(); ++t) {
            const float weight = taps.Weights[t];
            table.Weights[x * table.Taps + std::size_t(taps.First - first) + t] =
                TFloat4{weight, weight, weight, weight};
        }
    }
    return table;
}

template <std::size_t FixedTaps>
void TriangleAcross(const float* boxes, const TTapTable& table, float* out) {
    const std::size_t taps = FixedTaps ? FixedTaps : table.Taps;
    const TFloat4* weights = table.Weights.data();
    for (const int first : table.First) {
        const float* b = boxes + std::size_t(first) * kChannels;
        TFloat4 pixel = {0, 0, 0, 0};
        for (std::size_t t = 0; t < taps; ++t) {
            TFloat4 box;
            std::memcpy(&box, b + t * kChannels, sizeof box);
            pixel += weights[t] * box;
        }
        weights += taps;
        std::memcpy(out, &pixel, sizeof pixel);
        out += kChannels;
    }
}

#if defined(__SSE2__)
// Two taps a register (the table's taps come in an even number, the row has a pixel of zeros
// past its end for the last one), fused multiply-added, the halves added at the end.
template <std::size_t FixedTaps>
__attribute__((target("avx2,fma"))) void TriangleAcrossAvx2(const float* boxes,
                                                            const TTapTable& table, float* out) {
    const std::size_t taps = FixedTaps ? FixedTaps : table.Taps;
    const float* weights = reinterpret_cast<const float*>(table.Weights.data());
    for (const int first : table.First) {
        const float* b = boxes + std::size_t(first) * kChannels;
        __m256 pixels = _mm256_setzero_ps();
        for (std::size_t t = 0; t < taps; t += 2)
            pixels = _mm256_fmadd_ps(_mm256_loadu_ps(weights + t * kChannels),
                                     _mm256_loadu_ps(b + t * kChannels), pixels);
        weights += taps * kChannels;
        _mm_storeu_ps(out,
                      _mm_add_ps(_mm256_castps256_ps128(pixels), _mm256_extractf128_ps(pixels, 1)));
        out += kChannels;
    }
}
#endif

using TAcross = void (*)(const float*, const TTapTable&, float*);
// Two rows across at once: each weight read once for both.
using TAcrossPair = void (*)(const float*, const float*, const TTapTable&, float*, float*);

#if defined(__SSE2__)
template <std::size_t FixedTaps>
__attribute__((target("avx2,fma"))) void TriangleAcrossPairAvx2(const float* boxesA,
                                                                const float* boxesB,
                                                                const TTapTable& table, float* outA,
                                                                float* outB) {
    const std::size_t taps = FixedTaps ? FixedTaps : table.Taps;
    const float* weights = reinterpret_cast<const float*>(table.Weights.data());
    for (const int first : table.First) {
        const std::size_t at = std::size_t(first) * kChannels;
        __m256 a = _mm256_setzero_ps();
        __m256 b = _mm256_setzero_ps();
        for (std::size_t t = 0; t < taps; t += 2) {
            const __m256 weight = _mm256_loadu_ps(weights + t * kChannels);
            a = _mm256_fmadd_ps(weight, _mm256_loadu_ps(boxesA + at + t * kChannels), a);
            b = _mm256_fmadd_ps(weight, _mm256_loadu_ps(boxesB + at + t * kChannels), b);
        }
        weights += taps * kChannels;
        _mm_storeu_ps(outA, _mm_add_ps(_mm256_castps256_ps128(a), _mm256_extractf128_ps(a, 1)));
        _mm_storeu_ps(outB, _mm_add_ps(_mm256_castps256_ps128(b), _mm256_extractf128_ps(b, 1)));
        outA += kChannels;
        outB += kChannels;
    }
}

TAcrossPair AcrossPairAvx2For(std::size_t taps) {
    switch (taps) {
        case 2:
            return TriangleAcrossPairAvx2<2>;
        case 4:
            return TriangleAcrossPairAvx2<4>;
        case 6:
            return TriangleAcrossPairAvx2<6>;
        case 8:
            return TriangleAcrossPairAvx2<8>;
        case 10:
            return TriangleAcrossPairAvx2<10>;
        default:
            return TriangleAcrossPairAvx2<0>;
    }
}
#endif

// Without AVX2, the rows one after the other.
TAcrossPair AcrossPairFor(std::size_t taps) {
#if defined(__SSE2__)
    if (HasAvx2()) return AcrossPairAvx2For(taps);
#endif
    (void)taps;
    return nullptr;
}

#if defined(__SSE2__)
TAcross AcrossAvx2For(std::size_t taps) {
    switch (taps) {
        case 2:
            return TriangleAcrossAvx2<2>;
        case 4:
            return TriangleAcrossAvx2<4>;
        case 6:
            return TriangleAcrossAvx2<6>;
        case 8:
            return TriangleAcrossAvx2<8>;
        case 10:
            return TriangleAcrossAvx2<10>;
        default:
            return TriangleAcrossAvx2<0>;
    }
}
#endif

TAcross AcrossFor(std::size_t taps) {
#if defined(__SSE2__)
    if (HasAvx2()) return AcrossAvx2For(taps);
#endif
    switch (taps) {
        case 2:
            return TriangleAcross<2>;
        case 4:
            return TriangleAcross<4>;
        case 6:
            return TriangleAcross<6>;
        case 8:
            return TriangleAcross<8>;
        case 10:
            return TriangleAcross<10>;
        default:
            return TriangleAcross<0>;
    }
}

#if defined(__SSE2__)
// Eight values at a time, the weights fused multiply-added; returns how many values it did.
__attribute__((target("avx2,fma"))) std::size_t TriangleDownAvx2(const float* const* rows,
                                                                 const float* weights,
                                                                 std::size_t taps,
                                                                 std::size_t values,
                                                                 TColor32* out) {
    const __m256 half = _mm256_set1_ps(0.5f);
    const __m256i opaque = _mm256_set1_epi32(int(0xFF000000u));
    // packs and packus work within each 16-byte half: of four registers of 2 pixels each (a, b,
    // c, d), the pixels come out a0 b0 c0 d0 | a1 b1 c1 d1, put back in order here.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    __m256 w[16];
    const std::size_t held = std::min<std::size_t>(taps, 16);
    for (std::size_t t = 0; t < held; ++t)
        w[t] = _mm256_set1_ps(weights[t]);
    const auto channels = [&](std::size_t at) __attribute__((target("avx2,fma"))) {
        __m256 sum = _mm256_setzero_ps();
        for (std::size_t t = 0; t < taps; ++t)
            sum = _mm256_fmadd_ps(t < held ? w[t] : _mm256_set1_ps(weights[t]),
                                  _mm256_loadu_ps(rows[t] + at), sum);
        return _mm256_cvttps_epi32(_mm256_add_ps(sum, half));
    };
    std::size_t i = 0;
    for (; i + 32 <= values; i += 32) {
        const __m256i low = _mm256_packs_epi32(channels(i), channels(i + 8));
        const __m256i high = _mm256_packs_epi32(channels(i + 16), channels(i + 24));
        const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(low, high), order);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i / kChannels),
                            _mm256_or_si256(bytes, opaque));
    }
    return i;
}
#endif

// One output row: the rows across weighted down and rounded to bytes, alpha 255.
void TriangleDown(const float* const* rows, const float* weights, std::size_t taps,
                  std::size_t values, TColor32* out) {
    std::size_t i = 0;
#if defined(__SSE2__)
    if (HasAvx2()) i = TriangleDownAvx2(rows, weights, taps, values, out);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    const auto channels = [&](std::size_t at) {
        __m128 sum = _mm_setzero_ps();
        for (std::size_t t = 0; t < taps; ++t)
            sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(weights[t]), _mm_loadu_ps(rows[t] + at)));
        return _mm_cvttps_epi32(_mm_add_ps(sum, half));
    };
    // Four pixels at a time, saturated to 0..255 on the way to bytes.
    for (; i + 16 <= values; i += 16) {
        const __m128i low = _mm_packs_epi32(channels(i), channels(i + 4));
        const __m128i high = _mm_packs_epi32(channels(i + 8), channels(i + 12));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i / kChannels),
                         _mm_or_si128(_mm_packus_epi16(low, high), opaque));
    }
#endif
    for (; i < values; i += kChannels) {
        float sum[kChannels] = {};
        for (std::size_t t = 0; t < taps; ++t)
            for (std::size_t c = 0; c < kChannels; ++c)
                sum[c] += weights[t] * rows[t][i + c];
        const auto channel = [](float v) { return std::min<TColor32>(255, TColor32(v + 0.5f)); };
        out[i / kChannels] =
            0xFF000000u | channel(sum[2]) << 16 | channel(sum[1]) << 8 | channel(sum[0]);
    }
}

// The smooth reduction in one pass over the source. Each thread makes the box rows its output
// rows come to need (the sums of k x k boxes, 4 channels) and takes each at once through the
// triangle across, keeping the few rows the triangle down spans in a ring; an output row weights
// those. Across first: the rows are then output-wide, so the pass down, the one that reads every
// row several times, works on a narrow row. The box's area is folded into the triangle's weights.
// ColumnSum holds a column of a box, BoxSum a whole box (16 bits while at most 257 pixels of
// 255s).
template <class ColumnSum, class BoxSum>
void SmoothInto(const TBitmap32& source, int boxX, int boxY, QImage& image) {
    const int boxWidth = (source.Width() + boxX - 1) / boxX;
    const int boxHeight = (source.Height() + boxY - 1) / boxY;
    std::vector<TTaps> columns = TriangleTaps(boxWidth, image.width());
    std::vector<TTaps> rows = TriangleTaps(boxHeight, image.height());
    const auto divideByBox = [](std::vector<TTaps>& all, int box, int length) {
        for (TTaps& taps : all)
            for (std::size_t t = 0; t < taps.Weights.size(); ++t) {
                const int first = (taps.First + int(t)) * box;
                taps.Weights[t] /= float(std::min(length, first + box) - first);
            }
    };
    divideByBox(columns, boxX, source.Width());
    divideByBox(rows, boxY, source.Height());
    const TTapTable across = TapTable(columns, boxWidth);
    const TAcross acrossRow = AcrossFor(across.Taps);
    const TAcrossPair acrossPair = AcrossPairFor(across.Taps);
    std::size_t ringSize = 1;
    for (const TTaps& taps : rows)
        ringSize = std::max(ringSize, taps.Weights.size() + 1);
    const std::size_t count = rows.size();
    const int runs =
        std::min<int>(ParallelRunCount(source.PixelCount(), kPixelsPerRun), int(count));
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const std::size_t sourceValues = std::size_t(source.Width()) * kChannels;
    const std::size_t outputValues = std::size_t(image.width()) * kChannels;
    const std::size_t boxValues = std::size_t(boxWidth) * kChannels;

    // The output rows go in bands to whichever thread asks next, rather than half to each: on a
    // busy machine the second thread may start late, and the first then takes its bands instead
    // of waiting for it. A band re-reads the few box rows the triangle shares with the one before.
    const std::size_t band = std::max<std::size_t>(8, count / (std::size_t(runs) * 8));
    const std::size_t bands = (count + band - 1) / band;
    std::atomic<std::size_t> nextBand{0};
    ForEachRun(std::size_t(runs), runs, 1, [&](std::size_t, std::size_t, int) {
        std::vector<ColumnSum> sums(sourceValues);
        std::vector<BoxSum> boxes(boxValues);
        // A pixel of zeros past the end: an even number of taps may reach one past the row.
        std::vector<float> boxesAsFloat(boxValues + kChannels);
        std::vector<float> nextBoxesAsFloat(boxValues + kChannels);
        std::vector<float> ring(ringSize * outputValues);
        std::vector<int> ringRow(ringSize, -1);  // the box row each slot holds
        std::vector<const float*> down(ringSize);
        const auto boxRow = [&](int j, float* to) {
            const int top = j * boxY;
            const int bottom = std::min(source.Height(), top + boxY);
            BoxRow<ColumnSum, BoxSum>(source, top, bottom, boxX, sums.data(), boxes.data(), to);
        };
        const auto slotOf = [&](int j) {
            ringRow[std::size_t(j) % ringSize] = j;
            return ring.data() + std::size_t(j) % ringSize * outputValues;
        };
        // Box row j across, and with a kernel for two rows, row j + 1 too (the next an output
        // row needs): the slot it takes held row j + 1 - ringSize, above every row an output row
        // that needs row j still reads.
        const auto acrossOf = [&](int j) -> const float* {
            float* const slot = ring.data() + std::size_t(j) % ringSize * outputValues;
            if (ringRow[std::size_t(j) % ringSize] == j) return slot;
            boxRow(j, boxesAsFloat.data());
            if (acrossPair && j + 1 < boxHeight &&
                ringRow[std::size_t(j + 1) % ringSize] != j + 1) {
                boxRow(j + 1, nextBoxesAsFloat.data());
                acrossPair(boxesAsFloat.data(), nextBoxesAsFloat.data(), across, slotOf(j),
                           slotOf(j + 1));
            } else {
                acrossRow(boxesAsFloat.data(), across, slotOf(j));
            }
            return slot;
        };
        for (std::size_t next = nextBand++; next < bands; next = nextBand++)
            for (std::size_t y = next * band; y < std::min(count, (next + 1) * band); ++y) {
                const TTaps& taps = rows[y];
                for (std::size_t t = 0; t < taps.Weights.size(); ++t)
                    down[t] = acrossOf(taps.First + int(t));
                TriangleDown(down.data(), taps.Weights.data(), taps.Weights.size(), outputValues,
                             reinterpret_cast<TColor32*>(bits + qsizetype(y) * stride));
            }
    });
}

cmsHPROFILE SrgbProfile() {
    static const cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    return srgb;
}

bool DescribesSrgb(cmsHPROFILE profile) {
    char description[256] = {};
    cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", description,
                           sizeof description);
    return QByteArray(description).contains("sRGB");
}

std::mutex gTransformsLock;
std::unordered_map<QByteArray, std::shared_ptr<const TDisplayColor>> gTransforms;

}  // namespace

QImage BoxReduce(const TBitmap32& source, int width, int height) {
    if (source.Empty() || width <= 0 || height <= 0 || width > source.Width() ||
        height > source.Height())
        return {};
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    // The tallest and the largest box, to choose sums that cannot overflow.
    const std::int64_t tallest = source.Height() / height + 1;
    const std::int64_t largest = std::int64_t(source.Width() / width + 1) * tallest;
    const bool boxFits32 = largest * 255 < (std::int64_t(1) << 32);
    if (tallest * 255 <= 0xFFFF && boxFits32)
        ReduceInto<std::uint16_t, std::uint32_t>(source, image);
    else if (boxFits32)
        ReduceInto<std::uint32_t, std::uint32_t>(source, image);
    else
        ReduceInto<std::uint64_t, std::uint64_t>(source, image);
    return image;
}

QImage SmoothReduce(const TBitmap32& source, int width, int height) {
    if (source.Empty() || width <= 0 || height <= 0 || width > source.Width() ||
        height > source.Height())
        return {};
    // Boxes of a whole number of pixels, the same on the whole axis: boxes of 4 and 5 pixels
    // mixed (what a box straight to a size 4.69 times smaller takes) jitter the samples, and
    // lines finer than the screen come through as moiré.
    const int boxX = std::max(1, int(source.Width() / (2 * std::int64_t(width))));
    const int boxY = std::max(1, int(source.Height() / (2 * std::int64_t(height))));
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    const std::int64_t box = std::int64_t(boxX) * boxY;
    if (box * 255 <= 0xFFFF)
        SmoothInto<std::uint16_t, std::uint16_t>(source, boxX, boxY, image);
    else if (boxY * 255 <= 0xFFFF && box * 255 < (std::int64_t(1) << 32))
        SmoothInto<std::uint16_t, std::uint32_t>(source, boxX, boxY, image);
    else if (box * 255 < (std::int64_t(1) << 32))
        SmoothInto<std::uint32_t, std::uint32_t>(source, boxX, boxY, image);
    else
        SmoothInto<std::uint64_t, std::uint64_t>(source, boxX, boxY, image);
    return image;
}

std::shared_ptr<const TDisplayColor> TDisplayColor::ForProfile(const QByteArray& iccProfile) {
    if (iccProfile.isEmpty()) return nullptr;
    const std::lock_guard<std::mutex> lock(gTransformsLock);
    const auto known = gTransforms.find(iccProfile);
    if (known != gTransforms.end()) return known->second;

    std::shared_ptr<const TDisplayColor> color;
    if (cmsHPROFILE profile =
            cmsOpenProfileFromMem(iccProfile.constData(), cmsUInt32Number(iccProfile.size()))) {
        if (cmsGetColorSpace(profile) == cmsSigRgbData && !DescribesSrgb(profile)) {
            // No one-pixel cache: the same transform runs on several threads at once.
            cmsHTRANSFORM transform =
                cmsCreateTransform(profile, TYPE_BGRA_8, SrgbProfile(), TYPE_BGRA_8,
                                   INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA);
            if (transform) color.reset(new TDisplayColor(transform));
        }
        cmsCloseProfile(profile);
    }
    gTransforms.emplace(iccProfile, color);
    return color;
}

TDisplayColor::~TDisplayColor() {
    cmsDeleteTransform(static_cast<cmsHTRANSFORM>(FTransform));
}

void TDisplayColor::Convert(TColor32* pixels, std::size_t count) const {
    // TColor32 0xAARRGGBB is stored B, G, R, A: LittleCMS's BGRA_8.
    cmsDoTransform(static_cast<cmsHTRANSFORM>(FTransform), pixels, pixels, cmsUInt32Number(count));
}

void TDisplayColor::Convert(QImage& image) const {
    if (image.isNull()) return;
    const std::size_t rows = std::size_t(image.height());
    const std::size_t width = std::size_t(image.width());
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const int runs =
        std::min<int>(ParallelRunCount(rows * width, kConvertedPixelsPerRun), int(rows));
    ForEachRun(rows, runs, 1, [&](std::size_t begin, std::size_t end, int) {
        for (std::size_t y = begin; y < end; ++y)
            Convert(reinterpret_cast<TColor32*>(bits + qsizetype(y) * stride), width);
    });
}
