// Program start: the main window first (its creation reads the settings), then the other
// windows in their fixed order; only the main window is shown, and closing it ends the program
// whatever other windows are open.

#include <QApplication>
#include <QFile>
#include <cstdio>

#include "app/ViewerCommandLine.h"
#include "app/ui/KelvoImageUnit.h"
#include "app/ui/ProgramIcon.h"

namespace {

QStringList ArgumentsOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QFile::decodeName(argv[i]));
    return arguments;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Answered before the application exists: a packager's check of --help or --version runs
    // without a display, and a mistyped option never opens a window with an error box.
    const TViewerCommandLine early = ParseViewerCommandLine(ArgumentsOf(argc, argv));
    switch (early.Action) {
        case TViewerCommandLine::TAction::Help:
            std::fputs(ViewerUsage().toLocal8Bit().constData(), stdout);
            return 0;
        case TViewerCommandLine::TAction::Version:
            std::puts("kelvoimage " KELVO_VERSION);
            return 0;
        case TViewerCommandLine::TAction::Misuse:
            std::fprintf(stderr, "kelvoimage: %s\n%s", early.Problem.toLocal8Bit().constData(),
                         ViewerUsage().toLocal8Bit().constData());
            return 2;
        case TViewerCommandLine::TAction::Run:
            break;
    }

    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(ProgramIcon());
    // Wayland compositors find the installed desktop entry (and its icon) by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kelvoimage.viewer"));

    // The toolkit has taken its own options (-platform, -style, ...) out by now.
    QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty()) arguments.removeFirst();
    arguments = ParseViewerCommandLine(arguments).Arguments;

    int result = 0;
    {
        TKelvoImageForm form(QCoreApplication::applicationDirPath(), arguments);
        form.CreateToolWindows();
        QObject::connect(&form, &TKelvoImageForm::FormClosed, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        form.show();
        result = app.exec();
    }
    return result;
}
