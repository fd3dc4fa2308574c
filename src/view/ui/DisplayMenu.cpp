// The display items of the menu bar itself: "X&2", "1&/2", "1/4", "1:1" and "Fit".

#include "app/ui/KelvoImageUnit.h"
#include "app/ui/MenuTable.h"

using F = TKelvoImageForm;

namespace {

// Until a display mode is applied every item may run. Then the size steps work at 1:1 only, and
// each mode's own item is greyed while that mode is shown.
bool EnabledAtOneToOne(const F& form) {
    return !form.FDisplayModeApplied || form.FOneToOne;
}

bool EnabledInFit(const F& form) {
    return !form.FDisplayModeApplied || !form.FOneToOne;
}

constexpr TMenuRow kRows[] = {
    {"X&2", "DoubleButton", &F::DoubleButton, &F::DoubleButtonClick, TCheckMark::None, nullptr,
     EnabledAtOneToOne},
    {"1&/2", "HalfButton", &F::HalfButton, &F::HalfButtonClick, TCheckMark::None, nullptr,
     EnabledAtOneToOne},
    {"1/4", "QuarterButton", &F::QuarterButton, &F::QuarterButtonClick, TCheckMark::None, nullptr,
     EnabledAtOneToOne},
    {"1:1", "OneToOne1", &F::OneToOne1, &F::OneToOne1Click, TCheckMark::None, nullptr,
     EnabledInFit},
    {"Fit", "Fit1", &F::Fit1, &F::Fit1Click, TCheckMark::None, nullptr, EnabledAtOneToOne},
};

}  // namespace

constexpr TMenuTable kDisplayMenu{nullptr, nullptr, nullptr, kRows};
