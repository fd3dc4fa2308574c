#include "hotspot/ui/BrennForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "app/ui/BusyCursor.h"
#include "app/ui/CommandDispatch.h"
#include "app/ui/Dialogs.h"
#include "app/ui/KelvoImageUnit.h"
#include "base/IniFile.h"
#include "browse/ui/DirSelForm.h"
#include "hotspot/HotSpotRemoval.h"
#include "image/ImageFileTypes.h"
#include "view/ui/ImageView.h"

namespace {

const QString kSection = QStringLiteral("HSR");
constexpr int kFolderRole = Qt::UserRole;

QString Clean(const QString& folder) {
    return QDir::cleanPath(QDir::current().absoluteFilePath(folder));
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

}  // namespace

// ---- the lists ----

TFolderListBox::TFolderListBox(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { SetDirectory(item->data(kFolderRole).toString()); });
}

void TFolderListBox::SetDirectory(const QString& folder) {
    const QString clean = Clean(folder);
    clear();
    // The path from the root down, each step indented under the one before.
    QStringList steps;
    for (QDir dir(clean);;) {
        steps.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp()) break;
    }
    int depth = 0;
    for (const QString& step : steps) {
        const QString name = depth == 0 ? step : QFileInfo(step).fileName();
        auto* item = new QListWidgetItem(QString(depth, QLatin1Char(' ')) + name, this);
        item->setData(kFolderRole, step);
        ++depth;
    }
    setCurrentRow(count() - 1);
    const QFileInfoList subfolders =
        QDir(clean).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& sub : subfolders) {
        auto* item = new QListWidgetItem(QString(depth, QLatin1Char(' ')) + sub.fileName(), this);
        item->setData(kFolderRole, sub.absoluteFilePath());
    }
    const bool moved = clean != FDirectory;
    FDirectory = clean;
    if (moved) emit DirectoryChanged();
}

TFileListBox::TFileListBox(const QString& mask, QWidget* parent)
    : QListWidget(parent), FMask(mask) {
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void TFileListBox::SetDirectory(const QString& folder) {
    FDirectory = Clean(folder);
    clear();
    // Matched here rather than by QDir's name filter, whose letter case follows the platform.
    const QDir all(FDirectory, QString(), QDir::Name | QDir::IgnoreCase, QDir::Files);
    // The mask may hold several patterns, "*.JPG;*.HEIC".
    std::vector<QRegularExpression> patterns;
    for (const QString& mask : FMask.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        patterns.emplace_back(QRegularExpression::wildcardToRegularExpression(mask),
                              QRegularExpression::CaseInsensitiveOption);
    for (const QString& name : all.entryList())
        for (const QRegularExpression& pattern : patterns)
            if (pattern.match(name).hasMatch()) {
                addItem(name);
                break;
            }
}

QString TFileListBox::FileName() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    if (selected.isEmpty()) return {};
    return QDir(FDirectory).filePath(selected.first()->text());
}

void TFileListBox::SetFileName(const QString& path) {
    const QFileInfo file(path);
    if (QFileInfo(file.absolutePath()).isDir()) SetDirectory(file.absolutePath());
    const QList<QListWidgetItem*> found = findItems(file.fileName(), Qt::MatchExactly);
    if (!found.isEmpty() && Clean(file.absolutePath()) == FDirectory) {
        setCurrentItem(found.first());
        found.first()->setSelected(true);
    }
}

// ---- the window ----

TBrennForm::TBrennForm(TKelvoImageForm& mainForm, QWidget* parent)
    : QWidget(parent, Qt::Window), FMainForm(mainForm) {
    setObjectName(QStringLiteral("BrennForm"));
    setWindowTitle(QStringLiteral("Brenn's Hot Spot Removal Tool"));

    Label1 = MakeLabel(this, "Label1", "Drive");
    Label2 = MakeLabel(this, "Label2", "Folder");
    Label3 = MakeLabel(this, "Label3", "HotSpot");
    Label4 = MakeLabel(this, "Label4", "Image");

    Drives = new QComboBox(this);
    Drives->setObjectName(QStringLiteral("Drives"));
    Drives->setMinimumWidth(112);
    Drives->addItems(DriveRoots());
    Dirs = new TFolderListBox(this);
    Dirs->setObjectName(QStringLiteral("Dirs"));
    // The filter as the tool has always had it; letter case is ignored.
    // Camera pictures: JPEG, and what phones and cameras write besides.
    const QString mask = QStringLiteral("*.JPG;*.JPEG;*.JPE;") +
                         ImageFilePatterns(TImageFileType::Heif) + QLatin1Char(';') +
                         ImageFilePatterns(TImageFileType::Webp) + QLatin1Char(';') +
                         ImageFilePatterns(TImageFileType::Raw);
    File1 = new TFileListBox(mask, this);
    File1->setObjectName(QStringLiteral("File1"));
    File2 = new TFileListBox(mask, this);
    File2->setObjectName(QStringLiteral("File2"));
    for (QListWidget* list : {static_cast<QListWidget*>(Dirs), static_cast<QListWidget*>(File1),
                              static_cast<QListWidget*>(File2)})
        list->setMinimumSize(145, 200);

    Label6 = MakeLabel(this, "Label6", "Offset (Brightness):");
    OffsetEdit = new QLineEdit(QStringLiteral("0"), this);
    OffsetEdit->setObjectName(QStringLiteral("OffsetEdit"));
    OffsetEdit->setMinimumWidth(41);
    Label7 = MakeLabel(this, "Label7", "Multiplier (Contrast): ");
    MultiplierEdit = new QLineEdit(QStringLiteral("1"), this);
    MultiplierEdit->setObjectName(QStringLiteral("MultiplierEdit"));
    MultiplierEdit->setMinimumWidth(41);
    // A number field as narrow as designed, yet wide enough for a few digits in the font used.
    for (QLineEdit* edit : {OffsetEdit, MultiplierEdit}) {
        edit->setMaximumWidth(std::max(41, edit->fontMetrics().horizontalAdvance(
                                               QStringLiteral("-0.000")) + 12));
        edit->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }

    SmoothingRG = new QGroupBox(QStringLiteral("Smoothing"), this);
    SmoothingRG->setObjectName(QStringLiteral("SmoothingRG"));
    SmoothingRG->setMinimumWidth(145);
    auto* smoothingRow = new QHBoxLayout(SmoothingRG);
    smoothingRow->setContentsMargins(4, 2, 4, 2);
    SmoothingItems = new QButtonGroup(this);
    const char* const items[] = {"-", "2", "3", "4", "5"};
    for (int i = 0; i < 5; ++i) {
        auto* button = new QRadioButton(QLatin1String(items[i]), SmoothingRG);
        smoothingRow->addWidget(button);
        SmoothingItems->addButton(button, i);
    }
    SmoothingItems->button(0)->setChecked(true);

    BarsCB = new QCheckBox(QStringLiteral("Make Bars"), this);
    BarsCB->setObjectName(QStringLiteral("BarsCB"));
    MaskCB = new QCheckBox(QStringLiteral("Show Mask"), this);
    MaskCB->setObjectName(QStringLiteral("MaskCB"));
    GoButton = new QPushButton(QStringLiteral("GO!"), this);
    GoButton->setObjectName(QStringLiteral("GoButton"));
    GoButton->setEnabled(false);
    DoneButton = new QPushButton(QStringLiteral("Done"), this);
    DoneButton->setObjectName(QStringLiteral("DoneButton"));
    // The designed sizes, or what the text needs in the font in use when that is more.
    for (QWidget* designed : {static_cast<QWidget*>(BarsCB), static_cast<QWidget*>(MaskCB)})
        designed->setMinimumSize(QSize(73, 17).expandedTo(designed->sizeHint()));
    for (QPushButton* button : {GoButton, DoneButton})
        button->setMinimumSize(QSize(41, 20).expandedTo(button->minimumSizeHint()));
    Label5 = MakeLabel(
        this, "Label5",
        "Select Drive and Folder; then select HotSpot and Image files; then click GO!");

    // Laid out as designed (four columns of lists, the parameters in a row below, the hint at
    // the bottom), with the designed sizes as minimums: every text is shown whole in whatever
    // font and scale the desktop uses, and the lists take the room the window has.
    auto* lists = new QGridLayout;
    lists->addWidget(Label1, 0, 0, Qt::AlignHCenter);
    lists->addWidget(Label2, 0, 1, Qt::AlignHCenter);
    lists->addWidget(Label3, 0, 2, Qt::AlignHCenter);
    lists->addWidget(Label4, 0, 3, Qt::AlignHCenter);
    auto* driveColumn = new QVBoxLayout;
    driveColumn->addWidget(Drives);
    driveColumn->addStretch(1);
    lists->addLayout(driveColumn, 1, 0);
    lists->addWidget(Dirs, 1, 1);
    lists->addWidget(File1, 1, 2);
    lists->addWidget(File2, 1, 3);
    lists->setRowStretch(1, 1);

    auto* parameters = new QHBoxLayout;
    parameters->addWidget(Label6);
    parameters->addWidget(OffsetEdit);
    parameters->addSpacing(6);
    parameters->addWidget(Label7);
    parameters->addWidget(MultiplierEdit);
    parameters->addSpacing(6);
    parameters->addWidget(SmoothingRG);
    auto* checks = new QVBoxLayout;
    checks->addWidget(BarsCB);
    checks->addWidget(MaskCB);
    parameters->addLayout(checks);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(GoButton);
    buttons->addWidget(DoneButton);
    parameters->addLayout(buttons);
    parameters->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 8, 16, 8);
    layout->addLayout(lists, 1);
    layout->addLayout(parameters);
    layout->addWidget(Label5);

    // The designed size, or larger when the texts need it; the window manager picks the first
    // position.
    resize(layout->sizeHint().expandedTo(QSize(613, 672)));

    QWidget* const order[] = {Drives,     Dirs,           File1,
                              File2,      GoButton,       DoneButton,
                              OffsetEdit, MultiplierEdit, SmoothingItems->button(0),
                              BarsCB,     MaskCB};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(Drives, &QComboBox::activated, this, Command(this, &TBrennForm::DrivesChange));
    connect(Dirs, &TFolderListBox::DirectoryChanged, this, Command(this, &TBrennForm::DirsChange));
    for (TFileListBox* list : {File1, File2}) {
        connect(list, &QListWidget::itemSelectionChanged, this,
                Command(this, &TBrennForm::File1Change));
        connect(list, &QListWidget::itemClicked, this, Command(this, &TBrennForm::File1Change));
    }
    connect(GoButton, &QPushButton::clicked, this, Command(this, &TBrennForm::GoButtonClick));
    connect(DoneButton, &QPushButton::clicked, this, Command(this, &TBrennForm::DoneButtonClick));

    // The first use shows the working folder, nothing selected.
    Dirs->SetDirectory(QDir::currentPath());
    ShowDriveOf(Dirs->Directory());
}

int TBrennForm::SmoothingIndex() const {
    return SmoothingItems->checkedId();
}

void TBrennForm::SetSmoothingIndex(int index) {
    if (index >= 0) {
        SmoothingItems->button(std::min(index, 4))->setChecked(true);
        return;
    }
    // No item: the group must let go of its checked button for a moment.
    SmoothingItems->setExclusive(false);
    for (QAbstractButton* button : SmoothingItems->buttons())
        button->setChecked(false);
    SmoothingItems->setExclusive(true);
}

QString TBrennForm::SettingsFileName() const {
    return MainSettingsFileName(FExeDir);
}

void TBrennForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) RunCommand([this] { FormShow(); });
}

// Only a close by the user reaches here: a window destroyed with the program is hidden without
// a close event, so quitting with the tool open writes nothing.
void TBrennForm::closeEvent(QCloseEvent* event) {
    RunCommand([this] { FormClose(); });
    event->accept();
}

void TBrennForm::FormShow() {
    FExeDir = FMainForm.FExeDir;
    const TIniFile ini(SettingsFileName());
    // A missing value keeps the current one, and an unmoved window is left to the window
    // manager to place on its first show.
    const int top = ini.ReadInteger(kSection, QStringLiteral("Top"), y());
    if (top != y()) move(x(), top);
    const int left = ini.ReadInteger(kSection, QStringLiteral("Left"), x());
    if (left != x()) move(left, y());
    const int height = ini.ReadInteger(kSection, QStringLiteral("Height"), this->height());
    if (height != this->height()) resize(width(), height);
    const int width = ini.ReadInteger(kSection, QStringLiteral("Width"), this->width());
    if (width != this->width()) resize(width, this->height());

    OffsetEdit->setText(ini.ReadString(kSection, QStringLiteral("Offset"), QStringLiteral("0")));
    MultiplierEdit->setText(
        ini.ReadString(kSection, QStringLiteral("Multiplier"), QStringLiteral("1")));
    SetSmoothingIndex(ini.ReadInteger(kSection, QStringLiteral("Smoothing"), 0));
    BarsCB->setChecked(ReadYesNo(ini, kSection, QStringLiteral("Bars"), BarsCB->isChecked()));
    MaskCB->setChecked(ReadYesNo(ini, kSection, QStringLiteral("Mask"), MaskCB->isChecked()));

    // A saved file that is gone leaves its list without a selection; the window opens anyway.
    const QString hotSpot = ini.ReadString(kSection, QStringLiteral("HotSpot"), QString());
    if (!hotSpot.isEmpty()) File1->SetFileName(hotSpot);
    const QString image = ini.ReadString(kSection, QStringLiteral("Image"), QString());
    if (!image.isEmpty()) File2->SetFileName(image);
    File1Change();
}

void TBrennForm::FormClose() {
    TIniFile ini(SettingsFileName());
    ini.WriteInteger(kSection, QStringLiteral("Top"), y());
    ini.WriteInteger(kSection, QStringLiteral("Left"), x());
    ini.WriteInteger(kSection, QStringLiteral("Height"), height());
    ini.WriteInteger(kSection, QStringLiteral("Width"), width());
    ini.WriteString(kSection, QStringLiteral("Offset"), OffsetEdit->text());
    ini.WriteString(kSection, QStringLiteral("Multiplier"), MultiplierEdit->text());
    ini.WriteInteger(kSection, QStringLiteral("Smoothing"), SmoothingIndex());
    WriteYesNo(ini, kSection, QStringLiteral("Bars"), BarsCB->isChecked());
    WriteYesNo(ini, kSection, QStringLiteral("Mask"), MaskCB->isChecked());
    ini.WriteString(kSection, QStringLiteral("HotSpot"), File1->FileName());
    ini.WriteString(kSection, QStringLiteral("Image"), File2->FileName());
}

void TBrennForm::DrivesChange() {
    Dirs->SetDirectory(Drives->currentText());
}

void TBrennForm::DirsChange() {
    ShowDriveOf(Dirs->Directory());
    File1->SetDirectory(Dirs->Directory());
    File2->SetDirectory(Dirs->Directory());
    File1Change();
}

// The longest root that holds the folder is the drive it is on.
void TBrennForm::ShowDriveOf(const QString& folder) {
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < Drives->count(); ++i) {
        const QString root = Drives->itemText(i);
        const bool holds = folder == root || root == QDir::rootPath() ||
                           folder.startsWith(root + QLatin1Char('/'));
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    if (best >= 0) Drives->setCurrentIndex(best);
}

void TBrennForm::File1Change() {
    GoButton->setEnabled(!File1->FileName().isEmpty() && !File2->FileName().isEmpty());
}

void TBrennForm::DoneButtonClick() {
    close();
}

void TBrennForm::GoButtonClick() {
    // A blank text passes the number test but has no value: it gets the same report, before
    // anything is loaded.
    const std::optional<double> offset = HotSpotNumber(OffsetEdit->text());
    if (!offset) {
        CurrentDialogs().ShowMessage(QString::fromUtf8(kOffsetNotANumber));
        OffsetEdit->setFocus();
        return;
    }
    const std::optional<double> multiplier = HotSpotNumber(MultiplierEdit->text());
    if (!multiplier) {
        CurrentDialogs().ShowMessage(QString::fromUtf8(kMultiplierNotANumber));
        MultiplierEdit->setFocus();
        return;
    }
    const QString targetPath = File2->FileName();
    const int smoothing = SmoothingIndex();

    // File systems here keep no short aliases, so the selected path is the long one.
    FMainForm.ReOpenNamingTheFile(File1->FileName());
    TBitmap32& image = FMainForm.Image->Bitmap();
    if (BarsCB->isChecked()) MakeBars(image);
    image.Changed();
    // The mask is built from this picture kept aside: while the message below is open the
    // slideshow may load another one into the window.
    TBitmap32 hotSpot;
    hotSpot.Assign(image);
    if (MaskCB->isChecked())
        CurrentDialogs().ShowMessage(QStringLiteral("Hit <space> after you've viewed the Mask"));

    // The mask and the hourglass are scoped: both go on every way out, before a failure shows.
    const TBusyCursor busy;
    THotSpotMask mask(std::move(hotSpot), *offset, *multiplier);
    if (smoothing >= 1 && smoothing <= 4) mask.SmoothMask(smoothing + 1);
    FMainForm.ReOpenNamingTheFile(targetPath);
    mask.Apply(FMainForm.Image->Bitmap());
    FMainForm.Image->Bitmap().Changed();
}
