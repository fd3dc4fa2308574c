#pragma once
// ReadTiffFile and SwapRedBlue are declared in image/ImageLoader.h.

// libtiff may reserve this much for one strip or tile buffer (less for a small file, whose
// picture is held to DecodeMemoryBound); a fuzzed header asking for more is refused by libtiff
// instead of exhausting memory.
constexpr long long kTiffMaxSingleAllocation = 1024LL * 1024 * 1024;
