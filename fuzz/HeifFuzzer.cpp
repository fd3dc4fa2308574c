// libFuzzer target: the HEIF/AVIF glue over libheif.
#include "FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzOneInput(TFuzzTarget::Heif, data, size);
}
