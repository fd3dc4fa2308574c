#pragma once
// The body every libFuzzer target shares: one input to one entry point, and an input that
// breaks the entry point's invariant stops the run like a crash does, leaving its reproducer.

#include <cstdio>
#include <cstdlib>

#include "FuzzEntryPoints.h"

inline int FuzzOneInput(TFuzzTarget target, const std::uint8_t* data, std::size_t size) {
    const QString fault = RunFuzzInput(target, std::span<const std::uint8_t>(data, size));
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "kelvo fuzz %s: %s\n", FuzzTargetName(target).toUtf8().constData(),
                     fault.toUtf8().constData());
        std::abort();
    }
    return 0;
}
