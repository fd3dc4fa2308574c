#include "hotspot/HotSpotKernels.h"

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "tone/PixelFunctions.h"

// No multiply-add may be fused here (AVX-512F has fused instructions): fusing the product into
// the rounding addition would skip the product's own rounding and change results near halves.
#pragma GCC optimize("fp-contract=off")

// The vectors below never cross a function boundary that is not inlined (every helper is
// always_inline, even in a debug build), so the note about their calling convention does not
// apply: a helper compiled for another instruction set than its caller would pass them wrongly.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

// One vector width per instruction set: 2, 4 or 8 doubles, with the matching 32-bit lanes.
template <int Lanes>
struct TVectors {
    typedef double Double __attribute__((vector_size(8 * Lanes)));
    typedef std::int32_t Int __attribute__((vector_size(4 * Lanes)));
    typedef std::uint32_t Pixel __attribute__((vector_size(4 * Lanes)));
    typedef std::uint64_t Bits __attribute__((vector_size(8 * Lanes)));
};

template <typename V, typename T>
[[gnu::always_inline]] inline V LoadUnaligned(const T* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <typename V, typename T>
[[gnu::always_inline]] inline void StoreUnaligned(T* p, V v) {
    std::memcpy(p, &v, sizeof v);
}

template <int Lanes>
[[gnu::always_inline]] inline void FactorsWith(const TColor32* row, int count, double multiplier,
                                               double offsetTerm, double* out) {
    using D = typename TVectors<Lanes>::Double;
    using I = typename TVectors<Lanes>::Int;
    using P = typename TVectors<Lanes>::Pixel;
    int x = 0;
    for (; x + Lanes <= count; x += Lanes) {
        const P pixels = LoadUnaligned<P>(row + x);
        const I s = I((pixels >> 16) & 0xFF) + I((pixels >> 8) & 0xFF) + I(pixels & 0xFF);
        const D factor = __builtin_convertvector(768 - s, D) * multiplier / 768.0 + offsetTerm;
        StoreUnaligned(out + x, factor);
    }
    for (; x < count; ++x)
        out[x] = double(768 - Intensity(row[x])) * multiplier / 768.0 + offsetTerm;
}

// Scalar tail, and the definition the vector loop must match.
template <int N>
[[gnu::always_inline]] inline double BlockMean(const double* const* rows, int x) {
    double sum = 0;
    for (int k = 0; k < N; ++k)
        for (int l = 0; l < N; ++l)
            sum += rows[l][x + k];
    return sum / double(N * N);
}

// Blocks of columns side by side: every lane adds its own cells in the order above, and the
// several independent sums hide the latency of the additions.
template <int N, int Lanes, int Blocks>
[[gnu::always_inline]] inline void SmoothRowWith(const double* const* rows, int count,
                                                 double* out) {
    using V = typename TVectors<Lanes>::Double;
    constexpr int step = Lanes * Blocks;
    int x = 0;
    for (; x + step <= count; x += step) {
        V sum[Blocks];
        for (int b = 0; b < Blocks; ++b)
            sum[b] = V{} + 0.0;
        for (int k = 0; k < N; ++k)
            for (int l = 0; l < N; ++l)
                for (int b = 0; b < Blocks; ++b)
                    sum[b] += LoadUnaligned<V>(rows[l] + x + k + b * Lanes);
        for (int b = 0; b < Blocks; ++b)
            StoreUnaligned(out + x + b * Lanes, sum[b] / double(N * N));
    }
    for (; x < count; ++x)
        out[x] = BlockMean<N>(rows, x);
}

// Several output rows at once: the blocks of rows y..y+R-1 share n - 1 of their n rows, so each
// cell is loaded once for every output row whose block holds it, rather than once per row.
// Each sum still receives its cells block column k outer, block row l inner.
template <int N, int Lanes, int Blocks, int R>
[[gnu::always_inline]] inline void SmoothRowsWith(const double* const* rows, int count,
                                                  double* const* out) {
    using V = typename TVectors<Lanes>::Double;
    constexpr int step = Lanes * Blocks;
    int x = 0;
    for (; x + step <= count; x += step) {
        V sum[R][Blocks];
        for (int r = 0; r < R; ++r)
            for (int b = 0; b < Blocks; ++b)
                sum[r][b] = V{} + 0.0;
        for (int k = 0; k < N; ++k)
            for (int j = 0; j < N + R - 1; ++j)
                for (int b = 0; b < Blocks; ++b) {
                    V cell = LoadUnaligned<V>(rows[j] + x + k + b * Lanes);
                    // Held in a register: GCC would otherwise fold the load into every
                    // addition, loading the cell once per output row again.
                    asm("" : "+x"(cell));
                    for (int r = 0; r < R; ++r)
                        if (j - r >= 0 && j - r < N) sum[r][b] += cell;  // block row l = j - r
                }
        for (int r = 0; r < R; ++r)
            for (int b = 0; b < Blocks; ++b)
                StoreUnaligned(out[r] + x + b * Lanes, sum[r][b] / double(N * N));
    }
    for (; x < count; ++x)
        for (int r = 0; r < R; ++r)
            out[r][x] = BlockMean<N>(rows + r, x);
}

template <int Lanes, int Blocks>
[[gnu::always_inline]] inline void SmoothDispatch(const double* const* rows, int n, int count,
                                                  double* out) {
    switch (n) {
        case 2:
            return SmoothRowWith<2, Lanes, Blocks>(rows, count, out);
        case 3:
            return SmoothRowWith<3, Lanes, Blocks>(rows, count, out);
        case 4:
            return SmoothRowWith<4, Lanes, Blocks>(rows, count, out);
        case 5:
            return SmoothRowWith<5, Lanes, Blocks>(rows, count, out);
        default:
            return;
    }
}

template <int Lanes, int Blocks>
[[gnu::always_inline]] inline void SmoothGroupDispatch(const double* const* rows, int n, int count,
                                                       double* const* out) {
    constexpr int R = kSmoothGroupRows;
    switch (n) {
        case 2:
            return SmoothRowsWith<2, Lanes, Blocks, R>(rows, count, out);
        case 3:
            return SmoothRowsWith<3, Lanes, Blocks, R>(rows, count, out);
        case 4:
            return SmoothRowsWith<4, Lanes, Blocks, R>(rows, count, out);
        case 5:
            return SmoothRowsWith<5, Lanes, Blocks, R>(rows, count, out);
        default:
            return;
    }
}

// ScaleColor across lanes: the product is held to 255 first, which changes no result since the
// rounding is monotonic and leaves 255 in place; adding 1.5 * 2^52 then rounds it to an integer
// in the default mode, halves to even exactly as rint does, and leaves that integer in the low
// bits of the sum. The factor is first held to 0..512, which changes no result either: a
// negative or NaN factor gives black either way, and above 512 every lit channel reaches 255
// either way (and +infinity, like 512, leaves a black channel black).
template <int Lanes>
[[gnu::always_inline]] inline typename TVectors<Lanes>::Pixel ScaledChannel(
    typename TVectors<Lanes>::Pixel pixels, int shift, typename TVectors<Lanes>::Double factor) {
    using D = typename TVectors<Lanes>::Double;
    using I = typename TVectors<Lanes>::Int;
    using P = typename TVectors<Lanes>::Pixel;
    using Bits = typename TVectors<Lanes>::Bits;
    const I value = I((pixels >> shift) & 0xFF);
    constexpr double magic = 6755399441055744.0;  // 1.5 * 2^52
    const D product = __builtin_convertvector(value, D) * factor;
    const D rounded = (product < 255.0 ? product : D{} + 255.0) + magic;
    return __builtin_convertvector(Bits(rounded), P);
}

template <int Lanes>
[[gnu::always_inline]] inline void ScaleRowWith(TColor32* row, const double* factors, int count) {
    using D = typename TVectors<Lanes>::Double;
    using P = typename TVectors<Lanes>::Pixel;
    int x = 0;
    for (; x + Lanes <= count; x += Lanes) {
        const P pixels = LoadUnaligned<P>(row + x);
        D factor = LoadUnaligned<D>(factors + x);
        factor = factor > 0.0 ? factor : D{};  // NaN compares false
        factor = factor < 512.0 ? factor : D{} + 512.0;
        StoreUnaligned(row + x, ScaledChannel<Lanes>(pixels, 16, factor) << 16 |
                                    ScaledChannel<Lanes>(pixels, 8, factor) << 8 |
                                    ScaledChannel<Lanes>(pixels, 0, factor));
    }
    for (; x < count; ++x)
        row[x] = ScaleColor(row[x], factors[x]);
}

[[gnu::target("avx512f")]] void SmoothAvx512(const double* const* rows, int n, int count,
                                             double* out) {
    SmoothDispatch<8, 6>(rows, n, count, out);
}
[[gnu::target("avx2")]] void SmoothAvx2(const double* const* rows, int n, int count, double* out) {
    SmoothDispatch<4, 6>(rows, n, count, out);
}
void SmoothSse2(const double* const* rows, int n, int count, double* out) {
    SmoothDispatch<2, 6>(rows, n, count, out);
}

[[gnu::target("avx512f")]] void SmoothGroupAvx512(const double* const* rows, int n, int count,
                                                  double* const* out) {
    SmoothGroupDispatch<8, 2>(rows, n, count, out);
}
[[gnu::target("avx2")]] void SmoothGroupAvx2(const double* const* rows, int n, int count,
                                             double* const* out) {
    SmoothGroupDispatch<4, 2>(rows, n, count, out);
}
void SmoothGroupSse2(const double* const* rows, int n, int count, double* const* out) {
    SmoothGroupDispatch<2, 2>(rows, n, count, out);
}

[[gnu::target("avx512f")]] void FactorsAvx512(const TColor32* row, int count, double multiplier,
                                              double offsetTerm, double* out) {
    FactorsWith<8>(row, count, multiplier, offsetTerm, out);
}
[[gnu::target("avx2")]] void FactorsAvx2(const TColor32* row, int count, double multiplier,
                                         double offsetTerm, double* out) {
    FactorsWith<4>(row, count, multiplier, offsetTerm, out);
}
void FactorsSse2(const TColor32* row, int count, double multiplier, double offsetTerm,
                 double* out) {
    FactorsWith<2>(row, count, multiplier, offsetTerm, out);
}

// The same steps as ScaledChannel, spelt out: the generic vectors leave GCC converting the
// channels half a register at a time and clamping with compare-and-blend pairs.
[[gnu::target("avx512f"), gnu::always_inline]] inline __m256i ScaledChannelAvx512(__m256i value,
                                                                                  __m512d factor) {
    const __m512d product = _mm512_mul_pd(_mm512_cvtepi32_pd(value), factor);
    const __m512d rounded = _mm512_add_pd(_mm512_min_pd(product, _mm512_set1_pd(255.0)),
                                          _mm512_set1_pd(6755399441055744.0));  // 1.5 * 2^52
    return _mm512_cvtepi64_epi32(_mm512_castpd_si512(rounded));
}

[[gnu::target("avx512f")]] void ScaleAvx512(TColor32* row, const double* factors, int count) {
    const __m256i byte = _mm256_set1_epi32(0xFF);
    int x = 0;
    for (; x + 8 <= count; x += 8) {
        const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x));
        // max and min return their second operand for a NaN: NaN becomes 0.
        const __m512d factor =
            _mm512_min_pd(_mm512_max_pd(_mm512_loadu_pd(factors + x), _mm512_setzero_pd()),
                          _mm512_set1_pd(512.0));
        const __m256i red =
            ScaledChannelAvx512(_mm256_and_si256(_mm256_srli_epi32(pixels, 16), byte), factor);
        const __m256i green =
            ScaledChannelAvx512(_mm256_and_si256(_mm256_srli_epi32(pixels, 8), byte), factor);
        const __m256i blue = ScaledChannelAvx512(_mm256_and_si256(pixels, byte), factor);
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(row + x),
            _mm256_or_si256(
                _mm256_or_si256(_mm256_slli_epi32(red, 16), _mm256_slli_epi32(green, 8)), blue));
    }
    for (; x < count; ++x)
        row[x] = ScaleColor(row[x], factors[x]);
}
[[gnu::target("avx2")]] void ScaleAvx2(TColor32* row, const double* factors, int count) {
    ScaleRowWith<4>(row, factors, count);
}
void ScaleSse2(TColor32* row, const double* factors, int count) {
    ScaleRowWith<2>(row, factors, count);
}

enum class TIsa { Sse2, Avx2, Avx512 };

TIsa MachineIsa() {
    static const TIsa isa = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f")) return TIsa::Avx512;
        if (__builtin_cpu_supports("avx2")) return TIsa::Avx2;
        return TIsa::Sse2;
    }();
    return isa;
}

}  // namespace

void FactorsOfRow(const TColor32* row, int count, double multiplier, double offsetTerm,
                  double* out) {
    switch (MachineIsa()) {
        case TIsa::Avx512:
            return FactorsAvx512(row, count, multiplier, offsetTerm, out);
        case TIsa::Avx2:
            return FactorsAvx2(row, count, multiplier, offsetTerm, out);
        case TIsa::Sse2:
            return FactorsSse2(row, count, multiplier, offsetTerm, out);
    }
}

void SmoothFactorRow(const double* const* rows, int n, int count, double* out) {
    switch (MachineIsa()) {
        case TIsa::Avx512:
            return SmoothAvx512(rows, n, count, out);
        case TIsa::Avx2:
            return SmoothAvx2(rows, n, count, out);
        case TIsa::Sse2:
            return SmoothSse2(rows, n, count, out);
    }
}

void SmoothFactorRows(const double* const* rows, int n, int count, double* const* out) {
    switch (MachineIsa()) {
        case TIsa::Avx512:
            return SmoothGroupAvx512(rows, n, count, out);
        case TIsa::Avx2:
            return SmoothGroupAvx2(rows, n, count, out);
        case TIsa::Sse2:
            return SmoothGroupSse2(rows, n, count, out);
    }
}

void ScaleRowByFactors(TColor32* row, const double* factors, int count) {
    switch (MachineIsa()) {
        case TIsa::Avx512:
            return ScaleAvx512(row, factors, count);
        case TIsa::Avx2:
            return ScaleAvx2(row, factors, count);
        case TIsa::Sse2:
            return ScaleSse2(row, factors, count);
    }
}
