#include "tone/ui/TrackBarForms.h"

namespace {

// Caption, section, default, range, arrow step, page step, ticks, client size, slider width,
// screen position.
const TTrackBarDesign kBrightness{
    "BrightnessTrackBarForm", "Brightness", 0, -100, 100, 10, 10, 25, {154, 48}, 150, {271, 103}};
const TTrackBarDesign kContrast{
    "ContrastTrackBarForm", "Contrast", 0, -100, 100, 10, 10, 25, {154, 48}, 150, {271, 103}};
const TTrackBarDesign kBlackWhite{
    "Black/WhiteTrackBarForm", "BW", 200, 0, 255, 10, 10, 25, {154, 48}, 150, {271, 103}};

}  // namespace

TBrightnessTrackBarForm::TBrightnessTrackBarForm(QWidget* parent)
    : TTrackBarToolForm(kBrightness, parent) {}

TContrastTrackBarForm::TContrastTrackBarForm(QWidget* parent)
    : TTrackBarToolForm(kContrast, parent) {}

TBWTrackBarForm::TBWTrackBarForm(QWidget* parent) : TTrackBarToolForm(kBlackWhite, parent) {}
