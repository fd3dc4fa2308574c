#pragma once
// The slider window of "Rotate": the angle in whole degrees. Its frame and slider behaviour are
// TTrackBarToolForm's.

#include "app/ui/TrackBarToolForm.h"

class TRotationTrackBarForm : public TTrackBarToolForm {
    Q_OBJECT
  public:
    explicit TRotationTrackBarForm(QWidget* parent = nullptr);
};
