// "&Undo", an item of the menu bar itself.

#include "app/ui/KelvoImageUnit.h"
#include "app/ui/MenuTable.h"

using F = TKelvoImageForm;

namespace {

constexpr TMenuRow kRows[] = {
    {"&Undo", "Undo1", &F::Undo1, &F::Undo1Click},
};

}  // namespace

constexpr TMenuTable kUndoMenu{nullptr, nullptr, nullptr, kRows};
