#include "browse/ui/DirSelForm.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/ui/Dialogs.h"

namespace {

// The chooser that the process's real dialogs currently hand folder questions to.
TDirSelForm* GPluggedForm = nullptr;
QtDialogs* GPluggedInto = nullptr;

// Without trailing separators, except for the root itself.
QString CleanFolder(const QString& folder) {
    QString clean = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    while (clean.size() > 1 && clean.endsWith(QLatin1Char('/')))
        clean.chop(1);
    return clean;
}

// Kernel and device file systems hold no photographs; offering them only adds noise.
bool IsPseudoMount(const QString& root) {
    for (const char* prefix : {"/proc", "/sys", "/dev", "/run/user", "/snap"}) {
        const QString p = QLatin1String(prefix);
        if (root == p || root.startsWith(p + QLatin1Char('/'))) return true;
    }
    return false;
}

}  // namespace

TDirSelForm::TDirSelForm(QWidget* parent) : QDialog(parent, Qt::Window) {
    setObjectName(QStringLiteral("DirSelForm"));
    setWindowTitle(QStringLiteral("Select Directory"));
    setModal(true);

    // The drive selector: on this desktop, the mounted volumes and the home folder.
    DriveComboBox = new QComboBox(this);
    DriveComboBox->setObjectName(QStringLiteral("DriveComboBox"));

    FModel = new QFileSystemModel(this);
    FModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::Drives);
    FModel->setReadOnly(true);
    FModel->setRootPath(QDir::rootPath());

    DirectoryTree = new QTreeView(this);
    DirectoryTree->setObjectName(QStringLiteral("DirectoryTree"));
    DirectoryTree->setModel(FModel);
    for (int column = 1; column < FModel->columnCount(); ++column)
        DirectoryTree->hideColumn(column);
    DirectoryTree->header()->hide();
    DirectoryTree->setSelectionMode(QAbstractItemView::SingleSelection);

    Label1 = new QLabel(QStringLiteral("Pick directory from"), this);
    Label2 = new QLabel(QStringLiteral("which to start processing"), this);
    Label3 = new QLabel(QStringLiteral("image files"), this);
    for (QLabel* label : {Label1, Label2, Label3})
        label->setAlignment(Qt::AlignHCenter);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(DriveComboBox);
    layout->addWidget(DirectoryTree, 1);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(Label3);
    layout->addLayout(buttons);
    resize(320, 420);

    FCurrentFolder = CleanFolder(QDir::currentPath());
    FillDrives();
    connect(DirectoryTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { TreeMoved(); });
    connect(DriveComboBox, &QComboBox::activated, this, [this](int index) { DriveChosen(index); });
    // The model reads folders in the background; the folder shown may only get its row, and so
    // its place on screen, after the window has opened.
    connect(FModel, &QFileSystemModel::directoryLoaded, this, [this] {
        if (DirectoryTree->currentIndex().isValid())
            DirectoryTree->scrollTo(DirectoryTree->currentIndex(),
                                    QAbstractItemView::PositionAtCenter);
    });

    if (auto* real = dynamic_cast<QtDialogs*>(&CurrentDialogs())) {
        real->SetFolderChooser([this](const QString& start) { return Choose(start); });
        GPluggedForm = this;
        GPluggedInto = real;
    }
}

TDirSelForm::~TDirSelForm() {
    if (GPluggedForm == this) {
        GPluggedInto->SetFolderChooser({});
        GPluggedForm = nullptr;
        GPluggedInto = nullptr;
    }
}

QStringList DriveRoots() {
    QStringList roots = {QDir::rootPath(), CleanFolder(QDir::homePath())};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady()) continue;
        const QString root = CleanFolder(volume.rootPath());
        if (!IsPseudoMount(root) && !roots.contains(root)) roots.append(root);
    }
    return roots;
}

void TDirSelForm::FillDrives() {
    DriveComboBox->clear();
    DriveComboBox->addItems(DriveRoots());
}

void TDirSelForm::ShowDriveOf(const QString& folder) {
    // The longest root that holds the folder is the drive it is on.
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < DriveComboBox->count(); ++i) {
        const QString root = DriveComboBox->itemText(i);
        const bool holds = folder == root || root == QDir::rootPath() ||
                           folder.startsWith(root + QLatin1Char('/'));
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    if (best >= 0) DriveComboBox->setCurrentIndex(best);
}

void TDirSelForm::DriveChosen(int index) {
    if (index >= 0) MoveTo(DriveComboBox->itemText(index));
}

std::optional<QString> TDirSelForm::Choose(const QString& startFolder) {
    OpenOn(startFolder);
    exec();
    return ChosenFolder();
}

void TDirSelForm::OpenOn(const QString& startFolder) {
    setResult(QDialog::Rejected);
    const bool usable = !startFolder.isEmpty() && QFileInfo(startFolder).isDir();
    MoveTo(usable ? startFolder : FCurrentFolder);
}

std::optional<QString> TDirSelForm::ChosenFolder() const {
    if (result() != QDialog::Accepted) return std::nullopt;
    return FCurrentFolder;
}

void TDirSelForm::MoveTo(const QString& folder) {
    const QString clean = CleanFolder(folder);
    if (!QFileInfo(clean).isDir()) return;
    FCurrentFolder = clean;
    QDir::setCurrent(clean);
    ShowDriveOf(clean);
    if (FMoving) return;
    // Selecting the folder in the tree reports back through TreeMoved; that echo changes
    // nothing, so it is cut short here.
    FMoving = true;
    const QModelIndex index = FModel->index(clean);
    if (index.isValid()) {
        DirectoryTree->setCurrentIndex(index);
        DirectoryTree->expand(index);
        DirectoryTree->scrollTo(index, QAbstractItemView::PositionAtCenter);
    }
    FMoving = false;
}

void TDirSelForm::TreeMoved() {
    if (FMoving) return;
    const QModelIndex current = DirectoryTree->currentIndex();
    if (current.isValid()) MoveTo(FModel->filePath(current));
}
