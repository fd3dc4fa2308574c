#include "tone/ui/GraphForm.h"

TGraphForm::TGraphForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("GraphForm"));
    resize(416, 763);
}
