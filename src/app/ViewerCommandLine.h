#pragma once
// The viewer's own command-line options, looked at before any window exists so that --help and
// --version work without a display. Everything else on the command line is a file for the main
// window (one file, the two-file hot-spot correction, or a file followed by HB).

#include <QString>
#include <QStringList>

struct TViewerCommandLine {
    enum class TAction { Run, Help, Version, Misuse };
    TAction Action = TAction::Run;
    // Run: the arguments the main window gets, with an ending "--" taken out.
    QStringList Arguments;
    // Misuse: what was wrong, for the message before the usage.
    QString Problem;
};

// The first --help or --version decides; an argument starting with "--" that names no existing
// file or folder is a misuse. After a "--" every argument is a file, whatever it starts with.
// Arguments with one "-" are files too (and the toolkit's own options, which it takes out).
TViewerCommandLine ParseViewerCommandLine(const QStringList& arguments);

// The --help text: the forms of the command line, the options and the environment read.
QString ViewerUsage();
