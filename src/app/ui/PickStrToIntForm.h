#pragma once
// The "Select One" dialog: a prompt above a row of up to nine buttons; the result is the
// 1-based index of the pressed button's caption, 0 when the dialog is cancelled.
//
// Sizes are those of the window's client area. The dialog has a fixed border whose frame the
// window manager adds outside (on the offscreen platform the frame is 0, so client and outer
// size agree); the layout numbers therefore apply to the area the dialog draws in.

#include <QDialog>
#include <QList>
#include <QStringList>

class QLabel;
class QPushButton;

class TPickStrToIntForm : public QDialog {
    Q_OBJECT
  public:
    static constexpr int LabelTop = 8;
    static constexpr int LabelLeft = 20;
    static constexpr int DesignedButtonWidth = 75;
    static constexpr int DesignedButtonHeight = 25;
    static constexpr int MaxButtons = 9;

    explicit TPickStrToIntForm(QWidget* parent = nullptr);

    // Stores what the next show presents. Captions beyond nine are ignored here; PickStrToInt
    // refuses them before a dialog exists.
    void Setup(const QString& prompt, const QStringList& captions, int helpContext);

    int ChosenIndex() const { return FChosenIndex; }
    const QString& LastPressedCaption() const { return FLastPressed; }
    int HelpContext() const { return FHelpContext; }
    // True when a top-level window named "TFerlinToolBarForm" exists, by object or class name.
    static bool ToolBarFormExists();

    QLabel* Label1;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* Button4;
    QPushButton* Button5;
    QPushButton* Button6;
    QPushButton* Button7;
    QPushButton* Button8;
    QPushButton* Button9;

    void setVisible(bool visible) override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormShow();
    void ButtonClick(QPushButton* button);

    QList<QPushButton*> FButtons;
    QString FPrompt;
    QStringList FCaptions;
    int FHelpContext = 0;
    int FChosenIndex = 0;
    QString FLastPressed;
};
