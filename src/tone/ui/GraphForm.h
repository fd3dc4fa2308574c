#pragma once
// TGraphForm: the window of the histogram and transfer graphs the tone commands plot.

#include <QWidget>

class TGraphForm : public QWidget {
    Q_OBJECT
  public:
    explicit TGraphForm(QWidget* parent = nullptr);
};
