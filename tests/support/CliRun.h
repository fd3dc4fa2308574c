#pragma once
// kelvoimage-cli run as a script runs it: a separate process, its exit code and what it wrote
// on its two streams. For the test targets that define KELVO_CLI_PATH.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>

#include "base/KelvoError.h"

// The start of the tool's line about a failure: "kelvoimage-cli: FILE: " ("kelvoimage-cli: "
// alone for a failure that concerns no file).
inline QString CliPrefix(const QString& file = QString()) {
    return QStringLiteral("kelvoimage-cli: ") +
           (file.isEmpty() ? QString() : file + QStringLiteral(": "));
}
// The whole line: the prefix and the program's message as the window would show it.
inline QString CliErrorLine(const QString& file, const QString& message) {
    return CliPrefix(file) + FormatErrorMessage(message) + QLatin1Char('\n');
}

struct TCliRun {
    int ExitCode = -1;  // also when the tool did not finish normally
    QByteArray StandardOutput;
    QString StandardError;
};

struct TCliRunSetup {
    QStringList Prefix;                // a command the tool runs under (setpriv, ...)
    std::function<void()> ChildSetup;  // run in the child before the tool starts
    bool PointDecimals = false;        // the C locale, for reports that print decimals
    QString Program;                   // another copy of the tool; the build's when empty

    static TCliRunSetup Under(QStringList prefix) {
        TCliRunSetup setup;
        setup.Prefix = std::move(prefix);
        return setup;
    }
    static TCliRunSetup WithChildSetup(std::function<void()> childSetup) {
        TCliRunSetup setup;
        setup.ChildSetup = std::move(childSetup);
        return setup;
    }
    static TCliRunSetup WithPointDecimals() {
        TCliRunSetup setup;
        setup.PointDecimals = true;
        return setup;
    }
};

inline TCliRun RunCli(const QStringList& arguments, const TCliRunSetup& setup = {}) {
    QProcess process;
    if (setup.ChildSetup) process.setChildProcessModifier(setup.ChildSetup);
    if (setup.PointDecimals) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        process.setProcessEnvironment(environment);
    }
    QStringList all = setup.Prefix;
    all << (setup.Program.isEmpty() ? QStringLiteral(KELVO_CLI_PATH) : setup.Program) << arguments;
    process.start(all.takeFirst(), all);
    TCliRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        run.StandardError = QStringLiteral("did not finish normally");
        return run;
    }
    run.ExitCode = process.exitCode();
    run.StandardOutput = process.readAllStandardOutput();
    run.StandardError = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}
