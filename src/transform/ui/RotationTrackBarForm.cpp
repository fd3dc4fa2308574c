#include "transform/ui/RotationTrackBarForm.h"

namespace {

// Wider than its siblings, with one-degree arrow steps, so that a horizon can be levelled.
const TTrackBarDesign kRotation{
    "RotationTrackBarForm", "Rotation", 0, -180, 180, 1, 5, 5, {456, 48}, 457, {263, 140}};

}  // namespace

TRotationTrackBarForm::TRotationTrackBarForm(QWidget* parent)
    : TTrackBarToolForm(kRotation, parent) {}
