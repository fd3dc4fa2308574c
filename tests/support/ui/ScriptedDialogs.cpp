#include "support/ui/ScriptedDialogs.h"

#include <QPrinter>
#include <QtGlobal>

namespace {

ScriptedDialogs::FailureReporter& Reporter() {
    static ScriptedDialogs::FailureReporter reporter = [](const QString& fault) {
        qCritical("ScriptedDialogs: %s", qPrintable(fault));
    };
    return reporter;
}

QString KindName(ScriptedDialogs::Kind kind) {
    switch (kind) {
        case ScriptedDialogs::Kind::Message:
            return QStringLiteral("message");
        case ScriptedDialogs::Kind::Error:
            return QStringLiteral("error");
        case ScriptedDialogs::Kind::Choice:
            return QStringLiteral("choice");
        case ScriptedDialogs::Kind::Text:
            return QStringLiteral("text");
        case ScriptedDialogs::Kind::OpenFile:
            return QStringLiteral("open file");
        case ScriptedDialogs::Kind::SaveFile:
            return QStringLiteral("save file");
        case ScriptedDialogs::Kind::Folder:
            return QStringLiteral("folder");
        case ScriptedDialogs::Kind::Print:
            return QStringLiteral("print");
    }
    return QString();
}

}  // namespace

ScriptedDialogs::ScriptedDialogs() {
    FPrevious = SetCurrentDialogs(this);
}

ScriptedDialogs::~ScriptedDialogs() {
    SetCurrentDialogs(FPrevious);
    for (const QString& fault : FUnexpected)
        Reporter()(fault);
    for (const Answer& answer : FAnswers)
        Reporter()(QStringLiteral("%1 answer queued but never asked for")
                       .arg(KindName(answer.AnswerKind)));
}

void ScriptedDialogs::SetFailureReporter(FailureReporter reporter) {
    Reporter() = std::move(reporter);
}

void ScriptedDialogs::AnswerChoice(int index) {
    FAnswers.push_back({Kind::Choice, index != 0, index, {}});
}
void ScriptedDialogs::AnswerText(const QString& text) {
    FAnswers.push_back({Kind::Text, true, 0, text});
}
void ScriptedDialogs::CancelText() {
    FAnswers.push_back({Kind::Text, false, 0, {}});
}
void ScriptedDialogs::AnswerFile(const QString& fileName, int filterIndex) {
    FAnswers.push_back({Kind::OpenFile, true, filterIndex, fileName});
}
void ScriptedDialogs::CancelFile() {
    FAnswers.push_back({Kind::OpenFile, false, 0, {}});
}
void ScriptedDialogs::AnswerFolder(const QString& folder) {
    FAnswers.push_back({Kind::Folder, true, 0, folder});
}
void ScriptedDialogs::CancelFolder() {
    FAnswers.push_back({Kind::Folder, false, 0, {}});
}
void ScriptedDialogs::AnswerPrint(bool confirm, const QString& pdfFile) {
    FAnswers.push_back({Kind::Print, confirm, 0, pdfFile});
}

std::optional<ScriptedDialogs::Answer> ScriptedDialogs::Take(Kind kind, const QString& what) {
    // Open and Save dialogs share one kind of answer: a file name or cancel.
    const Kind wanted = kind == Kind::SaveFile ? Kind::OpenFile : kind;
    if (FAnswers.empty()) {
        FUnexpected.append(QStringLiteral("unexpected %1 dialog (no answer queued): %2")
                               .arg(KindName(kind), what));
        return std::nullopt;
    }
    if (FAnswers.front().AnswerKind != wanted) {
        FUnexpected.append(QStringLiteral("unexpected %1 dialog (next answer is for a %2): %3")
                               .arg(KindName(kind), KindName(FAnswers.front().AnswerKind), what));
        return std::nullopt;
    }
    Answer answer = FAnswers.front();
    FAnswers.pop_front();
    return answer;
}

QStringList ScriptedDialogs::Messages() const {
    QStringList result;
    for (const ShownDialog& d : FShown)
        if (d.DialogKind == Kind::Message) result.append(d.Text);
    return result;
}

QStringList ScriptedDialogs::Errors() const {
    QStringList result;
    for (const ShownDialog& d : FShown)
        if (d.DialogKind == Kind::Error) result.append(d.Text);
    return result;
}

QStringList ScriptedDialogs::Prompts() const {
    QStringList result;
    for (const ShownDialog& d : FShown)
        if (d.DialogKind == Kind::Choice) result.append(d.Text);
    return result;
}

QStringList ScriptedDialogs::Log() const {
    QStringList result;
    for (const ShownDialog& d : FShown) {
        switch (d.DialogKind) {
            case Kind::Message:
                result.append(QStringLiteral("Message: ") + d.Text);
                break;
            case Kind::Error:
                result.append(QStringLiteral("Error[%1]: %2").arg(d.Title, d.Text));
                break;
            case Kind::Choice:
                result.append(QStringLiteral("Choice: %1 [%2]")
                                  .arg(d.Text, d.Captions.join(QLatin1Char('|'))));
                break;
            case Kind::Text:
                result.append(QStringLiteral("Text[%1]: %2").arg(d.Title, d.Text));
                break;
            case Kind::OpenFile:
                result.append(QStringLiteral("Open[%1]: %2").arg(d.Title, d.File.FileName));
                break;
            case Kind::SaveFile:
                result.append(QStringLiteral("Save[%1]: %2").arg(d.Title, d.File.FileName));
                break;
            case Kind::Folder:
                result.append(QStringLiteral("Folder: ") + d.Text);
                break;
            case Kind::Print:
                result.append(QStringLiteral("Print"));
                break;
        }
    }
    return result;
}

ScriptedDialogs::ShownDialog& ScriptedDialogs::Record(Kind kind, const QString& title,
                                                      const QString& text) {
    ShownDialog shown;
    shown.DialogKind = kind;
    shown.Title = title;
    shown.Text = text;
    FShown.push_back(std::move(shown));
    return FShown.back();
}

void ScriptedDialogs::ShowMessage(const QString& text) {
    Record(Kind::Message, KelvoProgramName, text);
}

void ScriptedDialogs::ShowError(const QString& text) {
    Record(Kind::Error, KelvoProgramName, text);
}

int ScriptedDialogs::ChooseButton(const QString& prompt, const QStringList& captions,
                                  int helpContext) {
    ShownDialog& shown = Record(Kind::Choice, QStringLiteral("Select One"), prompt);
    shown.Captions = captions;
    shown.HelpContext = helpContext;
    const auto answer = Take(Kind::Choice, prompt);
    if (!answer || !answer->Accept) return 0;
    if (answer->Index < 1 || answer->Index > captions.size()) {
        FUnexpected.append(QStringLiteral("choice %1 answered, but the dialog has %2 buttons: %3")
                               .arg(answer->Index)
                               .arg(captions.size())
                               .arg(prompt));
        return 0;
    }
    // The real dialog reports the last of equal captions; so does the script.
    const int chosen = int(captions.lastIndexOf(captions[answer->Index - 1])) + 1;
    return chosen;
}

QString ScriptedDialogs::AskText(const QString& caption, const QString& prompt,
                                 const QString& defaultText) {
    Record(Kind::Text, caption, prompt).DefaultText = defaultText;
    const auto answer = Take(Kind::Text, prompt);
    if (!answer || !answer->Accept) return defaultText;
    // The entry holds no more than the real one does.
    return answer->Text.left(TAskTextForm::MaxTextLength);
}

std::optional<QString> ScriptedDialogs::FileAnswer(Kind kind, FileDialogRequest& request) {
    Record(kind, request.Caption, request.FileName).File = request;
    const auto answer = Take(kind, request.Caption);
    if (!answer || !answer->Accept) return std::nullopt;
    if (answer->Index > 0) request.FilterIndex = answer->Index;
    return answer->Text;
}

std::optional<QString> ScriptedDialogs::OpenFile(FileDialogRequest& request) {
    return FileAnswer(Kind::OpenFile, request);
}

std::optional<QString> ScriptedDialogs::SaveFile(FileDialogRequest& request) {
    return FileAnswer(Kind::SaveFile, request);
}

std::optional<QString> ScriptedDialogs::ChooseFolder(const QString& startFolder) {
    Record(Kind::Folder, QStringLiteral("Select Directory"), startFolder);
    const auto answer = Take(Kind::Folder, startFolder);
    if (!answer || !answer->Accept) return std::nullopt;
    return answer->Text;
}

bool ScriptedDialogs::ConfigurePrinter(QPrinter& printer) {
    Record(Kind::Print, QString(), QString());
    const auto answer = Take(Kind::Print, QStringLiteral("print dialog"));
    if (!answer || !answer->Accept) return false;
    if (!answer->Text.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(answer->Text);
    }
    return true;
}
