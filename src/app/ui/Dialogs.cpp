#include "app/ui/Dialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "app/ui/PickStrToIntForm.h"

namespace {

Dialogs* GInstalled = nullptr;

QtDialogs& ProcessQtDialogs() {
    static QtDialogs dialogs;
    return dialogs;
}

QWidget* DialogParent() {
    return QApplication::activeWindow();
}

void ShowBox(QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, KelvoProgramName, text, QMessageBox::Ok, DialogParent());
    // A message is never markup; shown as composed.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QStringList QtNameFilters(const QStringList& filters) {
    QStringList result;
    for (const QString& entry : filters)
        result.append(QtNameFilter(entry));
    return result;
}

// Prepares the dialog from the request, runs it and writes the chosen filter back.
std::optional<QString> RunFileDialog(QFileDialog& dialog, FileDialogRequest& request) {
    const QStringList filters = QtNameFilters(request.Filters);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (request.FilterIndex >= 1 && request.FilterIndex <= filters.size())
            dialog.selectNameFilter(filters[request.FilterIndex - 1]);
    }
    if (!request.DefaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.DefaultSuffix);
    if (!request.FileName.isEmpty()) {
        const QFileInfo start(request.FileName);
        if (start.isDir()) {
            dialog.setDirectory(start.absoluteFilePath());
        } else {
            if (start.absoluteDir().exists()) dialog.setDirectory(start.absolutePath());
            dialog.selectFile(start.fileName());
        }
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const int chosenFilter = int(filters.indexOf(dialog.selectedNameFilter()));
    if (chosenFilter >= 0) request.FilterIndex = chosenFilter + 1;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return files.first();
}

}  // namespace

Dialogs& CurrentDialogs() {
    return GInstalled ? *GInstalled : ProcessQtDialogs();
}

Dialogs* SetCurrentDialogs(Dialogs* dialogs) {
    Dialogs* previous = GInstalled;
    GInstalled = dialogs;
    return previous;
}

QString QtNameFilter(const QString& filterEntry) {
    const qsizetype bar = filterEntry.indexOf(QLatin1Char('|'));
    if (bar < 0) return filterEntry;
    const QString shows = filterEntry.left(bar).trimmed();
    QStringList patterns = filterEntry.mid(bar + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& p : patterns)
        p = p.trimmed();
    // The desktop's file systems are case-sensitive, the patterns were written for one that is
    // not: offer both spellings so that "*.JPG" also lists photo.jpg.
    QStringList both;
    for (const QString& p : patterns) {
        for (const QString& variant : {p, p.toLower(), p.toUpper()})
            if (!both.contains(variant)) both.append(variant);
    }
    return shows + QStringLiteral(" (") + both.join(QLatin1Char(' ')) + QLatin1Char(')');
}

void QtDialogs::ShowMessage(const QString& text) {
    ShowBox(QMessageBox::NoIcon, text);
}

void QtDialogs::ShowError(const QString& text) {
    ShowBox(QMessageBox::Critical, text);
}

int QtDialogs::ChooseButton(const QString& prompt, const QStringList& captions, int helpContext) {
    TPickStrToIntForm form(DialogParent());
    form.Setup(prompt, captions, helpContext);
    if (form.exec() != QDialog::Accepted) return 0;
    return form.ChosenIndex();
}

QString QtDialogs::AskText(const QString& caption, const QString& prompt,
                           const QString& defaultText) {
    TAskTextForm form(caption, prompt, defaultText, DialogParent());
    form.exec();
    return form.ResultText();
}

std::optional<QString> QtDialogs::OpenFile(FileDialogRequest& request) {
    QFileDialog dialog(DialogParent(), request.Caption);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return RunFileDialog(dialog, request);
}

std::optional<QString> QtDialogs::SaveFile(FileDialogRequest& request) {
    QFileDialog dialog(DialogParent(), request.Caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.ConfirmOverwrite);
    return RunFileDialog(dialog, request);
}

std::optional<QString> QtDialogs::ChooseFolder(const QString& startFolder) {
    if (FFolderChooser) return FFolderChooser(startFolder);
    const QString start = startFolder.isEmpty() ? FLastFolder : startFolder;
    const QString chosen = QFileDialog::getExistingDirectory(
        DialogParent(), QStringLiteral("Select Directory"), start);
    if (chosen.isEmpty()) return std::nullopt;
    FLastFolder = chosen;
    return chosen;
}

bool QtDialogs::ConfigurePrinter(QPrinter& printer) {
    QPrintDialog dialog(&printer, DialogParent());
    return dialog.exec() == QDialog::Accepted;
}

TAskTextForm::TAskTextForm(const QString& caption, const QString& prompt,
                           const QString& defaultText, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FDefaultText(defaultText) {
    setObjectName(QStringLiteral("AskTextForm"));
    setWindowTitle(caption);
    setModal(true);

    PromptLabel = new QLabel(prompt, this);
    PromptLabel->setTextFormat(Qt::PlainText);
    PromptLabel->setWordWrap(true);

    Edit = new QLineEdit(this);
    Edit->setMaxLength(MaxTextLength);
    Edit->setText(defaultText);
    Edit->selectAll();

    auto* buttons = new QDialogButtonBox(this);
    OKButton = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    CancelButton = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    OKButton->setDefault(true);
    CancelButton->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PromptLabel);
    layout->addWidget(Edit);
    layout->addWidget(buttons);
    setMinimumWidth(300);
    Edit->setFocus(Qt::OtherFocusReason);
}

QString TAskTextForm::ResultText() const {
    return result() == QDialog::Accepted ? Edit->text() : FDefaultText;
}
