#pragma once
// TBrennForm: the hot-spot removal tool window that "HSR" opens.

#include <QWidget>

class TBrennForm : public QWidget {
    Q_OBJECT
  public:
    explicit TBrennForm(QWidget* parent = nullptr);
};
