#include "hotspot/ui/BrennForm.h"

TBrennForm::TBrennForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Brenn's Hot Spot Removal Tool"));
}
