#pragma once
// The help window: a read-only view of "Kelvo Image Help.RTF" from the program's folder, or from
// <prefix>/share/kelvoimage/ when the program is installed as <prefix>/bin/kelvoimage. It is
// created hidden at start-up and reads the file afresh every time it is opened, so an edited
// help file shows without restarting the program.

#include <QString>
#include <QWidget>

class Dialogs;
class QPushButton;
class QShowEvent;
class QTextBrowser;

class TImageHelpForm : public QWidget {
    Q_OBJECT
  public:
    static constexpr int DesignWidth = 506;
    static constexpr int DesignHeight = 361;
    static constexpr int BarHeight = 41;

    // exeDir: the program's folder, with or without the trailing separator. Missing or
    // unreadable help files are reported through dialogs.
    TImageHelpForm(QString exeDir, Dialogs& dialogs, QWidget* parent = nullptr);

    // What the "?" menu item runs: opens the window, not modally, or brings it to the front
    // when it is open already (without reading the file again).
    void ShowHelp();

    // The file the window reads when it opens: the first that exists of exeDir's help file,
    // exeDir/../share/kelvoimage/'s and executableDir/../share/kelvoimage/'s (the last for a
    // program whose settings folder was moved elsewhere), else exeDir's, so that the error
    // names the place looked at first.
    static QString LocateHelpFile(const QString& exeDir, const QString& executableDir);
    QString HelpFileName() const;

    QWidget* Panel1;
    QPushButton* Button1;  // "&Close"
    QTextBrowser* RichEdit1;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Each time the window goes from hidden to shown.
    void FormShow();
    void Button1Click();
    void CenterOnScreen();

    QString FExeDir;
    Dialogs& FDialogs;
};
