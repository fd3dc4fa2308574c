// libFuzzer target: the JPEG glue over libjpeg.
#include "FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzOneInput(TFuzzTarget::Jpeg, data, size);
}
