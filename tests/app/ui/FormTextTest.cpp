// Every text of every form is shown whole in the font in use: each label, check box, radio
// button, push button, tool button and group box title of each window is walked, and its text's
// width in the widget's own font must fit the room the widget gives it.

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QToolButton>

#include "app/ui/Dialogs.h"
#include "app/ui/ImageHelpForm.h"
#include "app/ui/PickStrToIntForm.h"
#include "browse/ui/DirSelForm.h"
#include "hotspot/ui/BrennForm.h"
#include "support/ui/MainWindowFixture.h"
#include "tone/ui/GraphForm.h"
#include "tone/ui/TrackBarForms.h"
#include "transform/ui/RotationTrackBarForm.h"

namespace {

// The widest line of a text as the widget draws it ("&" marks an access key on a button).
int TextWidth(const QWidget& widget, QString text, bool accessKeys) {
    if (accessKeys) text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, widget.fontMetrics().horizontalAdvance(line));
    return widest;
}

// The room a widget gives its text, by the style's own measure; -1 for widgets without text.
int TextRoom(const QWidget& widget) {
    const QStyle* style = widget.style();
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.icon = button->icon();
        option.iconSize = button->iconSize();
        QStyle::SubElement contents = QStyle::SE_PushButtonContents;
        if (qobject_cast<const QCheckBox*>(button)) contents = QStyle::SE_CheckBoxContents;
        if (qobject_cast<const QRadioButton*>(button)) contents = QStyle::SE_RadioButtonContents;
        if (qobject_cast<const QToolButton*>(button))
            return button->contentsRect().width() -
                   2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) / 2;
        return style->subElementRect(contents, &option, button).width();
    }
    if (const auto* label = qobject_cast<const QLabel*>(&widget))
        return label->contentsRect().width() - 2 * label->margin() - label->indent() * 0;
    if (const auto* group = qobject_cast<const QGroupBox*>(&widget)) return group->width() - 12;
    return -1;
}

QString TextOf(const QWidget& widget, bool& accessKeys) {
    accessKeys = false;
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        accessKeys = true;
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(&widget))
        return label->wordWrap() ? QString() : label->text();
    if (const auto* group = qobject_cast<const QGroupBox*>(&widget)) {
        accessKeys = true;
        return group->title();
    }
    return {};
}

// The texts of a shown window that do not fit, as "name 'text': needs N, has M".
QStringList CutTexts(const QWidget& window) {
    QStringList cut;
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&window)) continue;
        bool accessKeys = false;
        const QString text = TextOf(*widget, accessKeys);
        if (text.isEmpty()) continue;
        const int needs = TextWidth(*widget, text, accessKeys);
        const int has = TextRoom(*widget);
        if (has >= 0 && needs > has)
            cut << QStringLiteral("%1 %2 '%3': needs %4, has %5")
                       .arg(window.objectName(), widget->objectName(), text)
                       .arg(needs)
                       .arg(has);
    }
    return cut;
}

class FormText : public MainWindowFixture {};

TEST_F(FormText, EveryTextOfEveryFormFits) {
    MarkRegistered("[Pelly]\nTools=Yes\n");
    TKelvoImageForm& form = Start();
    form.Label1->setText(QStringLiteral("<999/999>"));

    TPickStrToIntForm choice;
    choice.Setup(QStringLiteral("Register KelvoImage as the program for .jpg files?"),
                 {QStringLiteral("&Yes"), QStringLiteral("&No")}, 0);
    TAskTextForm text(QStringLiteral("Pan SPeed"), QStringLiteral("Enter a number from 1 to 1000"),
                      QStringLiteral("24"));
    QWidget* const windows[] = {&form,
                                form.GraphForm.get(),
                                form.ImageHelpForm.get(),
                                form.DirSelForm.get(),
                                form.ContrastTrackBarForm.get(),
                                form.BWTrackBarForm.get(),
                                form.RotationTrackBarForm.get(),
                                form.BrightnessTrackBarForm.get(),
                                form.BrennForm.get(),
                                &choice,
                                &text};
    for (QWidget* window : windows) {
        SCOPED_TRACE(window->objectName().toStdString());
        // Shown as the program shows it: a modal dialog's own show lays it out too.
        window->show();
        QTest::qWait(10);
        EXPECT_EQ(CutTexts(*window), QStringList());
        if (window != &form) window->hide();
    }
}

}  // namespace
