#pragma once
// The one seam through which every modal interaction of the program passes: message boxes,
// the error box, the button choice, text entry, the Open/Save file dialogs, the folder chooser
// and the print dialog. Windows and commands never open a modal dialog themselves; they call
// CurrentDialogs(), which is the Qt implementation in the running program and a
// ScriptedDialogs (ScriptedDialogs.h) in the GUI tests.
//
// The clipboard is not part of the seam: the offscreen platform has a working in-process
// clipboard, so tests use QGuiApplication::clipboard() directly.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;

// The program's name: title of the error box and of the plain message boxes.
inline const QString KelvoProgramName = QStringLiteral("KelvoImage");

// One Open or Save dialog. Filters are "Shows|Patterns" entries, patterns separated by ";"
// (for example "TIFFs|*.TIF;*.TIFF"). FilterIndex is 1-based; the dialog writes the entry the
// user last chose back into it, so a caller that keeps the request keeps the choice.
struct FileDialogRequest {
    QString Caption;
    QString FileName;  // start file (its folder is opened and its name proposed); may be empty
    QStringList Filters;
    int FilterIndex = 1;
    QString DefaultSuffix;          // without the dot, e.g. "JPG"; empty for none
    bool ConfirmOverwrite = false;  // Save only: ask before replacing an existing file
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // A plain message box with an OK button, titled with the program's name.
    virtual void ShowMessage(const QString& text) = 0;
    // The error box, titled with the program's name. The text is shown as given; the command
    // dispatcher has already applied FormatErrorMessage.
    virtual void ShowError(const QString& text) = 0;
    // The "Select One" button dialog behind PickStrToInt: 1-based index of the chosen caption,
    // 0 when cancelled. At most nine captions reach it (PickStrToInt checks before).
    virtual int ChooseButton(const QString& prompt, const QStringList& captions,
                             int helpContext) = 0;
    // One-line text entry: the text as typed on OK, defaultText on Cancel.
    virtual QString AskText(const QString& caption, const QString& prompt,
                            const QString& defaultText) = 0;
    // The chosen file name, or nothing on Cancel.
    virtual std::optional<QString> OpenFile(FileDialogRequest& request) = 0;
    virtual std::optional<QString> SaveFile(FileDialogRequest& request) = 0;
    // The folder chooser opened on startFolder (empty: the one it showed last); the chosen
    // folder, or nothing on Cancel.
    virtual std::optional<QString> ChooseFolder(const QString& startFolder) = 0;
    // The print dialog for this printer: true when the user confirms (the printer then holds
    // the chosen settings), false on Cancel.
    virtual bool ConfigurePrinter(QPrinter& printer) = 0;
};

// The seam in use. Until something else is installed this is a process-wide QtDialogs.
Dialogs& CurrentDialogs();
// Installs a seam (nullptr: back to the Qt one) and returns the one that was in use. The
// caller keeps ownership.
Dialogs* SetCurrentDialogs(Dialogs* dialogs);

// The real dialogs. Each one is parented to the active window, so it stays in front of it.
class QtDialogs : public Dialogs {
  public:
    void ShowMessage(const QString& text) override;
    void ShowError(const QString& text) override;
    int ChooseButton(const QString& prompt, const QStringList& captions, int helpContext) override;
    QString AskText(const QString& caption, const QString& prompt,
                    const QString& defaultText) override;
    std::optional<QString> OpenFile(FileDialogRequest& request) override;
    std::optional<QString> SaveFile(FileDialogRequest& request) override;
    std::optional<QString> ChooseFolder(const QString& startFolder) override;
    bool ConfigurePrinter(QPrinter& printer) override;

    // The main window hands its own folder chooser window here; without one a plain folder
    // dialog captioned "Select Directory" is used.
    using FolderChooser = std::function<std::optional<QString>(const QString& startFolder)>;
    void SetFolderChooser(FolderChooser chooser) { FFolderChooser = std::move(chooser); }

  private:
    FolderChooser FFolderChooser;
    QString FLastFolder;
};

// "Shows|Patterns" turned into Qt's "Shows (pattern pattern)" form.
QString QtNameFilter(const QString& filterEntry);

// The text-entry dialog behind QtDialogs::AskText: the prompt word-wrapped above a one-line
// entry of at most 255 characters, prefilled and fully selected; OK is the default button.
class TAskTextForm : public QDialog {
    Q_OBJECT
  public:
    static constexpr int MaxTextLength = 255;

    TAskTextForm(const QString& caption, const QString& prompt, const QString& defaultText,
                 QWidget* parent = nullptr);
    // The entry's text after OK, the default text otherwise.
    QString ResultText() const;

    QLabel* PromptLabel;
    QLineEdit* Edit;
    QPushButton* OKButton;
    QPushButton* CancelButton;

  private:
    QString FDefaultText;
};
