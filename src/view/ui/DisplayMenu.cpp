// The display items of the menu bar itself: "X&2", "1&/2", "1/4", "1:1" and "Fit".

#include "app/ui/KelvoImageUnit.h"
#include "app/ui/MenuTable.h"

using F = TKelvoImageForm;

namespace {

// Their enabled state follows the display mode, which the commands themselves set.
constexpr TMenuRow kRows[] = {
    {"X&2", "DoubleButton", &F::DoubleButton, &F::DoubleButtonClick},
    {"1&/2", "HalfButton", &F::HalfButton, &F::HalfButtonClick},
    {"1/4", "QuarterButton", &F::QuarterButton, &F::QuarterButtonClick},
    {"1:1", "OneToOne1", &F::OneToOne1, &F::OneToOne1Click},
    {"Fit", "Fit1", &F::Fit1, &F::Fit1Click},
};

}  // namespace

constexpr TMenuTable kDisplayMenu{nullptr, nullptr, nullptr, kRows};
