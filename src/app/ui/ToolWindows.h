#pragma once
// The eight windows besides the main window, as they exist at start-up: created hidden, in
// their fixed order, each with its class and designed caption. Their contents belong to the
// subsystems that show them.

#include <QWidget>

#include "browse/ui/DirSelForm.h"

class TGraphForm : public QWidget {
    Q_OBJECT
  public:
    explicit TGraphForm(QWidget* parent = nullptr);
};

// The slider tool windows share their frame: an always-on-top tool window.
class TContrastTrackBarForm : public QWidget {
    Q_OBJECT
  public:
    explicit TContrastTrackBarForm(QWidget* parent = nullptr);
};

class TBWTrackBarForm : public QWidget {
    Q_OBJECT
  public:
    explicit TBWTrackBarForm(QWidget* parent = nullptr);
};

class TRotationTrackBarForm : public QWidget {
    Q_OBJECT
  public:
    explicit TRotationTrackBarForm(QWidget* parent = nullptr);
};

class TBrightnessTrackBarForm : public QWidget {
    Q_OBJECT
  public:
    explicit TBrightnessTrackBarForm(QWidget* parent = nullptr);
};

class TBrennForm : public QWidget {
    Q_OBJECT
  public:
    explicit TBrennForm(QWidget* parent = nullptr);
};
