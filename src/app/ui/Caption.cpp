// The main window's caption, position label, toolbar, stored check marks and keys.

#include <QAction>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

#include "app/ui/CommandDispatch.h"
#include "app/ui/ImageHelpForm.h"
#include "app/ui/TrackBarToolForm.h"
#include "app/ui/KelvoImageUnit.h"
#include "base/IniFile.h"
#include "base/KelvoUtils.h"
#include "view/ui/ImageView.h"

void TKelvoImageForm::CreateToolbar() {
    Panel1 = new QWidget(FContent);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAutoFillBackground(true);
    struct TButtonPlace {
        QToolButton** Button;
        const char* Name;
        const char* Caption;
        int Left;
        int Width;
    };
    // "Save + Next" at 519, 69 wide, sets the window's minimum width; the rest share the row
    // to its left, with the position label between "Start by Date" and "Prev".
    const TButtonPlace places[] = {
        {&NameSB, "NameSB", "Del", 2, 34},
        {&AlphaSB, "AlphaSB", "Start by Name", 38, 86},
        {&ChronoSB, "ChronoSB", "Start by Date", 126, 86},
        {&PriorSB, "PriorSB", "Prev", 280, 40},
        {&NextSB, "NextSB", "Next", 321, 40},
        {&DelNextSB, "DelNextSB", "Del + Next", 362, 66},
        {&RenameAndNextSB, "RenameAndNextSB", "Rename + Next", 429, 89},
        {&SaveNextSB, "SaveNextSB", "Save + Next", 519, 69},
    };
    // The designed widths were made for a small dialog font; keep the captions inside them.
    QFont font = Panel1->font();
    font.setPixelSize(11);
    Panel1->setFont(font);
    Panel1->setStyleSheet(QStringLiteral("QToolButton { padding: 0px; }"));
    for (const TButtonPlace& place : places) {
        auto* button = new QToolButton(Panel1);
        button->setObjectName(QLatin1String(place.Name));
        button->setText(QLatin1String(place.Caption));
        button->setFocusPolicy(Qt::NoFocus);
        button->setGeometry(place.Left, 2, place.Width, 26);
        *place.Button = button;
    }
    Label1 = new QLabel(Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(214, 2, 65, 26);  // "<999/999>" at the toolbar's font
}

void TKelvoImageForm::ConnectCommands() {
    ConnectMenuCommands();
    connect(Timer1, &QTimer::timeout, this, Command(this, &TKelvoImageForm::Timer1Timer));
    ConnectBrowseCommands();
    ConnectPointer();
}

void TKelvoImageForm::UpdateCaption() {
    QString caption = QStringLiteral("KelvoImage: ") + OpenDialog1.FileName;
    const QString rating = RatingCaptionText(FRating);
    if (!rating.isEmpty()) caption += QStringLiteral("  ") + rating;
    if (FMakeWhiteMode)
        caption += QStringLiteral(" [Click on White]");
    else if (FMakeBlackMode)
        caption += QStringLiteral(" [Click on Black]");
    else if (FBlackWhiteStep2)
        caption += QStringLiteral(" [Click on White]");
    else if (FBlackWhiteStep1)
        caption += QStringLiteral(" [Click on Black]");
    else if (FMakeGreyMode)
        caption += QStringLiteral(" [Click on Grey]");
    else if (FSubtractMode)
        caption += QStringLiteral(" [Click on Subtract]");
    else if (FRemoveCastMode)
        caption += QStringLiteral(" [Click to Remove Color Cast]");
    if (!IsBlank(FPixelText)) caption += QStringLiteral("  ") + FPixelText;
    if (ShowLineLengths1->isChecked() && FLineLength != 0)
        caption += QStringLiteral("  Len=") + QString::number(FLineLength);
    FCaption = caption;
    // A file name may hold "[*]", which the window title would take for its modified marker.
    setWindowTitle(QString(caption).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")));

    const qsizetype count = FFileList.size();
    const qsizetype index = FFileIndex;
    Label1->setText(index + 1 < count ? QStringLiteral("<%1/%2>").arg(index + 1).arg(count)
                                      : QString());
    NextSB->setEnabled(index + 1 < count);
    DelNextSB->setEnabled(index + 1 < count);
    SaveNextSB->setEnabled(index + 1 < count);
    RenameAndNextSB->setEnabled(index < count);
    PriorSB->setEnabled(index < count && index > 0);
}

void TKelvoImageForm::N1Click() {
    if (ImageHelpForm) ImageHelpForm->ShowHelp();
}

// The stored check marks: the click has already inverted the mark (the items are checkable);
// each handler applies and stores the new state.

void TKelvoImageForm::PellsTools1Click() {
    Panel1->setVisible(PellsTools1->isChecked());
    LayoutClientArea();
    TIniFile ini(MainSettingsFile());
    WriteYesNo(ini, QStringLiteral("Pelly"), QStringLiteral("Tools"), PellsTools1->isChecked());
    ResizeForm();
}

namespace {

void StoreYN(const QString& fileName, const char* section, const char* key, bool on) {
    TIniFile ini(fileName);
    WriteYN(ini, QLatin1String(section), QLatin1String(key), on);
}

}  // namespace

void TKelvoImageForm::DeleteConfirm1Click() {
    StoreYN(MainSettingsFile(), "Confirmations", "Delete", DeleteConfirm1->isChecked());
}

void TKelvoImageForm::SaveConfirm1Click() {
    StoreYN(MainSettingsFile(), "Confirmations", "Save", SaveConfirm1->isChecked());
}

void TKelvoImageForm::ShowPixelValues1Click() {
    StoreYN(MainSettingsFile(), "Confirmations", "ShowPixels", ShowPixelValues1->isChecked());
}

void TKelvoImageForm::ShowLineLengths1Click() {
    StoreYN(MainSettingsFile(), "Confirmations", "ShowLineLengths", ShowLineLengths1->isChecked());
}

// Applies from the next load: the picture shown stays as it is.
void TKelvoImageForm::AutoRotate1Click() {
    StoreYN(MainSettingsFile(), "Image", "AutoRotate", AutoRotate1->isChecked());
}

// Applies from the next "Start by Date".
void TKelvoImageForm::DateTakenOrder1Click() {
    StoreYN(MainSettingsFile(), "Image", "DateTaken", DateTakenOrder1->isChecked());
}

void TKelvoImageForm::ShowHistogram1Click() {
    StoreYN(MainSettingsFile(), "Histogram", "Show", ShowHistogram1->isChecked());
}

void TKelvoImageForm::keyPressEvent(QKeyEvent* event) {
    // A slider window just opened is still waiting for the window manager's focus: the keys
    // typed meanwhile were meant for it.
    if (TTrackBarToolForm* slider = TTrackBarToolForm::KeysClaimant()) {
        slider->TakeKey(event);
        return;
    }
    bool handled = false;
    RunCommand([&] { FormKeyDown(event->key(), event->modifiers(), handled); });
    if (handled)
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

void TKelvoImageForm::FormKeyDown(int key, Qt::KeyboardModifiers modifiers, bool& handled) {
    switch (key) {
        case Qt::Key_Up:
            handled = true;
            PanView(0, -1);
            break;
        case Qt::Key_Down:
            handled = true;
            PanView(0, 1);
            break;
        case Qt::Key_Left:
            handled = true;
            PanView(-1, 0);
            break;
        case Qt::Key_Right:
            handled = true;
            PanView(1, 0);
            break;
        case Qt::Key_Escape:
            FMoviePlaying = false;
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (FOneToOne)
                Fit1Click();
            else
                OneToOne1Click();
            break;
        case Qt::Key_Space:
            // The button runs Next1Click once the folder commands connect it.
            if (NextSB->isEnabled()) {
                handled = true;
                NextSB->click();
            }
            break;
        default:
            CullingKeyDown(key, modifiers, handled);
            break;
    }
}

namespace {

// A key runs its toolbar button's command only when the button could be clicked, so the keys
// follow the buttons' enabling whether the toolbar is shown or not.
bool ClickIfEnabled(QToolButton* button, bool& handled) {
    if (!button->isEnabled()) return false;
    handled = true;
    button->click();
    return true;
}

}  // namespace

void TKelvoImageForm::CullingKeyDown(int key, Qt::KeyboardModifiers modifiers, bool& handled) {
    // Keypad digits and the like carry KeypadModifier; Shift counts only for Delete.
    const bool shift = modifiers & Qt::ShiftModifier;
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return;
    switch (key) {
        case Qt::Key_PageDown:
            ClickIfEnabled(NextSB, handled);
            return;
        case Qt::Key_PageUp:
            ClickIfEnabled(PriorSB, handled);
            return;
        case Qt::Key_Home:
            handled = true;
            FirstEntryKey();
            return;
        case Qt::Key_End:
            handled = true;
            LastEntryKey();
            return;
        case Qt::Key_Delete:
            ClickIfEnabled(shift ? NameSB : DelNextSB, handled);
            return;
        case Qt::Key_F2:
            ClickIfEnabled(RenameAndNextSB, handled);
            return;
        default:
            break;
    }
    if (shift) return;
    TPhotoRating rating = FRating;
    if (key >= Qt::Key_0 && key <= Qt::Key_5) {
        rating.Rating = key - Qt::Key_0;
    } else if (key == Qt::Key_P) {
        // P and X undo themselves, so a slip of the finger costs one more key.
        rating.Picked = !rating.Picked;
        if (rating.Picked && rating.Rating < 0) rating.Rating = 0;
    } else if (key == Qt::Key_X) {
        rating.Rating = rating.Rating < 0 ? 0 : -1;
        if (rating.Rating < 0) rating.Picked = false;
    } else {
        return;
    }
    handled = true;
    RateCurrentPhoto(rating);
}
