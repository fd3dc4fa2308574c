// libFuzzer target: the camera RAW preview glue over LibRaw and the JPEG decoder.
#include "FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzOneInput(TFuzzTarget::Raw, data, size);
}
