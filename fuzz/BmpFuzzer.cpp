// libFuzzer target: the BMP reader.
#include "FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzOneInput(TFuzzTarget::Bmp, data, size);
}
