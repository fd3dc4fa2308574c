// Program start: the main window first (its creation reads the settings), then the other
// windows in their fixed order; only the main window is shown, and closing it ends the program
// whatever other windows are open.

#include <QApplication>
#include <QDir>

#include "app/ui/KelvoImageUnit.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    // KELVO_EXE_DIR lets a user (or a test run) keep the settings file somewhere else than
    // next to the executable, for example when that folder is not writable.
    QString exeDir = qEnvironmentVariable("KELVO_EXE_DIR");
    if (exeDir.isEmpty()) exeDir = QCoreApplication::applicationDirPath();

    QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty()) arguments.removeFirst();

    int result = 0;
    {
        TKelvoImageForm form(exeDir, arguments);
        form.CreateToolWindows();
        QObject::connect(&form, &TKelvoImageForm::FormClosed, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        form.show();
        result = app.exec();
    }
    return result;
}
