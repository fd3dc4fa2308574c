#include "app/ui/TrackBarToolForm.h"

#include <QDir>
#include <QFileInfo>
#include <QHideEvent>
#include <QShowEvent>
#include <QSlider>
#include <QTimer>

#include "app/ui/CommandDispatch.h"
#include "base/IniFile.h"

namespace {

const QString kValueKey = QStringLiteral("Value");

}  // namespace

TTrackBarToolForm::TTrackBarToolForm(const TTrackBarDesign& design, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), FDesign(design) {
    setWindowTitle(QString::fromUtf8(design.Caption));
    resize(design.ClientSize);
    move(design.Place);

    TrackBar1 = new QSlider(Qt::Horizontal, this);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setRange(design.Minimum, design.Maximum);
    TrackBar1->setSingleStep(design.LineStep);
    TrackBar1->setPageStep(design.PageStep);
    TrackBar1->setTickInterval(design.TickInterval);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setGeometry(0, 0, design.SliderWidth, design.ClientSize.height() - 3);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(100);

    connect(TrackBar1, &QSlider::valueChanged, this,
            Command(this, &TTrackBarToolForm::TrackBar1Change));
    connect(Timer1, &QTimer::timeout, this, Command(this, &TTrackBarToolForm::Timer1Timer));
}

void TTrackBarToolForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) RunCommand([this] { FormShow(); });
}

void TTrackBarToolForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) RunCommand([this] { FormHide(); });
}

void TTrackBarToolForm::FormShow() {
    const TIniFile settings(SliderSettingsFileName());
    TrackBar1->setValue(
        settings.ReadInteger(QLatin1String(FDesign.Section), kValueKey, FDesign.Default));
}

void TTrackBarToolForm::FormHide() {
    Timer1->stop();
    // The file sits in the user's configuration folder, which a fresh account may not have yet.
    const QString fileName = SliderSettingsFileName();
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    TIniFile settings(fileName);
    settings.WriteInteger(QLatin1String(FDesign.Section), kValueKey, TrackBar1->value());
}

void TTrackBarToolForm::TrackBar1Change() {
    if (!Timer1->isActive()) Timer1->start();
}

void TTrackBarToolForm::Timer1Timer() {
    Timer1->stop();
    if (OnApply) OnApply();
}
