#pragma once
// TBrennForm: the hot-spot removal tool window that "HSR" opens. The user picks a folder, a
// hot-spot image and a target image there, sets Offset, Multiplier, smoothing and the two check
// boxes, and "GO!" corrects the target through the main window, where the result stays. The
// choices live in section "HSR" of the main settings file: read each time the window goes from
// hidden to shown, written when the user closes it (not when the program ends with it open).

#include <QListWidget>
#include <QString>
#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TKelvoImageForm;

// A folder list: the path from the drive's root down to the current folder, then the current
// folder's subfolders. Activating an entry makes it the current folder.
class TFolderListBox : public QListWidget {
    Q_OBJECT
  public:
    explicit TFolderListBox(QWidget* parent = nullptr);
    const QString& Directory() const { return FDirectory; }
    void SetDirectory(const QString& folder);

  signals:
    void DirectoryChanged();

  private:
    QString FDirectory;
};

// A file list of one folder, filtered by a name pattern (letter case ignored), one selection.
class TFileListBox : public QListWidget {
    Q_OBJECT
  public:
    explicit TFileListBox(const QString& mask, QWidget* parent = nullptr);
    const QString& Directory() const { return FDirectory; }
    // Shows the folder's matching files, none selected.
    void SetDirectory(const QString& folder);
    // The selected file's full path; empty when none is selected.
    QString FileName() const;
    // Moves to the file's folder and selects it; a file that is not there leaves no selection.
    void SetFileName(const QString& path);

  private:
    QString FMask;
    QString FDirectory;
};

class TBrennForm : public QWidget {
    Q_OBJECT
  public:
    explicit TBrennForm(TKelvoImageForm& mainForm, QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QComboBox* Drives = nullptr;  // the mount points
    TFolderListBox* Dirs = nullptr;
    TFileListBox* File1 = nullptr;  // "HotSpot"
    TFileListBox* File2 = nullptr;  // "Image"
    QLineEdit* OffsetEdit = nullptr;
    QLineEdit* MultiplierEdit = nullptr;
    QGroupBox* SmoothingRG = nullptr;
    QButtonGroup* SmoothingItems = nullptr;  // ids 0..4: "-", "2", "3", "4", "5"
    QCheckBox* BarsCB = nullptr;
    QCheckBox* MaskCB = nullptr;
    QPushButton* GoButton = nullptr;
    QPushButton* DoneButton = nullptr;

    // The selected smoothing item, -1 when none is.
    int SmoothingIndex() const;
    void SetSmoothingIndex(int index);

    void FormShow();
    void FormClose();
    void DrivesChange();
    void DirsChange();
    void File1Change();
    void GoButtonClick();
    void DoneButtonClick();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QString SettingsFileName() const;
    void ShowDriveOf(const QString& folder);

    TKelvoImageForm& FMainForm;
    QString FExeDir;  // the program's folder, taken when the window is shown
};
