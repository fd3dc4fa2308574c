// "?" (the help window) and "E&xit", the last items of the menu bar itself.

#include "app/ui/KelvoImageUnit.h"
#include "app/ui/MenuTable.h"

using F = TKelvoImageForm;

namespace {

constexpr TMenuRow kRows[] = {
    {"?", "N1", &F::N1, &F::N1Click},
    {"E&xit", "ExitButton", &F::ExitButton, &F::ExitButtonClick},
};

}  // namespace

constexpr TMenuTable kProgramMenu{nullptr, nullptr, nullptr, kRows};
