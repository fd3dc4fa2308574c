#pragma once
// A small file system that fills up: a tmpfs of a few kilobytes mounted on a folder for the
// length of a test. Mounting needs root in a namespace that allows it; where it cannot be had,
// Mounted() is false and Reason() says why, for the test's skip message.

#include <QDir>
#include <QProcess>
#include <QString>

class TSmallTmpfs {
  public:
    TSmallTmpfs(const QString& folder, const char* size = "64k") : FFolder(folder) {
        if (!QDir().mkpath(folder)) {
            FReason = QStringLiteral("cannot make the folder ") + folder;
            return;
        }
        QProcess mount;
        mount.start(QStringLiteral("mount"),
                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                     QStringLiteral("size=") + QLatin1String(size), QStringLiteral("tmpfs"),
                     folder});
        if (!mount.waitForFinished(30000) || mount.exitStatus() != QProcess::NormalExit ||
            mount.exitCode() != 0) {
            FReason = QStringLiteral("cannot mount a small tmpfs here (needs root in a namespace "
                                     "that allows mounting): ") +
                      QString::fromLocal8Bit(mount.readAllStandardError());
            return;
        }
        FMounted = true;
    }
    ~TSmallTmpfs() {
        if (FMounted) QProcess::execute(QStringLiteral("umount"), {FFolder});
    }
    TSmallTmpfs(const TSmallTmpfs&) = delete;
    TSmallTmpfs& operator=(const TSmallTmpfs&) = delete;

    bool Mounted() const { return FMounted; }
    const QString& Reason() const { return FReason; }

  private:
    QString FFolder;
    QString FReason;
    bool FMounted = false;
};
