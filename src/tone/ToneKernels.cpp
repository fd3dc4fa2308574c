#include "tone/ToneKernels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "base/ParallelRuns.h"

#include "tone/PixelFunctions.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KELVO_TONE_AVX512 1
// GCC 12 takes the deliberately undefined pass-through operands inside the AVX-512 intrinsics
// for uninitialised variables.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

namespace tonekernels {

namespace {

constexpr int kIntensities = 766;

}  // namespace

void ApplyChannelTablesPortable(const TColor32* source, TColor32* target, std::size_t count,
                                const std::uint8_t* red, const std::uint8_t* green,
                                const std::uint8_t* blue) {
    for (std::size_t i = 0; i < count; ++i) {
        const TColor32 c = source[i];
        target[i] = TColor32(red[(c >> 16) & 0xFF]) << 16 | TColor32(green[(c >> 8) & 0xFF]) << 8 |
                    TColor32(blue[c & 0xFF]);
    }
}

namespace {

// The outcome of every (intensity, channel value) pair, one row of 256 per intensity: a
// channel's result depends only on its value and its pixel's intensity, so every outcome is
// worked out once and the pixel loops only look them up. Three spare bytes at the end let a
// four-byte gather read the last entry. The vector form adds the rows' straight lines.
struct TIntensityResults {
    std::unique_ptr<std::uint8_t[]> Bytes;
    std::unique_ptr<std::uint32_t[]> Lines;
};
constexpr std::size_t kResultRow = 256;

TIntensityResults NewIntensityResults() {
    return {std::make_unique<std::uint8_t[]>(kIntensities * kResultRow + 3), nullptr};
}

TIntensityResults BuildIntensityResultsPortable(const double* factors) {
    TIntensityResults results = NewIntensityResults();
    for (int s = 0; s < kIntensities; ++s) {
        std::uint8_t* row = results.Bytes.get() + std::size_t(s) * kResultRow;
        const int top = s < 255 ? s : 255;  // a channel never exceeds its pixel's intensity
        for (int v = 0; v <= top; ++v)
            row[v] = std::uint8_t(ScaleChannel(v, factors[s]));
    }
    return results;
}

// One pixel through the table.
TColor32 LookUpResult(TColor32 c, const std::uint8_t* lookup) {
    const unsigned r = (c >> 16) & 0xFF;
    const unsigned g = (c >> 8) & 0xFF;
    const unsigned b = c & 0xFF;
    const std::uint8_t* row = lookup + std::size_t(r + g + b) * kResultRow;
    return TColor32(row[r]) << 16 | TColor32(row[g]) << 8 | TColor32(row[b]);
}

void ApplyIntensityResultsPortable(const TColor32* source, TColor32* target, std::size_t count,
                                   const TIntensityResults& results, std::int32_t* counts) {
    const std::uint8_t* lookup = results.Bytes.get();
    for (std::size_t i = 0; i < count; ++i) {
        const TColor32 out = LookUpResult(source[i], lookup);
        target[i] = out;
        if (counts) ++counts[Intensity(out)];
    }
}

}  // namespace

void ApplyIntensityFactorsPortable(TColor32* pixels, std::size_t count, const double* factors,
                                   std::int32_t* counts) {
    const TIntensityResults results = BuildIntensityResultsPortable(factors);
    ApplyIntensityResultsPortable(pixels, pixels, count, results, counts);
}

void CountIntensitiesPortable(const TColor32* pixels, std::size_t count, std::int32_t* counts,
                              TColor32* copyTo) {
    if (copyTo && count != 0) std::memcpy(copyTo, pixels, count * sizeof(TColor32));
    // Four partial tables let neighbouring pixels of the same intensity count without waiting
    // for each other's increment.
    std::int32_t partial[4][kIntensities] = {};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        ++partial[0][Intensity(pixels[i])];
        ++partial[1][Intensity(pixels[i + 1])];
        ++partial[2][Intensity(pixels[i + 2])];
        ++partial[3][Intensity(pixels[i + 3])];
    }
    for (; i < count; ++i)
        ++partial[0][Intensity(pixels[i])];
    for (int s = 0; s < kIntensities; ++s)
        counts[s] += partial[0][s] + partial[1][s] + partial[2][s] + partial[3][s];
}

#ifdef KELVO_TONE_AVX512

#define KELVO_VECTOR_TARGET __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi")))

bool HasVectorKernels() {
    static const bool available =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512vbmi");
    return available;
}

namespace {

// The bytes of one table for the lanes of one channel (one byte in four). A 256-byte table is
// two 128-byte halves, each looked up by the low seven bits of the index; the index's top bit
// chooses the half.
struct TChannelLookup {
    __m512i Low0, Low1, High0, High1;
    __mmask64 Lanes;
};

KELVO_VECTOR_TARGET TChannelLookup LoadLookup(const std::uint8_t* table, __mmask64 lanes) {
    return {_mm512_loadu_si512(table), _mm512_loadu_si512(table + 64),
            _mm512_loadu_si512(table + 128), _mm512_loadu_si512(table + 192), lanes};
}

KELVO_VECTOR_TARGET __m512i LookUp(const TChannelLookup& t, __m512i index, __mmask64 high) {
    const __m512i low =
        _mm512_maskz_permutex2var_epi8(_kandn_mask64(high, t.Lanes), t.Low0, index, t.Low1);
    const __m512i upper =
        _mm512_maskz_permutex2var_epi8(_kand_mask64(high, t.Lanes), t.High0, index, t.High1);
    return _mm512_or_si512(low, upper);
}

// round(channel * factor) held to 0..255, for eight channels: the same double products as
// ScaleChannel, and the conversion rounds in the current mode, half to even like std::rint.
KELVO_VECTOR_TARGET __m256i ScaleLanes(__m256i channel, __m512d factor) {
    const __m512d product =
        _mm512_min_pd(_mm512_mul_pd(_mm512_cvtepi32_pd(channel), factor), _mm512_set1_pd(255.0));
    return _mm256_max_epi32(_mm512_cvtpd_epi32(product), _mm256_setzero_si256());
}

}  // namespace

KELVO_VECTOR_TARGET void ApplyChannelTablesVector(const TColor32* source, TColor32* target,
                                                  std::size_t count, const std::uint8_t* red,
                                                  const std::uint8_t* green,
                                                  const std::uint8_t* blue) {
    // Little-endian bytes of a pixel: blue, green, red, alpha. Alpha lanes stay 0.
    const TChannelLookup b = LoadLookup(blue, 0x1111111111111111ull);
    const TChannelLookup g = LoadLookup(green, 0x2222222222222222ull);
    const TChannelLookup r = LoadLookup(red, 0x4444444444444444ull);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m512i v = _mm512_loadu_si512(source + i);
        const __mmask64 high = _mm512_movepi8_mask(v);
        const __m512i out = _mm512_ternarylogic_epi32(LookUp(b, v, high), LookUp(g, v, high),
                                                      LookUp(r, v, high), 0xFE);  // a | b | c
        _mm512_storeu_si512(target + i, out);
    }
    ApplyChannelTablesPortable(source + i, target + i, count - i, red, green, blue);
}

namespace {

// Most rows of the results table are a straight line: round(v * f) held to 255 is
// (v * M + 2^(k - 1)) >> k for a multiplier M below 2^23, and sixteen pixels multiply that out
// faster than three gathers look it up. Where v * f falls on a half, the double product rounds
// to even, or (when f itself is not exact in binary) wherever its representation error pushes
// it; a row says which of those its halves follow, and the line leans a little towards the
// chosen side there (2^(k - 11) is far below the distance of any other product from a half, and
// far above the multiplier's own error). Each row's line is held against the row's exact bytes
// for every channel value its pixels can have; a row no line reproduces is marked, and a block
// of pixels touching one looks its bytes up instead.
// An entry is M | k << 24 | halves << 29, or kCurvedRow.
constexpr std::uint32_t kCurvedRow = 0x80000000u;
enum THalves : std::uint32_t { hvToEven = 0, hvUp = 1, hvDown = 2 };

std::uint32_t LineResult(std::uint32_t v, std::uint32_t multiplier, int shift, THalves halves) {
    const std::uint32_t half = shift > 0 ? 1u << (shift - 1) : 0;
    const std::uint32_t lean = half >> 10;
    const std::uint32_t product = v * multiplier;
    const bool odd = (product >> shift) & 1;
    const bool up = halves == hvUp || (halves == hvToEven && odd);
    return std::min<std::uint32_t>((product + half - lean + (up ? 2 * lean : 0)) >> shift, 255);
}

std::unique_ptr<std::uint32_t[]> BuildIntensityLines(const double* factors,
                                                     const std::uint8_t* bytes) {
    auto lines = std::make_unique<std::uint32_t[]>(kIntensities);
    for (int s = 0; s < kIntensities; ++s) {
        // Above 256 every channel but 0 is 255 anyway; at or below 0 every channel is 0.
        const double factor = std::min(factors[s], 256.0);
        std::uint32_t multiplier = 0;
        int shift = 0;
        if (factor > 0.0) {
            shift = 31;
            while (shift > 0 && std::ldexp(factor, shift) >= double(1 << 23) - 0.5)
                --shift;
            multiplier = std::uint32_t(std::rint(std::ldexp(factor, shift)));
        }
        lines[s] = kCurvedRow;
        if (multiplier >= (1u << 23)) continue;
        const std::uint8_t* row = bytes + std::size_t(s) * kResultRow;
        const int top = s < 255 ? s : 255;
        for (const THalves halves : {hvToEven, hvUp, hvDown}) {
            bool straight = true;
            for (int v = 0; v <= top && straight; ++v)
                straight = LineResult(std::uint32_t(v), multiplier, shift, halves) == row[v];
            if (straight) {
                lines[s] = multiplier | std::uint32_t(shift) << 24 | std::uint32_t(halves) << 29;
                break;
            }
        }
    }
    return lines;
}

// The same bytes as BuildIntensityResultsPortable, eight values at a time.
KELVO_VECTOR_TARGET TIntensityResults BuildIntensityResultsVector(const double* factors) {
    TIntensityResults results = NewIntensityResults();
    const __m256i steps = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    for (int s = 0; s < kIntensities; ++s) {
        const __m512d factor = _mm512_set1_pd(factors[s]);
        std::uint8_t* row = results.Bytes.get() + std::size_t(s) * kResultRow;
        const int top = s < 255 ? s : 255;  // a channel never exceeds its pixel's intensity
        for (int v = 0; v <= top; v += 8) {
            const __m256i values = _mm256_add_epi32(_mm256_set1_epi32(v), steps);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(row + v),
                             _mm256_cvtepi32_epi8(ScaleLanes(values, factor)));
        }
    }
    results.Lines = BuildIntensityLines(factors, results.Bytes.get());
    return results;
}

// R + G + B of sixteen pixels in two multiply-adds: bytes times (1, 1, 1, 0) summed in pairs,
// then the pairs summed.
KELVO_VECTOR_TARGET __m512i Intensities(__m512i pixels) {
    return _mm512_madd_epi16(_mm512_maddubs_epi16(pixels, _mm512_set1_epi32(0x00010101)),
                             _mm512_set1_epi16(1));
}

// Four partial tables let neighbouring pixels of the same intensity count without waiting for
// each other's increment.
struct TPartialCounts {
    // One slot more than there are intensities, for lanes that are not to count.
    std::int32_t Tables[4][kIntensities + 1] = {};

    KELVO_VECTOR_TARGET void Add(__m512i intensities) {
        alignas(64) std::int32_t sums[16];
        _mm512_store_si512(sums, intensities);
        for (int k = 0; k < 16; k += 4) {
            ++Tables[0][sums[k]];
            ++Tables[1][sums[k + 1]];
            ++Tables[2][sums[k + 2]];
            ++Tables[3][sums[k + 3]];
        }
    }
    void AddTo(std::int32_t* counts) const {
        for (int s = 0; s < kIntensities; ++s)
            counts[s] += Tables[0][s] + Tables[1][s] + Tables[2][s] + Tables[3][s];
    }
};

// Sixteen channels through their rows' lines, as LineResult.
struct TLines {
    __m512i Multiplier, Shift, Bit, Base, TwoLeans;
    __mmask16 ToEven;

    KELVO_VECTOR_TARGET explicit TLines(__m512i line)
        : Multiplier(_mm512_and_si512(line, _mm512_set1_epi32(0x007FFFFF))),
          Shift(_mm512_and_si512(_mm512_srli_epi32(line, 24), _mm512_set1_epi32(31))),
          Bit(_mm512_sllv_epi32(_mm512_set1_epi32(1), Shift)),
          ToEven(
              _mm512_cmpeq_epi32_mask(_mm512_srli_epi32(line, 29), _mm512_set1_epi32(hvToEven))) {
        const __m512i half = _mm512_srli_epi32(Bit, 1);
        const __m512i lean = _mm512_srli_epi32(half, 10);
        TwoLeans = _mm512_slli_epi32(lean, 1);
        Base = _mm512_sub_epi32(half, lean);
        const __mmask16 up =
            _mm512_cmpeq_epi32_mask(_mm512_srli_epi32(line, 29), _mm512_set1_epi32(hvUp));
        Base = _mm512_mask_add_epi32(Base, up, Base, TwoLeans);
    }

    KELVO_VECTOR_TARGET __m512i Apply(__m512i channel) const {
        const __m512i product = _mm512_mullo_epi32(channel, Multiplier);
        const __mmask16 odd = _mm512_mask_test_epi32_mask(ToEven, product, Bit);
        const __m512i rounding = _mm512_mask_add_epi32(Base, odd, Base, TwoLeans);
        return _mm512_min_epu32(_mm512_srlv_epi32(_mm512_add_epi32(product, rounding), Shift),
                                _mm512_set1_epi32(255));
    }
};

// Pixels go through their rows' lines sixteen at a time; the few pixels on curved rows are
// left where they are, remembered, and looked up after each stretch of pixels. Deciding per
// block between the line and the lookup would be a branch the processor cannot foresee.
KELVO_VECTOR_TARGET void ApplyIntensityResultsVector(const TColor32* source, TColor32* target,
                                                     std::size_t count,
                                                     const TIntensityResults& results,
                                                     std::int32_t* counts) {
    const std::uint8_t* lookup = results.Bytes.get();
    const std::uint32_t* lines = results.Lines.get();
    const __m512i byte = _mm512_set1_epi32(0xFF);
    // Where the pixels left for the lookup are counted for now: a slot past the intensities.
    const __m512i uncounted = _mm512_set1_epi32(kIntensities);
    std::unique_ptr<TPartialCounts> partial;
    if (counts) partial = std::make_unique<TPartialCounts>();
    constexpr std::size_t kStretch = 4096;
    std::uint32_t curvedBlocks[kStretch / 16];
    __mmask16 curvedLanes[kStretch / 16];
    std::size_t i = 0;
    while (i + 16 <= count) {
        const std::size_t stretchBegin = i;
        const std::size_t stretchEnd = std::min(count - count % 16, i + kStretch);
        std::size_t curved = 0;
        for (; i < stretchEnd; i += 16) {
            const __m512i v = _mm512_loadu_si512(source + i);
            const __m512i line = _mm512_i32gather_epi32(Intensities(v), lines, 4);
            const __mmask16 lookedUp = _mm512_movepi32_mask(line);
            const TLines along(line);
            const __m512i out = _mm512_ternarylogic_epi32(
                along.Apply(_mm512_and_si512(v, byte)),
                _mm512_slli_epi32(along.Apply(_mm512_and_si512(_mm512_srli_epi32(v, 8), byte)), 8),
                _mm512_slli_epi32(along.Apply(_mm512_and_si512(_mm512_srli_epi32(v, 16), byte)),
                                  16),
                0xFE);  // a | b | c
            _mm512_mask_storeu_epi32(target + i, _knot_mask16(lookedUp), out);
            if (partial) partial->Add(_mm512_mask_mov_epi32(Intensities(out), lookedUp, uncounted));
            curvedBlocks[curved] = std::uint32_t(i - stretchBegin);
            curvedLanes[curved] = lookedUp;
            curved += lookedUp != 0;
        }
        for (std::size_t k = 0; k < curved; ++k)
            for (unsigned lanes = curvedLanes[k]; lanes != 0; lanes &= lanes - 1) {
                const std::size_t at =
                    stretchBegin + curvedBlocks[k] + unsigned(__builtin_ctz(lanes));
                const TColor32 out = LookUpResult(source[at], lookup);
                target[at] = out;
                if (partial) ++partial->Tables[0][Intensity(out)];
            }
    }
    if (partial) partial->AddTo(counts);
    ApplyIntensityResultsPortable(source + i, target + i, count - i, results, counts);
}

}  // namespace

KELVO_VECTOR_TARGET void ApplyIntensityFactorsVector(TColor32* pixels, std::size_t count,
                                                     const double* factors, std::int32_t* counts) {
    const TIntensityResults results = BuildIntensityResultsVector(factors);
    ApplyIntensityResultsVector(pixels, pixels, count, results, counts);
}

KELVO_VECTOR_TARGET void CountIntensitiesVector(const TColor32* pixels, std::size_t count,
                                                std::int32_t* counts, TColor32* copyTo) {
    TPartialCounts partial;
    std::size_t i = 0;
    if (copyTo) {
        for (; i + 16 <= count; i += 16) {
            const __m512i v = _mm512_loadu_si512(pixels + i);
            _mm512_storeu_si512(copyTo + i, v);
            partial.Add(Intensities(v));
        }
    } else {
        for (; i + 16 <= count; i += 16)
            partial.Add(Intensities(_mm512_loadu_si512(pixels + i)));
    }
    partial.AddTo(counts);
    CountIntensitiesPortable(pixels + i, count - i, counts, copyTo ? copyTo + i : nullptr);
}

#else

bool HasVectorKernels() {
    return false;
}
void ApplyChannelTablesVector(const TColor32* source, TColor32* target, std::size_t count,
                              const std::uint8_t* red, const std::uint8_t* green,
                              const std::uint8_t* blue) {
    ApplyChannelTablesPortable(source, target, count, red, green, blue);
}
void ApplyIntensityFactorsVector(TColor32* pixels, std::size_t count, const double* factors,
                                 std::int32_t* counts) {
    ApplyIntensityFactorsPortable(pixels, count, factors, counts);
}
void CountIntensitiesVector(const TColor32* pixels, std::size_t count, std::int32_t* counts,
                            TColor32* copyTo) {
    CountIntensitiesPortable(pixels, count, counts, copyTo);
}

namespace {
TIntensityResults BuildIntensityResultsVector(const double* factors) {
    return BuildIntensityResultsPortable(factors);
}
void ApplyIntensityResultsVector(const TColor32* source, TColor32* target, std::size_t count,
                                 const TIntensityResults& results, std::int32_t* counts) {
    ApplyIntensityResultsPortable(source, target, count, results, counts);
}
}  // namespace

#endif

// The whole-raster forms: the pixels are shared out over the cores; histograms are counted per
// run and added up at the end.
namespace {

constexpr std::size_t kMinimumRun = std::size_t(1) << 18;  // pixels
constexpr std::size_t kCacheLinePixels = 64 / sizeof(TColor32);

using TRunCounts = std::vector<std::array<std::int32_t, kIntensities>>;

void AddRunCounts(const TRunCounts& runs, std::int32_t* counts) {
    for (const auto& run : runs)
        for (int s = 0; s < kIntensities; ++s)
            counts[s] += run[s];
}

}  // namespace

void ApplyChannelTables(const TColor32* source, TColor32* target, std::size_t count,
                        const std::uint8_t* red, const std::uint8_t* green,
                        const std::uint8_t* blue) {
    const auto apply = HasVectorKernels() ? ApplyChannelTablesVector : ApplyChannelTablesPortable;
    ForEachRun(count, ParallelRunCount(count, kMinimumRun), kCacheLinePixels,
               [&](std::size_t begin, std::size_t end, int) {
                   apply(source + begin, target + begin, end - begin, red, green, blue);
               });
}

void ApplyIntensityFactors(const TColor32* source, TColor32* target, std::size_t count,
                           const double* factors, std::int32_t* counts) {
    const bool vector = HasVectorKernels();
    const TIntensityResults results =
        vector ? BuildIntensityResultsVector(factors) : BuildIntensityResultsPortable(factors);
    const auto apply = vector ? ApplyIntensityResultsVector : ApplyIntensityResultsPortable;
    const int runs = ParallelRunCount(count, kMinimumRun);
    TRunCounts runCounts(counts ? std::size_t(runs) : 0);
    ForEachRun(count, runs, kCacheLinePixels, [&](std::size_t begin, std::size_t end, int run) {
        apply(source + begin, target + begin, end - begin, results,
              counts ? runCounts[std::size_t(run)].data() : nullptr);
    });
    if (counts) AddRunCounts(runCounts, counts);
}

void CountIntensities(const TColor32* pixels, std::size_t count, std::int32_t* counts,
                      TColor32* copyTo) {
    const auto countRun = HasVectorKernels() ? CountIntensitiesVector : CountIntensitiesPortable;
    const int runs = ParallelRunCount(count, kMinimumRun);
    TRunCounts runCounts(static_cast<std::size_t>(runs));
    ForEachRun(count, runs, kCacheLinePixels, [&](std::size_t begin, std::size_t end, int run) {
        countRun(pixels + begin, end - begin, runCounts[std::size_t(run)].data(),
                 copyTo ? copyTo + begin : nullptr);
    });
    AddRunCounts(runCounts, counts);
}

}  // namespace tonekernels
