#include "hotspot/ui/BrennForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QShowEvent>
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

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, int left, int top) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QLatin1String(name));
    label->move(left, top);
    label->adjustSize();
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
    // The controls keep their designed places; the window manager picks the first position.
    resize(613, 672);

    Label1 = MakeLabel(this, "Label1", "Drive", 56, 8);
    Label2 = MakeLabel(this, "Label2", "Folder", 184, 8);
    Label3 = MakeLabel(this, "Label3", "HotSpot", 296, 8);
    Label4 = MakeLabel(this, "Label4", "Image", 448, 8);

    Drives = new QComboBox(this);
    Drives->setObjectName(QStringLiteral("Drives"));
    Drives->setGeometry(16, 24, 112, Drives->sizeHint().height());
    Drives->addItems(DriveRoots());
    Dirs = new TFolderListBox(this);
    Dirs->setObjectName(QStringLiteral("Dirs"));
    Dirs->setGeometry(136, 24, 145, 561);
    // The filter as the tool has always had it; letter case is ignored.
    // Camera pictures: JPEG, and what phones and cameras write besides.
    const QString mask = QStringLiteral("*.JPG;*.JPEG;*.JPE;") +
                         ImageFilePatterns(TImageFileType::Heif) + QLatin1Char(';') +
                         ImageFilePatterns(TImageFileType::Webp) + QLatin1Char(';') +
                         ImageFilePatterns(TImageFileType::Raw);
    File1 = new TFileListBox(mask, this);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setGeometry(288, 24, 145, 561);
    File2 = new TFileListBox(mask, this);
    File2->setObjectName(QStringLiteral("File2"));
    File2->setGeometry(440, 24, 145, 561);

    Label6 = MakeLabel(this, "Label6", "Offset (Brightness):", 16, 596);
    OffsetEdit = new QLineEdit(QStringLiteral("0"), this);
    OffsetEdit->setObjectName(QStringLiteral("OffsetEdit"));
    OffsetEdit->setGeometry(112, 588, 41, 21);
    Label7 = MakeLabel(this, "Label7", "Multiplier (Contrast): ", 160, 596);
    MultiplierEdit = new QLineEdit(QStringLiteral("1"), this);
    MultiplierEdit->setObjectName(QStringLiteral("MultiplierEdit"));
    MultiplierEdit->setGeometry(264, 588, 41, 21);

    SmoothingRG = new QGroupBox(QStringLiteral("Smoothing"), this);
    SmoothingRG->setObjectName(QStringLiteral("SmoothingRG"));
    SmoothingRG->setGeometry(312, 587, 145, 31);
    SmoothingItems = new QButtonGroup(this);
    const char* const items[] = {"-", "2", "3", "4", "5"};
    for (int i = 0; i < 5; ++i) {
        auto* button = new QRadioButton(QLatin1String(items[i]), SmoothingRG);
        button->setGeometry(4 + i * 28, 12, 28, 17);
        SmoothingItems->addButton(button, i);
    }
    SmoothingItems->button(0)->setChecked(true);

    BarsCB = new QCheckBox(QStringLiteral("Make Bars"), this);
    BarsCB->setObjectName(QStringLiteral("BarsCB"));
    BarsCB->setGeometry(464, 600, 73, 17);
    MaskCB = new QCheckBox(QStringLiteral("Show Mask"), this);
    MaskCB->setObjectName(QStringLiteral("MaskCB"));
    MaskCB->setGeometry(464, 624, 73, 17);
    GoButton = new QPushButton(QStringLiteral("GO!"), this);
    GoButton->setObjectName(QStringLiteral("GoButton"));
    GoButton->setGeometry(544, 592, 41, 20);
    GoButton->setEnabled(false);
    DoneButton = new QPushButton(QStringLiteral("Done"), this);
    DoneButton->setObjectName(QStringLiteral("DoneButton"));
    DoneButton->setGeometry(544, 616, 41, 20);
    Label5 = MakeLabel(
        this, "Label5",
        "Select Drive and Folder; then select HotSpot and Image files; then click GO!", 24, 628);

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
    FMainForm.OpenDialog1.FileName = File1->FileName();
    FMainForm.ReOpenButtonClick();
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
    FMainForm.OpenDialog1.FileName = targetPath;
    FMainForm.ReOpenButtonClick();
    mask.Apply(FMainForm.Image->Bitmap());
    FMainForm.Image->Bitmap().Changed();
}
