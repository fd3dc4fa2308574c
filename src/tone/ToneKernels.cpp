#include "tone/ToneKernels.h"

#include <algorithm>
#include <array>
#include <bit>
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
                                const std::uint8_t* blue, std::int32_t* counts) {
    for (std::size_t i = 0; i < count; ++i) {
        const TColor32 c = source[i];
        const TColor32 out = TColor32(red[(c >> 16) & 0xFF]) << 16 |
                             TColor32(green[(c >> 8) & 0xFF]) << 8 | TColor32(blue[c & 0xFF]);
        target[i] = out;
        if (counts) ++counts[Intensity(out)];
    }
}

namespace {

// The outcome of every (intensity, channel value) pair, one row of 256 per intensity: a
// channel's result depends only on its value and its pixel's intensity, so every outcome is
// worked out once and the pixel loops only look them up. Three spare bytes at the end let a
// four-byte gather read the last entry. The vector form adds each row's single factor.
struct TIntensityResults {
    std::unique_ptr<std::uint8_t[]> Bytes;
    std::unique_ptr<float[]> RowFactors;
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

// Each channel less the reference's, 0 where it is not above it; alpha is left as it is.
TColor32 SubtractChannels(TColor32 c, TColor32 reference) {
    TColor32 out = c & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const TColor32 v = (c >> shift) & 0xFF;
        const TColor32 r = (reference >> shift) & 0xFF;
        out |= (v > r ? v - r : 0) << shift;
    }
    return out;
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
                                   const TIntensityResults& results, std::int32_t* counts,
                                   TColor32 subtractFirst) {
    const std::uint8_t* lookup = results.Bytes.get();
    for (std::size_t i = 0; i < count; ++i) {
        const TColor32 out = LookUpResult(SubtractChannels(source[i], subtractFirst), lookup);
        target[i] = out;
        if (counts) ++counts[Intensity(out)];
    }
}

}  // namespace

void ApplyIntensityFactorsPortable(TColor32* pixels, std::size_t count, const double* factors,
                                   std::int32_t* counts) {
    const TIntensityResults results = BuildIntensityResultsPortable(factors);
    ApplyIntensityResultsPortable(pixels, pixels, count, results, counts, 0);
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

namespace {

void CountSubtractedIntensitiesPortable(const TColor32* pixels, std::size_t count,
                                        TColor32 reference, std::int32_t* counts) {
    for (std::size_t i = 0; i < count; ++i)
        ++counts[Intensity(SubtractChannels(pixels[i], reference))];
}

}  // namespace

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

namespace {

// R + G + B of sixteen pixels in two multiply-adds: bytes times (1, 1, 1, 0) summed in pairs,
// then the pairs summed.
KELVO_VECTOR_TARGET __m512i Intensities(__m512i pixels) {
    return _mm512_madd_epi16(_mm512_maddubs_epi16(pixels, _mm512_set1_epi32(0x00010101)),
                             _mm512_set1_epi16(1));
}

// Four partial tables let neighbouring pixels of the same intensity count without waiting for
// each other's increment.
struct TPartialCounts {
    std::int32_t Tables[4][kIntensities] = {};

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
    // The pixels of a whole number of blocks of sixteen.
    KELVO_VECTOR_TARGET void AddPixels(const TColor32* pixels, std::size_t count) {
        for (std::size_t i = 0; i + 16 <= count; i += 16)
            Add(Intensities(_mm512_loadu_si512(pixels + i)));
    }
};

// The loops that write pixels and count them count each stretch just written, while it is
// still in the nearest cache, in a loop of its own: counting in the writing loop itself took
// half as long again as the two loops together (the increments' loads and stores crowd out
// the pixel work).
constexpr std::size_t kCountedStretch = 1024;  // pixels, a multiple of 16

}  // namespace

KELVO_VECTOR_TARGET void ApplyChannelTablesVector(const TColor32* source, TColor32* target,
                                                  std::size_t count, const std::uint8_t* red,
                                                  const std::uint8_t* green,
                                                  const std::uint8_t* blue, std::int32_t* counts) {
    std::unique_ptr<TPartialCounts> partial;
    if (counts) partial = std::make_unique<TPartialCounts>();
    // Little-endian bytes of a pixel: blue, green, red, alpha. Alpha lanes stay 0.
    const TChannelLookup b = LoadLookup(blue, 0x1111111111111111ull);
    const TChannelLookup g = LoadLookup(green, 0x2222222222222222ull);
    const TChannelLookup r = LoadLookup(red, 0x4444444444444444ull);
    std::size_t i = 0;
    while (i + 16 <= count) {
        const std::size_t stretchBegin = i;
        const std::size_t stretchEnd = std::min(count - count % 16, i + kCountedStretch);
        for (; i < stretchEnd; i += 16) {
            const __m512i v = _mm512_loadu_si512(source + i);
            const __mmask64 high = _mm512_movepi8_mask(v);
            const __m512i out = _mm512_ternarylogic_epi32(LookUp(b, v, high), LookUp(g, v, high),
                                                          LookUp(r, v, high), 0xFE);  // a | b | c
            _mm512_storeu_si512(target + i, out);
        }
        if (partial) partial->AddPixels(target + stretchBegin, i - stretchBegin);
    }
    if (partial) partial->AddTo(counts);
    ApplyChannelTablesPortable(source + i, target + i, count - i, red, green, blue, counts);
}

namespace {

// Almost every row of the results table is one single-precision product: the row's bytes are
// round-half-even(v * F) held to 255 for one float F, and sixteen pixels multiply that out
// faster than three gathers look it up. F is the row's factor in single precision, or a few
// steps of it either way where v * f falls exactly on a half for some v and the double product
// rounds that half up or down rather than to even. Each row's F is held against the row's exact
// bytes for every channel value its pixels can have; a row no F reproduces is marked with -1,
// and its pixels are looked up instead.
constexpr float kCurvedRow = -1.0f;

std::uint32_t RowProduct(std::uint32_t v, float factor) {
    const float product = float(v) * factor;  // rounded to single precision, as the lanes do
    return std::min<std::uint32_t>(std::uint32_t(std::nearbyint(product)), 255);
}

std::unique_ptr<float[]> BuildRowFactors(const double* factors, const std::uint8_t* bytes) {
    auto rowFactors = std::make_unique<float[]>(kIntensities);
    for (int s = 0; s < kIntensities; ++s) {
        // Above 256 every channel but 0 is 255 anyway; at or below 0 every channel is 0.
        const float nearest = float(std::clamp(factors[s], 0.0, 256.0));
        const std::uint8_t* row = bytes + std::size_t(s) * kResultRow;
        const int top = s < 255 ? s : 255;
        rowFactors[s] = kCurvedRow;
        for (const int steps : {0, 1, -1, 2, -2, 4, -4, 8, -8, 16, -16, 32, -32, 64, -64}) {
            if (nearest == 0.0f && steps != 0) break;
            const float factor = std::bit_cast<float>(std::bit_cast<std::int32_t>(nearest) + steps);
            bool straight = true;
            for (int v = 1; v <= top && straight; ++v)
                straight = RowProduct(std::uint32_t(v), factor) == row[v];
            if (straight) {
                rowFactors[s] = factor;
                break;
            }
        }
    }
    return rowFactors;
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
    results.RowFactors = BuildRowFactors(factors, results.Bytes.get());
    return results;
}

// round-half-even(v * F) of sixteen channels, as RowProduct; F >= 0 outside curved rows.
KELVO_VECTOR_TARGET __m512i ScaleByRowFactor(__m512i channel, __m512 factor) {
    return _mm512_min_epi32(_mm512_cvtps_epi32(_mm512_mul_ps(_mm512_cvtepi32_ps(channel), factor)),
                            _mm512_set1_epi32(255));
}

// The factors of sixteen intensities. Sixteen scalar loads through the stack beat the gather
// instruction by a third on the processors this was measured on (AMD Zen 5), where a 16-lane
// gather takes about twenty cycles.
KELVO_VECTOR_TARGET __m512 LookUpRowFactors(__m512i intensities, const float* rowFactors) {
    alignas(64) std::int32_t at[16];
    _mm512_store_si512(at, intensities);
    alignas(64) float factors[16];
    for (int k = 0; k < 16; ++k)
        factors[k] = rowFactors[at[k]];
    return _mm512_load_ps(factors);
}

// Pixels are multiplied by their rows' factors sixteen at a time; the few pixels on curved rows
// are left where they are, remembered, and looked up after each stretch of pixels, which is then
// counted. Deciding per block between the product and the lookup would be a branch the
// processor cannot foresee.
KELVO_VECTOR_TARGET void ApplyIntensityResultsVector(const TColor32* source, TColor32* target,
                                                     std::size_t count,
                                                     const TIntensityResults& results,
                                                     std::int32_t* counts, TColor32 subtractFirst) {
    const std::uint8_t* lookup = results.Bytes.get();
    const float* rowFactors = results.RowFactors.get();
    const __m512i byte = _mm512_set1_epi32(0xFF);
    const __m512i minus = _mm512_set1_epi32(int(subtractFirst & 0x00FFFFFFu));
    std::unique_ptr<TPartialCounts> partial;
    if (counts) partial = std::make_unique<TPartialCounts>();
    constexpr std::size_t kStretch = kCountedStretch;
    std::uint32_t curvedBlocks[kStretch / 16];
    __mmask16 curvedLanes[kStretch / 16];
    std::size_t i = 0;
    while (i + 16 <= count) {
        const std::size_t stretchBegin = i;
        const std::size_t stretchEnd = std::min(count - count % 16, i + kStretch);
        std::size_t curved = 0;
        for (; i < stretchEnd; i += 16) {
            const __m512i v = _mm512_subs_epu8(_mm512_loadu_si512(source + i), minus);
            const __m512 factor = LookUpRowFactors(Intensities(v), rowFactors);
            const __mmask16 lookedUp = _mm512_movepi32_mask(_mm512_castps_si512(factor));
            const __m512i out = _mm512_ternarylogic_epi32(
                ScaleByRowFactor(_mm512_and_si512(v, byte), factor),
                _mm512_slli_epi32(
                    ScaleByRowFactor(_mm512_and_si512(_mm512_srli_epi32(v, 8), byte), factor), 8),
                _mm512_slli_epi32(
                    ScaleByRowFactor(_mm512_and_si512(_mm512_srli_epi32(v, 16), byte), factor), 16),
                0xFE);  // a | b | c
            _mm512_mask_storeu_epi32(target + i, _knot_mask16(lookedUp), out);
            curvedBlocks[curved] = std::uint32_t(i - stretchBegin);
            curvedLanes[curved] = lookedUp;
            curved += lookedUp != 0;
        }
        for (std::size_t k = 0; k < curved; ++k)
            for (unsigned lanes = curvedLanes[k]; lanes != 0; lanes &= lanes - 1) {
                const std::size_t at =
                    stretchBegin + curvedBlocks[k] + unsigned(__builtin_ctz(lanes));
                target[at] = LookUpResult(SubtractChannels(source[at], subtractFirst), lookup);
            }
        if (partial) partial->AddPixels(target + stretchBegin, i - stretchBegin);
    }
    if (partial) partial->AddTo(counts);
    ApplyIntensityResultsPortable(source + i, target + i, count - i, results, counts,
                                  subtractFirst);
}

}  // namespace

KELVO_VECTOR_TARGET void ApplyIntensityFactorsVector(TColor32* pixels, std::size_t count,
                                                     const double* factors, std::int32_t* counts) {
    const TIntensityResults results = BuildIntensityResultsVector(factors);
    ApplyIntensityResultsVector(pixels, pixels, count, results, counts, 0);
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

namespace {

KELVO_VECTOR_TARGET void CountSubtractedIntensitiesVector(const TColor32* pixels,
                                                          std::size_t count, TColor32 reference,
                                                          std::int32_t* counts) {
    const __m512i minus = _mm512_set1_epi32(int(reference & 0x00FFFFFFu));
    TPartialCounts partial;
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16)
        partial.Add(Intensities(_mm512_subs_epu8(_mm512_loadu_si512(pixels + i), minus)));
    partial.AddTo(counts);
    CountSubtractedIntensitiesPortable(pixels + i, count - i, reference, counts);
}

}  // namespace

#else

bool HasVectorKernels() {
    return false;
}
void ApplyChannelTablesVector(const TColor32* source, TColor32* target, std::size_t count,
                              const std::uint8_t* red, const std::uint8_t* green,
                              const std::uint8_t* blue, std::int32_t* counts) {
    ApplyChannelTablesPortable(source, target, count, red, green, blue, counts);
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
                                 const TIntensityResults& results, std::int32_t* counts,
                                 TColor32 subtractFirst) {
    ApplyIntensityResultsPortable(source, target, count, results, counts, subtractFirst);
}
void CountSubtractedIntensitiesVector(const TColor32* pixels, std::size_t count,
                                      TColor32 reference, std::int32_t* counts) {
    CountSubtractedIntensitiesPortable(pixels, count, reference, counts);
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

// Shares [0, count) out over the cores; with counts, each run counts into a histogram of its
// own, and those are added into counts once every run is done.
void ForEachCountedRun(
    std::size_t count, std::int32_t* counts,
    const std::function<void(std::size_t begin, std::size_t end, std::int32_t* runCounts)>& work) {
    const int runs = ParallelRunCount(count, kMinimumRun);
    TRunCounts runCounts(counts ? std::size_t(runs) : 0);
    ForEachRun(count, runs, kCacheLinePixels, [&](std::size_t begin, std::size_t end, int run) {
        work(begin, end, counts ? runCounts[std::size_t(run)].data() : nullptr);
    });
    if (counts) AddRunCounts(runCounts, counts);
}

}  // namespace

void ForEachPixelRun(std::size_t count,
                     const std::function<void(std::size_t begin, std::size_t end)>& work) {
    ForEachCountedRun(count, nullptr, [&work](std::size_t begin, std::size_t end, std::int32_t*) {
        work(begin, end);
    });
}

void ApplyChannelTables(const TColor32* source, TColor32* target, std::size_t count,
                        const std::uint8_t* red, const std::uint8_t* green,
                        const std::uint8_t* blue, std::int32_t* counts) {
    const auto apply = HasVectorKernels() ? ApplyChannelTablesVector : ApplyChannelTablesPortable;
    ForEachCountedRun(count, counts, [&](std::size_t begin, std::size_t end, std::int32_t* run) {
        apply(source + begin, target + begin, end - begin, red, green, blue, run);
    });
}

void ApplyIntensityFactors(const TColor32* source, TColor32* target, std::size_t count,
                           const double* factors, std::int32_t* counts, TColor32 subtractFirst) {
    const bool vector = HasVectorKernels();
    const TIntensityResults results =
        vector ? BuildIntensityResultsVector(factors) : BuildIntensityResultsPortable(factors);
    const auto apply = vector ? ApplyIntensityResultsVector : ApplyIntensityResultsPortable;
    ForEachCountedRun(count, counts, [&](std::size_t begin, std::size_t end, std::int32_t* run) {
        apply(source + begin, target + begin, end - begin, results, run, subtractFirst);
    });
}

void CountIntensities(const TColor32* pixels, std::size_t count, std::int32_t* counts,
                      TColor32* copyTo) {
    const auto countRun = HasVectorKernels() ? CountIntensitiesVector : CountIntensitiesPortable;
    ForEachCountedRun(count, counts, [&](std::size_t begin, std::size_t end, std::int32_t* run) {
        countRun(pixels + begin, end - begin, run, copyTo ? copyTo + begin : nullptr);
    });
}

void CountSubtractedIntensities(const TColor32* pixels, std::size_t count, TColor32 reference,
                                std::int32_t* counts) {
    const auto countRun =
        HasVectorKernels() ? CountSubtractedIntensitiesVector : CountSubtractedIntensitiesPortable;
    ForEachCountedRun(count, counts, [&](std::size_t begin, std::size_t end, std::int32_t* run) {
        countRun(pixels + begin, end - begin, reference, run);
    });
}

}  // namespace tonekernels
