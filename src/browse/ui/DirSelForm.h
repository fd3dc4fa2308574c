#pragma once
// TDirSelForm, the folder chooser behind "Start by Name", "Start by Date" and "Movie". It is
// created once at start-up and remembers the folder it showed last. Every folder it moves to
// becomes the process's working folder at once and stays so after the window closes, whether
// it was left with OK or with Cancel: relative names typed into "Rename + Next" are taken
// relative to it.
//
// Created while the program's real dialogs are in use, it plugs itself into them as their
// folder chooser; under scripted dialogs (the tests) it stays out of their way.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <optional>

class QComboBox;
class QFileSystemModel;
class QLabel;
class QPushButton;
class QTreeView;

// What the drive choosers offer where there are no drive letters: the root, the home folder and
// the mounted volumes that hold files (no pseudo file systems), without trailing separators.
QStringList DriveRoots();

class TDirSelForm : public QDialog {
    Q_OBJECT
  public:
    explicit TDirSelForm(QWidget* parent = nullptr);
    ~TDirSelForm() override;

    // Opens the window modally on startFolder (empty, or a folder that no longer exists: the
    // folder shown last) and returns the folder chosen with OK, or nothing.
    std::optional<QString> Choose(const QString& startFolder);

    // The steps of Choose without the modal loop, so a caller (or a test) can show the window,
    // act in it and read the outcome itself.
    void OpenOn(const QString& startFolder);
    // The folder the window shows now, without a trailing separator except for the root.
    const QString& CurrentFolder() const { return FCurrentFolder; }
    // After the window was closed: the folder chosen with OK, or nothing for Cancel or close.
    std::optional<QString> ChosenFolder() const;
    // Moves to the folder as if the user had gone there in the tree.
    void MoveTo(const QString& folder);

    QComboBox* DriveComboBox = nullptr;
    QTreeView* DirectoryTree = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;

  private:
    void TreeMoved();
    void DriveChosen(int index);
    void FillDrives();
    void ShowDriveOf(const QString& folder);

    QFileSystemModel* FModel = nullptr;
    QString FCurrentFolder;
    bool FMoving = false;
};
