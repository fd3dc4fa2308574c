// The "Rot" menu: the quarter turns, flip, mirror and free rotation.

#include "app/ui/KelvoImageUnit.h"
#include "app/ui/MenuTable.h"

using F = TKelvoImageForm;

namespace {

constexpr TMenuRow kRows[] = {
    {"CCW", "CCWButton", &F::CCWButton, &F::CCWButtonClick},
    {"CW", "CWButton", &F::CWButton, &F::CWButtonClick},
    {"Flip", "FlipButton", &F::FlipButton, &F::FlipButtonClick},
    {"Mirror", "MirrorButton", &F::MirrorButton, &F::MirrorButtonClick},
    {"Rotate", "Rotate1", &F::Rotate1, &F::Rotate1Click},
};

}  // namespace

constexpr TMenuTable kRotMenu{"Rot", "Rot1", &F::Rot1, kRows};
