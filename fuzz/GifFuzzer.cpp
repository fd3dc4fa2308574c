// libFuzzer target: the GIF reader.
#include "FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzOneInput(TFuzzTarget::Gif, data, size);
}
