#include "app/ViewerCommandLine.h"

#include <QFileInfo>

TViewerCommandLine ParseViewerCommandLine(const QStringList& arguments) {
    TViewerCommandLine result;
    bool onlyFilesFollow = false;
    for (const QString& argument : arguments) {
        if (onlyFilesFollow || !argument.startsWith(QLatin1String("--"))) {
            result.Arguments.append(argument);
        } else if (argument == QLatin1String("--")) {
            onlyFilesFollow = true;
        } else if (argument == QLatin1String("--help")) {
            return {TViewerCommandLine::TAction::Help, {}, {}};
        } else if (argument == QLatin1String("--version")) {
            return {TViewerCommandLine::TAction::Version, {}, {}};
        } else if (QFileInfo::exists(argument)) {
            // A file whose name looks like an option was named on purpose.
            result.Arguments.append(argument);
        } else {
            return {TViewerCommandLine::TAction::Misuse, {},
                    QStringLiteral("unknown option '%1'").arg(argument)};
        }
    }
    return result;
}

QString ViewerUsage() {
    return QStringLiteral(
        "usage: kelvoimage [FILE]\n"
        "       kelvoimage HOTSPOT_FILE FILE\n"
        "       kelvoimage FILE HB [ANY...]\n"
        "Shows FILE (JPEG, GIF, BMP, PNG or TIFF); without one, the clipboard's picture.\n"
        "  HOTSPOT_FILE FILE   FILE corrected with the hot-spot picture HOTSPOT_FILE\n"
        "  FILE HB [ANY...]    FILE, brightened with \"Linear\" a moment later\n"
        "  --                  ends the options: a file may then start with \"--\"\n"
        "  --help              print this text and exit\n"
        "  --version           print the program's version and exit\n"
        "Environment:\n"
        "  XDG_CONFIG_HOME     the settings go to its KelvoImage/ folder (default ~/.config)\n"
        "  KELVO_EXE_DIR       a folder for the main settings file instead\n"
        "  XDG_DATA_HOME       where \"Register File Types\" writes a copy's desktop entry\n"
        "                      (default ~/.local/share)\n"
        "  KELVO_THREADS       how many cores the tone corrections use (default: all)\n");
}
