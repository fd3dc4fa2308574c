// "HSR", an item of the menu bar itself: the hot-spot tool window.

#include "app/ui/KelvoImageUnit.h"
#include "app/ui/MenuTable.h"
#include "hotspot/ui/BrennForm.h"

using F = TKelvoImageForm;

namespace {

constexpr TMenuRow kRows[] = {
    {"HSR", "HSR1", &F::HSR1, &F::HSR1Click},
};

}  // namespace

constexpr TMenuTable kHsrMenu{nullptr, nullptr, nullptr, kRows};

// A window already open is only brought to the front: its settings are not read again.
void TKelvoImageForm::HSR1Click() {
    if (BrennForm->isVisible()) {
        BrennForm->raise();
        BrennForm->activateWindow();
        return;
    }
    BrennForm->show();
}
