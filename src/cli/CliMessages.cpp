// Standard error, shared by the files of a batch: whole lines only, the progress line cleared
// before each and drawn again after it.

#include <sys/ioctl.h>
#include <unistd.h>

#include <QFileInfo>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "cli/CliProgram.h"

namespace {

std::mutex gErrorStream;
QByteArray gProgressLine;  // the progress line on the terminal now; empty when none

void ClearProgress() {
    if (!gProgressLine.isEmpty()) std::fputs("\r\x1b[K", stderr);
}

void DrawProgress() {
    if (!gProgressLine.isEmpty())
        std::fwrite(gProgressLine.constData(), 1, std::size_t(gProgressLine.size()), stderr);
    std::fflush(stderr);
}

void WriteLine(const QString& text) {
    const QByteArray line = (text + QLatin1Char('\n')).toLocal8Bit();
    const std::lock_guard lock(gErrorStream);
    ClearProgress();
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
    DrawProgress();
}

int TerminalWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
    return 80;
}

}  // namespace

void SayError(const QString& fileName, const QString& message) {
    QString text = QStringLiteral("kelvoimage-cli: ");
    if (!fileName.isEmpty()) text += fileName + QStringLiteral(": ");
    WriteLine(text + FormatErrorMessage(message));
}

void SayQtMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
    // Qt's own remarks carry no file name; they are warnings at most, unless Qt itself ends the
    // program next.
    if (type == QtDebugMsg || type == QtInfoMsg) return;
    WriteLine((type == QtFatalMsg ? QStringLiteral("kelvoimage-cli: ")
                                  : QStringLiteral("kelvoimage-cli: warning: ")) +
              text);
}

void SayWarning(const QString& fileName, const QString& text) {
    WriteLine(QStringLiteral("kelvoimage-cli: warning: %1: %2").arg(fileName, text));
}

void ShowProgress(int done, int total, const QString& current, double secondsLeft) {
    QString line = QStringLiteral("kelvoimage-cli: %1/%2").arg(done).arg(total);
    if (secondsLeft >= 0) {
        const long seconds = std::lround(secondsLeft);
        line += seconds >= 60 ? QStringLiteral(", about %1 min %2 s left")
                                    .arg(seconds / 60)
                                    .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                              : QStringLiteral(", about %1 s left").arg(seconds);
    }
    if (!current.isEmpty()) line += QStringLiteral(", ") + QFileInfo(current).fileName();
    // Never wider than the terminal: a wrapped line could not be redrawn in place.
    const int width = TerminalWidth() - 1;
    if (line.size() > width) line = line.left(width - 3) + QStringLiteral("...");
    const std::lock_guard lock(gErrorStream);
    ClearProgress();
    gProgressLine = line.toLocal8Bit();
    DrawProgress();
}

void EndProgress() {
    const std::lock_guard lock(gErrorStream);
    ClearProgress();
    gProgressLine.clear();
    std::fflush(stderr);
}
