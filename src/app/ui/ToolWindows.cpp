#include "app/ui/ToolWindows.h"

namespace {

void SetUpSliderWindow(QWidget* window, const QString& caption, int clientWidth, QPoint place) {
    window->setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
    window->setWindowTitle(caption);
    window->resize(clientWidth, 48);
    window->move(place);
}

}  // namespace

TGraphForm::TGraphForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("GraphForm"));
    resize(416, 763);
}

TContrastTrackBarForm::TContrastTrackBarForm(QWidget* parent) : QWidget(parent) {
    SetUpSliderWindow(this, QStringLiteral("ContrastTrackBarForm"), 154, {271, 103});
}

TBWTrackBarForm::TBWTrackBarForm(QWidget* parent) : QWidget(parent) {
    SetUpSliderWindow(this, QStringLiteral("Black/WhiteTrackBarForm"), 154, {271, 103});
}

TRotationTrackBarForm::TRotationTrackBarForm(QWidget* parent) : QWidget(parent) {
    SetUpSliderWindow(this, QStringLiteral("RotationTrackBarForm"), 456, {263, 140});
}

TBrightnessTrackBarForm::TBrightnessTrackBarForm(QWidget* parent) : QWidget(parent) {
    SetUpSliderWindow(this, QStringLiteral("BrightnessTrackBarForm"), 154, {271, 103});
}

TBrennForm::TBrennForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Brenn's Hot Spot Removal Tool"));
}
