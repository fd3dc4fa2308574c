// "HSR", an item of the menu bar itself: the hot-spot tool window.

#include "app/ui/KelvoImageUnit.h"
#include "app/ui/MenuTable.h"

using F = TKelvoImageForm;

namespace {

constexpr TMenuRow kRows[] = {
    {"HSR", "HSR1", &F::HSR1, nullptr},
};

}  // namespace

constexpr TMenuTable kHsrMenu{nullptr, nullptr, nullptr, kRows};
