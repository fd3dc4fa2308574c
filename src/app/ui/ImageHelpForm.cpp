#include "app/ui/ImageHelpForm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "app/RtfDocument.h"
#include "app/ui/Dialogs.h"
#include "base/KelvoError.h"

TImageHelpForm::TImageHelpForm(QString exeDir, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), FExeDir(std::move(exeDir)), FDialogs(dialogs) {
    setObjectName(QStringLiteral("ImageHelpForm"));
    setWindowTitle(QStringLiteral("Kelvo Image Help"));
    resize(DesignWidth, DesignHeight);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(BarHeight);
    Button1 = new QPushButton(QStringLiteral("&Close"), Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    auto* barLayout = new QHBoxLayout(Panel1);
    barLayout->setContentsMargins(8, 0, 8, 0);
    barLayout->addWidget(Button1);
    barLayout->addStretch();

    RichEdit1 = new QTextBrowser(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    RichEdit1->setOpenLinks(false);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The view's designed text, shown until a help file has been read.
    RichEdit1->setPlainText(QStringLiteral("RichEdit"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(RichEdit1, 1);

    connect(Button1, &QPushButton::clicked, this, &TImageHelpForm::Button1Click);
}

QString TImageHelpForm::LocateHelpFile(const QString& exeDir, const QString& executableDir) {
    const QString name = QStringLiteral("Kelvo Image Help.RTF");
    const QString installed = QStringLiteral("../share/kelvoimage/") + name;
    const QString candidates[] = {
        QDir(exeDir).filePath(name),
        QDir::cleanPath(QDir(exeDir).filePath(installed)),
        QDir::cleanPath(QDir(executableDir).filePath(installed)),
    };
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isFile()) return candidate;
    // None there: the program's folder is where a help file is looked for first, so a missing
    // file is reported under that name.
    return candidates[0];
}

QString TImageHelpForm::HelpFileName() const {
    return LocateHelpFile(FExeDir, QCoreApplication::applicationDirPath());
}

void TImageHelpForm::ShowHelp() {
    show();  // a window already shown stays as it is and is not read again
    raise();
    activateWindow();
}

void TImageHelpForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Spontaneous show events come from the window system (a restored minimised window); only
    // opening the window from the program reads the file.
    if (event->spontaneous()) return;
    CenterOnScreen();
    FormShow();
}

void TImageHelpForm::FormShow() {
    try {
        RichEdit1->setHtml(RtfToHtml(ReadRichTextFile(HelpFileName())));
    } catch (const KelvoError& error) {
        // The window opens all the same and keeps what it showed before.
        FDialogs.ShowError(FormatErrorMessage(error.Message()));
    }
    RichEdit1->setFocus();
}

void TImageHelpForm::Button1Click() {
    close();
}

void TImageHelpForm::CenterOnScreen() {
    const QScreen* target = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!target) return;
    QRect frame = frameGeometry();
    frame.moveCenter(target->availableGeometry().center());
    move(frame.topLeft());
}
