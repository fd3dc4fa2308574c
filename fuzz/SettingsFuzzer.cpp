// libFuzzer target: the settings-file parser and writer.
#include "FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzOneInput(TFuzzTarget::Settings, data, size);
}
