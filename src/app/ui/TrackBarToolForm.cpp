#include "app/ui/TrackBarToolForm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHideEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QShowEvent>
#include <QSlider>
#include <QTimer>

#include "app/ui/CommandDispatch.h"
#include "base/IniFile.h"

namespace {

const QString kValueKey = QStringLiteral("Value");

// At most one window claims the keys: the one opened last, until it is active or hidden.
QPointer<TTrackBarToolForm> gKeysClaimant;

}  // namespace

TTrackBarToolForm* TTrackBarToolForm::KeysClaimant() {
    TTrackBarToolForm* window = gKeysClaimant.data();
    return window && window->isVisible() && !window->isActiveWindow() ? window : nullptr;
}

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
    if (event->spontaneous()) return;
    RunCommand([this] { FormShow(); });
    // The slider takes the keys from the start: the arrow keys move it next.
    TrackBar1->setFocus();
    gKeysClaimant = this;
    activateWindow();
}

void TTrackBarToolForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) return;
    if (gKeysClaimant == this) gKeysClaimant = nullptr;
    RunCommand([this] { FormHide(); });
}

bool TTrackBarToolForm::event(QEvent* event) {
    // The window manager has handed the focus over: from now on the keys go where the user
    // puts the focus.
    if (event->type() == QEvent::WindowActivate && gKeysClaimant == this) gKeysClaimant = nullptr;
    return QWidget::event(event);
}

void TTrackBarToolForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TTrackBarToolForm::TakeKey(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        close();
        return;
    }
    // To the slider as if typed there: what it does not use (Escape aside) it ignores.
    QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text(),
                   event->isAutoRepeat(), ushort(event->count()));
    QCoreApplication::sendEvent(TrackBar1, &copy);
    event->setAccepted(copy.isAccepted());
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
