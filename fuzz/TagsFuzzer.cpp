// libFuzzer target: the tag report over Exiv2.
#include "FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzOneInput(TFuzzTarget::Tags, data, size);
}
