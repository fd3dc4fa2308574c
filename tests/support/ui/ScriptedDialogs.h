#pragma once
// The test implementation of the dialog seam. Constructing one installs it as
// CurrentDialogs(); destroying it puts the previous seam back.
//
// Answers are queued in the order the dialogs will appear; message and error boxes need no
// answer. Everything shown is recorded in order (Shown(), Log()).
//
// A dialog that finds no answer, or an answer of another kind, is not answered: it is recorded
// as unexpected and behaves as cancelled (choice 0, the default text, no file, no folder, no
// print), so the code under test goes on as it would after Cancel. Answers still queued at the
// end are a fault as well. Both are reported when the object is destroyed through the failure
// reporter, which the GUI test main installs as a gtest failure, so no test has to remember to
// check; Unexpected() lists them for a test that wants to look earlier.

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "app/ui/Dialogs.h"

class ScriptedDialogs : public Dialogs {
  public:
    enum class Kind { Message, Error, Choice, Text, OpenFile, SaveFile, Folder, Print };

    // One dialog as it was shown.
    struct ShownDialog {
        Kind DialogKind = Kind::Message;
        QString Title;           // box title, dialog caption ("Select One" for choices)
        QString Text;            // message, error text or prompt; start folder for Folder
        QStringList Captions;    // button captions of a choice
        FileDialogRequest File;  // the request as it came in, for Open and Save
        int HelpContext = 0;
        QString DefaultText;  // the prefilled text of a text entry
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // ---- answers, consumed in order ----
    void AnswerChoice(int index);  // 1-based; 0 = cancel
    void AnswerYes() { AnswerChoice(1); }
    void AnswerNo() { AnswerChoice(2); }
    void AnswerText(const QString& text);
    void CancelText();
    // filterIndex 0 leaves the request's index as it came in.
    void AnswerFile(const QString& fileName, int filterIndex = 0);
    void CancelFile();
    void AnswerFolder(const QString& folder);
    void CancelFolder();
    // Confirming with a pdfFile sends the printout to that PDF file.
    void AnswerPrint(bool confirm, const QString& pdfFile = QString());
    int PendingAnswers() const { return int(FAnswers.size()); }
    // Forget the answers still queued without reporting them.
    void DiscardAnswers() { FAnswers.clear(); }

    // ---- what was shown ----
    const std::vector<ShownDialog>& Shown() const { return FShown; }
    QStringList Messages() const;  // texts of the plain message boxes, in order
    QStringList Errors() const;    // texts of the error boxes, in order
    QStringList Prompts() const;   // prompts of the button choices, in order
    // Every dialog as one line, e.g. "Message: Done", "Error[KelvoImage]: Disk full.",
    // "Choice: Save? [&Yes|&No]", "Text[Caption]: prompt", "Open[Caption]: start",
    // "Save[Caption]: start", "Folder: start", "Print".
    QStringList Log() const;
    const QStringList& Unexpected() const { return FUnexpected; }

    // Receives each fault found at destruction. The GUI test main sets it to ADD_FAILURE; the
    // default writes a critical message.
    using FailureReporter = std::function<void(const QString& fault)>;
    static void SetFailureReporter(FailureReporter reporter);

    // Dialogs
    void ShowMessage(const QString& text) override;
    void ShowError(const QString& text) override;
    int ChooseButton(const QString& prompt, const QStringList& captions, int helpContext) override;
    QString AskText(const QString& caption, const QString& prompt,
                    const QString& defaultText) override;
    std::optional<QString> OpenFile(FileDialogRequest& request) override;
    std::optional<QString> SaveFile(FileDialogRequest& request) override;
    std::optional<QString> ChooseFolder(const QString& startFolder) override;
    bool ConfigurePrinter(QPrinter& printer) override;

  private:
    struct Answer {
        Kind AnswerKind;
        bool Accept = true;
        int Index = 0;
        QString Text;
    };
    // The next answer if it is of this kind; otherwise records the fault and returns nothing.
    std::optional<Answer> Take(Kind kind, const QString& what);
    std::optional<QString> FileAnswer(Kind kind, FileDialogRequest& request);
    ShownDialog& Record(Kind kind, const QString& title, const QString& text);

    std::deque<Answer> FAnswers;
    std::vector<ShownDialog> FShown;
    QStringList FUnexpected;
    Dialogs* FPrevious = nullptr;
};
