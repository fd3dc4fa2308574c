// The main window's caption, position label, menu bar, toolbar, stored check marks and keys.

#include <QAction>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

#include "app/IniFile.h"
#include "app/KelvoUtils.h"
#include "app/ui/CommandDispatch.h"
#include "app/ui/ImageHelpForm.h"
#include "app/ui/KelvoImageUnit.h"
#include "view/ui/ImageView.h"

namespace {

QAction* AddItem(QMenu* menu, const QString& caption, const char* name) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
}

QAction* AddBarItem(QMenuBar* bar, const QString& caption, const char* name) {
    QAction* action = bar->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
}

QAction* AddCheckItem(QMenu* menu, const QString& caption, const char* name, bool checked) {
    QAction* action = AddItem(menu, caption, name);
    action->setCheckable(true);
    action->setChecked(checked);
    return action;
}

}  // namespace

void TKelvoImageForm::CreateMenus() {
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    MainMenu1->setNativeMenuBar(false);
    // Twelve items must share 365 pixels with the default font; the styles' usual spacing
    // would push the last three behind an overflow button.
    MainMenu1->setStyleSheet(
        QStringLiteral("QMenuBar { spacing: 0px; } QMenuBar::item { padding: 2px 4px; }"));

    Files1 = MainMenu1->addMenu(QStringLiteral("&Files"));
    Files1->setObjectName(QStringLiteral("Files1"));
    OpenButton = AddItem(Files1, QStringLiteral("&Open"), "OpenButton");
    ReOpenButton = AddItem(Files1, QStringLiteral("&ReOpen"), "ReOpenButton");
    Save1 = AddItem(Files1, QStringLiteral("&Save"), "Save1");
    SaveAs1 = AddItem(Files1, QStringLiteral("Save &As"), "SaveAs1");
    SaveAsTransparentGIF1 =
        AddItem(Files1, QStringLiteral("Save As &Transparent GIF"), "SaveAsTransparentGIF1");
    ConvertTo1 = AddItem(Files1, QStringLiteral("Convert &To"), "ConvertTo1");
    SaveUnique1 = AddItem(Files1, QStringLiteral("Save As &Unique JPG"), "SaveUnique1");
    JPEGQuality1 = AddItem(Files1, QStringLiteral("JPEG Quality"), "JPEGQuality1");
    PanSpeed1 = AddItem(Files1, QStringLiteral("Pan Speed"), "PanSpeed1");
    Paste1 = AddItem(Files1, QStringLiteral("&Paste"), "Paste1");
    Copy1 = AddItem(Files1, QStringLiteral("&Copy"), "Copy1");
    PellsTools1 = AddCheckItem(Files1, QStringLiteral("Pell''s Tools"), "PellsTools1", false);
    RegisterFileTypes1 =
        AddItem(Files1, QStringLiteral("Register File Types"), "RegisterFileTypes1");
    DeleteConfirm1 = AddCheckItem(Files1, QStringLiteral("Delete Confirm"), "DeleteConfirm1", true);
    SaveConfirm1 = AddCheckItem(Files1, QStringLiteral("Save Confirm"), "SaveConfirm1", true);
    ShowPixelValues1 =
        AddCheckItem(Files1, QStringLiteral("Show Pixel Values"), "ShowPixelValues1", true);
    ShowLineLengths1 =
        AddCheckItem(Files1, QStringLiteral("Show Line Lengths"), "ShowLineLengths1", true);
    Movie1 = AddItem(Files1, QStringLiteral("Movie"), "Movie1");
    MovieSpeedms1 = AddItem(Files1, QStringLiteral("Movie Speed (ms)"), "MovieSpeedms1");
    ExtendedInfo1 = AddItem(Files1, QStringLiteral("Extended Info"), "ExtendedInfo1");
    Print1 = AddItem(Files1, QStringLiteral("&Print an 8x10"), "Print1");

    DoubleButton = AddBarItem(MainMenu1, QStringLiteral("X&2"), "DoubleButton");
    HalfButton = AddBarItem(MainMenu1, QStringLiteral("1&/2"), "HalfButton");
    QuarterButton = AddBarItem(MainMenu1, QStringLiteral("1/4"), "QuarterButton");
    OneToOne1 = AddBarItem(MainMenu1, QStringLiteral("1:1"), "OneToOne1");
    Fit1 = AddBarItem(MainMenu1, QStringLiteral("Fit"), "Fit1");

    Rot1 = MainMenu1->addMenu(QStringLiteral("Rot"));
    Rot1->setObjectName(QStringLiteral("Rot1"));
    CCWButton = AddItem(Rot1, QStringLiteral("CCW"), "CCWButton");
    CWButton = AddItem(Rot1, QStringLiteral("CW"), "CWButton");
    FlipButton = AddItem(Rot1, QStringLiteral("Flip"), "FlipButton");
    MirrorButton = AddItem(Rot1, QStringLiteral("Mirror"), "MirrorButton");
    Rotate1 = AddItem(Rot1, QStringLiteral("Rotate"), "Rotate1");

    Bright1 = MainMenu1->addMenu(QStringLiteral("Bright"));
    Bright1->setObjectName(QStringLiteral("Bright1"));
    LinearBrighten1 = AddItem(Bright1, QStringLiteral("&Linear"), "LinearBrighten1");
    ContrastStretch1 = AddItem(Bright1, QStringLiteral("Contrast Stretch"), "ContrastStretch1");
    Brightness1 = AddItem(Bright1, QStringLiteral("Brightness"), "Brightness1");
    Contrast1 = AddItem(Bright1, QStringLiteral("Contrast"), "Contrast1");
    MakeWhite1 = AddItem(Bright1, QStringLiteral("Make White"), "MakeWhite1");
    MakeBlack1 = AddItem(Bright1, QStringLiteral("Make Black"), "MakeBlack1");
    MakeBlackWhite1 = AddItem(Bright1, QStringLiteral("Make Black/White"), "MakeBlackWhite1");
    MakeGrey1 = AddItem(Bright1, QStringLiteral("Make Grey"), "MakeGrey1");
    Subtract1 = AddItem(Bright1, QStringLiteral("Subtract"), "Subtract1");
    RemoveColorCast1 = AddItem(Bright1, QStringLiteral("Remove Color Cast"), "RemoveColorCast1");
    RemoveColorCastAgain1 =
        AddItem(Bright1, QStringLiteral("Remove Color Cast Again"), "RemoveColorCastAgain1");
    HistoGram1 = AddItem(Bright1, QStringLiteral("&HistoGram"), "HistoGram1");
    ShowHistogram1 =
        AddCheckItem(Bright1, QStringLiteral("Show Histogram"), "ShowHistogram1", true);
    MakeBlackandWhite1 =
        AddItem(Bright1, QStringLiteral("Make Black and White"), "MakeBlackandWhite1");
    Negative1 = AddItem(Bright1, QStringLiteral("Negative"), "Negative1");
    IsoBrightness32 = AddItem(Bright1, QStringLiteral("IsoBrightness 32"), "IsoBrightness32");
    IsoBrightness64 = AddItem(Bright1, QStringLiteral("IsoBrightness 64"), "IsoBrightness64");
    IsoBrightness128 = AddItem(Bright1, QStringLiteral("IsoBrightness 128"), "IsoBrightness128");
    Washout1 = AddItem(Bright1, QStringLiteral("Washout"), "Washout1");

    Undo1 = AddBarItem(MainMenu1, QStringLiteral("&Undo"), "Undo1");
    HSR1 = AddBarItem(MainMenu1, QStringLiteral("HSR"), "HSR1");
    N1 = AddBarItem(MainMenu1, QStringLiteral("?"), "N1");
    ExitButton = AddBarItem(MainMenu1, QStringLiteral("E&xit"), "ExitButton");
}

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
        {&RenameAndNextSB, "RenameAndNextSB", "Rename + Next", 429, 86},
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
    connect(OpenButton, &QAction::triggered, this,
            Command(this, &TKelvoImageForm::OpenButtonClick));
    connect(ReOpenButton, &QAction::triggered, this,
            Command(this, &TKelvoImageForm::ReOpenButtonClick));
    connect(PanSpeed1, &QAction::triggered, this, Command(this, &TKelvoImageForm::PanSpeed1Click));
    connect(Paste1, &QAction::triggered, this, Command(this, &TKelvoImageForm::Paste1Click));
    connect(PellsTools1, &QAction::triggered, this,
            Command(this, &TKelvoImageForm::PellsTools1Click));
    connect(DeleteConfirm1, &QAction::triggered, this,
            Command(this, &TKelvoImageForm::DeleteConfirm1Click));
    connect(SaveConfirm1, &QAction::triggered, this,
            Command(this, &TKelvoImageForm::SaveConfirm1Click));
    connect(ShowPixelValues1, &QAction::triggered, this,
            Command(this, &TKelvoImageForm::ShowPixelValues1Click));
    connect(ShowLineLengths1, &QAction::triggered, this,
            Command(this, &TKelvoImageForm::ShowLineLengths1Click));
    connect(DoubleButton, &QAction::triggered, this,
            Command(this, &TKelvoImageForm::DoubleButtonClick));
    connect(HalfButton, &QAction::triggered, this,
            Command(this, &TKelvoImageForm::HalfButtonClick));
    connect(QuarterButton, &QAction::triggered, this,
            Command(this, &TKelvoImageForm::QuarterButtonClick));
    connect(OneToOne1, &QAction::triggered, this, Command(this, &TKelvoImageForm::OneToOne1Click));
    connect(Fit1, &QAction::triggered, this, Command(this, &TKelvoImageForm::Fit1Click));
    connect(N1, &QAction::triggered, this, Command(this, &TKelvoImageForm::N1Click));
    connect(ExitButton, &QAction::triggered, this,
            Command(this, &TKelvoImageForm::ExitButtonClick));
    connect(Timer1, &QTimer::timeout, this, Command(this, &TKelvoImageForm::Timer1Timer));
    ConnectEditingCommands();
    ConnectBrowseCommands();
}

void TKelvoImageForm::UpdateCaption() {
    QString caption = QStringLiteral("KelvoImage: ") + OpenDialog1.FileName;
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
    TIniFile(MainSettingsFile())
        .WriteString(QStringLiteral("Pelly"), QStringLiteral("Tools"),
                     PellsTools1->isChecked() ? QStringLiteral("Yes") : QStringLiteral("No"));
    ResizeForm();
}

namespace {

void StoreYN(const QString& fileName, const char* section, const char* key, bool on) {
    TIniFile(fileName).WriteString(QLatin1String(section), QLatin1String(key),
                                   on ? QStringLiteral("Y") : QStringLiteral("N"));
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

void TKelvoImageForm::keyPressEvent(QKeyEvent* event) {
    bool handled = false;
    RunCommand([&] { FormKeyDown(event->key(), handled); });
    if (handled)
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

void TKelvoImageForm::FormKeyDown(int key, bool& handled) {
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
            break;
    }
}
