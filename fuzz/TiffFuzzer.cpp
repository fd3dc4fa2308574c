// libFuzzer target: the TIFF glue over libtiff.
#include "FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzOneInput(TFuzzTarget::Tiff, data, size);
}
