#include "app/ui/PickStrToIntForm.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>

TPickStrToIntForm::TPickStrToIntForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("PickStrToIntForm"));
    setWindowTitle(QStringLiteral("Select One"));
    setModal(true);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    // Plain text: a prompt is never markup, and its "&" are shown as typed.
    Label1->setTextFormat(Qt::PlainText);
    Label1->setWordWrap(false);
    Label1->move(LabelLeft, LabelTop);

    QPushButton** fields[MaxButtons] = {&Button1, &Button2, &Button3, &Button4, &Button5,
                                        &Button6, &Button7, &Button8, &Button9};
    for (int i = 0; i < MaxButtons; ++i) {
        auto* button = new QPushButton(this);
        button->setObjectName(QStringLiteral("Button%1").arg(i + 1));
        button->resize(DesignedButtonWidth, DesignedButtonHeight);
        // Enter and Space act on the focused button, never on a separate default button.
        button->setAutoDefault(true);
        connect(button, &QPushButton::clicked, this, [this, button] { ButtonClick(button); });
        *fields[i] = button;
        FButtons.append(button);
    }
    for (int i = 1; i < MaxButtons; ++i)
        setTabOrder(FButtons[i - 1], FButtons[i]);
}

void TPickStrToIntForm::Setup(const QString& prompt, const QStringList& captions, int helpContext) {
    FPrompt = prompt;
    FCaptions = captions.mid(0, MaxButtons);
    FHelpContext = helpContext;
    FChosenIndex = 0;
}

bool TPickStrToIntForm::ToolBarFormExists() {
    const QString wanted = QStringLiteral("TFerlinToolBarForm");
    const auto windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [&](const QWidget* w) {
        return w->objectName() == wanted || QLatin1String(w->metaObject()->className()) == wanted;
    });
}

void TPickStrToIntForm::setVisible(bool visible) {
    // The layout, and above all the window flags, must be settled before the window is mapped:
    // changing flags of a visible window hides it again.
    if (visible && !isVisible()) FormShow();
    QDialog::setVisible(visible);
}

void TPickStrToIntForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FButtons.first()->setFocus(Qt::OtherFocusReason);
}

void TPickStrToIntForm::FormShow() {
    const bool onTop = ToolBarFormExists();
    if (onTop != bool(windowFlags() & Qt::WindowStaysOnTopHint))
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);

    Label1->setText(QString(FPrompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    Label1->adjustSize();
    FChosenIndex = 0;

    const int count = int(FCaptions.size());
    const int rowWidth = count < 2 ? 190 : count * 100 - 5;

    const QFontMetrics metrics(font());
    int widest = 0;
    for (const QString& line : FPrompt.split(QStringLiteral("\r\n")))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const int textWidth = widest + 40;

    const int width = textWidth > rowWidth ? textWidth : rowWidth;
    Label1->move(LabelLeft, LabelTop);
    const int labelBottom = LabelTop + Label1->height();
    const int height = labelBottom + FButtons.first()->height() + 52;
    const int buttonTop = labelBottom + 16;

    for (int i = 0; i < MaxButtons; ++i) {
        QPushButton* button = FButtons[i];
        if (i >= count) {
            button->hide();
            continue;
        }
        if (count == 1) {
            button->setGeometry((width - DesignedButtonWidth) / 2, buttonTop, DesignedButtonWidth,
                                DesignedButtonHeight);
        } else {
            button->setGeometry((width - rowWidth) / 2 + 10 + i * 100, buttonTop, 50,
                                DesignedButtonHeight);
        }
        button->setText(FCaptions[i]);
        button->show();
    }
    FLastPressed.clear();

    setFixedSize(width, height);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    move(area.left() + (area.width() - width) / 2, area.top() + (area.height() - height) / 2);
}

void TPickStrToIntForm::ButtonClick(QPushButton* button) {
    FLastPressed = button->text();
    for (int i = 0; i < FCaptions.size(); ++i) {
        if (FCaptions[i] == FLastPressed) FChosenIndex = i + 1;
    }
    accept();
}
