#pragma once
// The whole-raster loops of the tone corrections, each in a portable form and, where the
// processor has AVX-512 (with the byte-permute extension), a vector form that gives exactly
// the same pixels. The public entry points pick the vector form when it is available; the
// variants are declared here so that tests can hold them against each other.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "image/Bitmap32.h"

namespace tonekernels {

// target[i] = (red[R], green[G], blue[B]) of source[i], alpha 0; target may be source. With
// counts (766 entries), 1 is added at the intensity of each result.
void ApplyChannelTablesPortable(const TColor32* source, TColor32* target, std::size_t count,
                                const std::uint8_t* red, const std::uint8_t* green,
                                const std::uint8_t* blue, std::int32_t* counts = nullptr);
// Each channel v of a pixel of intensity s becomes round(v * factors[s]) held to 0..255;
// factors has 766 entries and none is a NaN. Alpha becomes 0. With counts (766 entries), 1 is
// added at the intensity of each result, so that the histogram after needs no pass of its own.
void ApplyIntensityFactorsPortable(TColor32* pixels, std::size_t count, const double* factors,
                                   std::int32_t* counts = nullptr);
// Adds 1 at the intensity of each pixel; counts has at least 766 entries. With copyTo, the
// pixels are copied there in the same pass.
void CountIntensitiesPortable(const TColor32* pixels, std::size_t count, std::int32_t* counts,
                              TColor32* copyTo = nullptr);

// Whether the vector forms can run here.
bool HasVectorKernels();
void ApplyChannelTablesVector(const TColor32* source, TColor32* target, std::size_t count,
                              const std::uint8_t* red, const std::uint8_t* green,
                              const std::uint8_t* blue, std::int32_t* counts = nullptr);
void ApplyIntensityFactorsVector(TColor32* pixels, std::size_t count, const double* factors,
                                 std::int32_t* counts = nullptr);
void CountIntensitiesVector(const TColor32* pixels, std::size_t count, std::int32_t* counts,
                            TColor32* copyTo = nullptr);

// Calls work(begin, end) on runs that together cover [0, count), shared out over the cores
// when the raster is large, as the loops below are; for the simple per-pixel effects.
void ForEachPixelRun(std::size_t count,
                     const std::function<void(std::size_t begin, std::size_t end)>& work);

// The form that suits this processor, spread over its cores for large rasters.
void ApplyChannelTables(const TColor32* source, TColor32* target, std::size_t count,
                        const std::uint8_t* red, const std::uint8_t* green,
                        const std::uint8_t* blue, std::int32_t* counts = nullptr);
// target[i] is source[i] with its intensity's factor applied; target may be source. With
// subtractFirst, each channel of source[i] first loses the reference's value (0 where it is not
// above it): "Subtract" never stores the subtracted picture.
void ApplyIntensityFactors(const TColor32* source, TColor32* target, std::size_t count,
                           const double* factors, std::int32_t* counts = nullptr,
                           TColor32 subtractFirst = 0);
void CountIntensities(const TColor32* pixels, std::size_t count, std::int32_t* counts,
                      TColor32* copyTo = nullptr);
// The intensities the pixels would have with each channel lowered by the reference's.
void CountSubtractedIntensities(const TColor32* pixels, std::size_t count, TColor32 reference,
                                std::int32_t* counts);

}  // namespace tonekernels
