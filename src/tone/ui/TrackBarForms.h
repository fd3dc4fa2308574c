#pragma once
// The tone commands' slider windows: "Brightness", "Contrast" and the black-and-white cutoff of
// "Make Black and White". Their frame and slider behaviour are TTrackBarToolForm's.

#include "app/ui/TrackBarToolForm.h"

class TBrightnessTrackBarForm : public TTrackBarToolForm {
    Q_OBJECT
  public:
    explicit TBrightnessTrackBarForm(QWidget* parent = nullptr);
};

class TContrastTrackBarForm : public TTrackBarToolForm {
    Q_OBJECT
  public:
    explicit TContrastTrackBarForm(QWidget* parent = nullptr);
};

class TBWTrackBarForm : public TTrackBarToolForm {
    Q_OBJECT
  public:
    explicit TBWTrackBarForm(QWidget* parent = nullptr);
};
