#include "tone/ToneKernels.h"

#include <memory>

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

void ApplyIntensityFactorsPortable(TColor32* pixels, std::size_t count, const double* factors) {
    // A channel's result depends only on its value and the pixel's intensity, so every outcome
    // is worked out once, one row of 256 per intensity; the pixel loop only looks them up.
    auto results = std::make_unique<std::uint8_t[]>(std::size_t(kIntensities) * 256);
    for (int s = 0; s < kIntensities; ++s) {
        std::uint8_t* row = results.get() + std::size_t(s) * 256;
        const int top = s < 255 ? s : 255;  // a channel never exceeds its pixel's intensity
        for (int v = 0; v <= top; ++v)
            row[v] = std::uint8_t(ScaleChannel(v, factors[s]));
    }
    const std::uint8_t* lookup = results.get();
    for (std::size_t i = 0; i < count; ++i) {
        const TColor32 c = pixels[i];
        const unsigned r = (c >> 16) & 0xFF;
        const unsigned g = (c >> 8) & 0xFF;
        const unsigned b = c & 0xFF;
        const std::uint8_t* row = lookup + std::size_t(r + g + b) * 256;
        pixels[i] = TColor32(row[r]) << 16 | TColor32(row[g]) << 8 | TColor32(row[b]);
    }
}

void CountIntensitiesPortable(const TColor32* pixels, std::size_t count, std::int32_t* counts) {
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

KELVO_VECTOR_TARGET void ApplyIntensityFactorsVector(TColor32* pixels, std::size_t count,
                                                     const double* factors) {
    // The outcome of every (intensity, channel value) pair, one row of 256 per intensity as in
    // the portable form, filled eight values at a time; three spare bytes at the end let a
    // four-byte gather read the last entry.
    constexpr std::size_t kRow = 256;
    auto results = std::make_unique<std::uint8_t[]>(kIntensities * kRow + 3);
    const __m256i steps = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    for (int s = 0; s < kIntensities; ++s) {
        const __m512d factor = _mm512_set1_pd(factors[s]);
        std::uint8_t* row = results.get() + std::size_t(s) * kRow;
        const int top = s < 255 ? s : 255;  // a channel never exceeds its pixel's intensity
        for (int v = 0; v <= top; v += 8) {
            const __m256i values = _mm256_add_epi32(_mm256_set1_epi32(v), steps);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(row + v),
                             _mm256_cvtepi32_epi8(ScaleLanes(values, factor)));
        }
    }
    const std::uint8_t* lookup = results.get();
    const __m512i byte = _mm512_set1_epi32(0xFF);
    const __m512i weights = _mm512_set1_epi32(0x00010101);
    const __m512i ones = _mm512_set1_epi16(1);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m512i v = _mm512_loadu_si512(pixels + i);
        const __m512i s = _mm512_madd_epi16(_mm512_maddubs_epi16(v, weights), ones);
        const __m512i row = _mm512_slli_epi32(s, 8);
        const __m512i b = _mm512_and_si512(v, byte);
        const __m512i g = _mm512_and_si512(_mm512_srli_epi32(v, 8), byte);
        const __m512i r = _mm512_and_si512(_mm512_srli_epi32(v, 16), byte);
        const __m512i nb = _mm512_i32gather_epi32(_mm512_add_epi32(row, b), lookup, 1);
        const __m512i ng = _mm512_i32gather_epi32(_mm512_add_epi32(row, g), lookup, 1);
        const __m512i nr = _mm512_i32gather_epi32(_mm512_add_epi32(row, r), lookup, 1);
        // Each gather brought four bytes; only the first belongs to the pixel.
        const __m512i out = _mm512_ternarylogic_epi32(
            _mm512_and_si512(nb, byte), _mm512_slli_epi32(_mm512_and_si512(ng, byte), 8),
            _mm512_slli_epi32(nr, 16), 0xFE);
        _mm512_storeu_si512(pixels + i, _mm512_and_si512(out, _mm512_set1_epi32(0x00FFFFFF)));
    }
    for (; i < count; ++i) {
        const TColor32 c = pixels[i];
        const double factor = factors[Intensity(c)];
        pixels[i] = ScaleChannel(int((c >> 16) & 0xFF), factor) << 16 |
                    ScaleChannel(int((c >> 8) & 0xFF), factor) << 8 |
                    ScaleChannel(int(c & 0xFF), factor);
    }
}

KELVO_VECTOR_TARGET void CountIntensitiesVector(const TColor32* pixels, std::size_t count,
                                                std::int32_t* counts) {
    std::int32_t partial[4][kIntensities] = {};
    // R + G + B per pixel in two multiply-adds: bytes times (1, 1, 1, 0) summed in pairs,
    // then the pairs summed.
    const __m512i weights = _mm512_set1_epi32(0x00010101);
    const __m512i ones = _mm512_set1_epi16(1);
    alignas(64) std::int32_t sums[16];
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m512i v = _mm512_loadu_si512(pixels + i);
        _mm512_store_si512(sums, _mm512_madd_epi16(_mm512_maddubs_epi16(v, weights), ones));
        for (int k = 0; k < 16; k += 4) {
            ++partial[0][sums[k]];
            ++partial[1][sums[k + 1]];
            ++partial[2][sums[k + 2]];
            ++partial[3][sums[k + 3]];
        }
    }
    for (; i < count; ++i)
        ++partial[0][Intensity(pixels[i])];
    for (int s = 0; s < kIntensities; ++s)
        counts[s] += partial[0][s] + partial[1][s] + partial[2][s] + partial[3][s];
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
void ApplyIntensityFactorsVector(TColor32* pixels, std::size_t count, const double* factors) {
    ApplyIntensityFactorsPortable(pixels, count, factors);
}
void CountIntensitiesVector(const TColor32* pixels, std::size_t count, std::int32_t* counts) {
    CountIntensitiesPortable(pixels, count, counts);
}

#endif

void ApplyChannelTables(const TColor32* source, TColor32* target, std::size_t count,
                        const std::uint8_t* red, const std::uint8_t* green,
                        const std::uint8_t* blue) {
    if (HasVectorKernels())
        ApplyChannelTablesVector(source, target, count, red, green, blue);
    else
        ApplyChannelTablesPortable(source, target, count, red, green, blue);
}

void ApplyIntensityFactors(TColor32* pixels, std::size_t count, const double* factors) {
    if (HasVectorKernels())
        ApplyIntensityFactorsVector(pixels, count, factors);
    else
        ApplyIntensityFactorsPortable(pixels, count, factors);
}

void CountIntensities(const TColor32* pixels, std::size_t count, std::int32_t* counts) {
    if (HasVectorKernels())
        CountIntensitiesVector(pixels, count, counts);
    else
        CountIntensitiesPortable(pixels, count, counts);
}

}  // namespace tonekernels
