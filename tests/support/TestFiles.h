#pragma once
// File helpers shared by the tests: whole-file reads and writes, and running a piece of a test
// as an ordinary user, since CI runs as root and root ignores file permissions.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace test_files {

// The whole file, or nothing when it cannot be read.
inline QByteArray ReadAll(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void WriteAll(const QString& fileName, const QByteArray& bytes) {
    QFile file(fileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << fileName.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Every entry of a folder, hidden ones and links that lead nowhere included, by name: shows
// leftover temporary files.
inline QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Runs the body in a child process as user and group 65534 and returns its exit status;
// nothing when no unprivileged identity can be taken (the caller then skips its case).
inline std::optional<int> RunUnprivileged(const std::function<int()>& body) {
    const bool root = geteuid() == 0;
    const pid_t child = fork();
    if (child < 0) return std::nullopt;
    if (child == 0) {
        if (root && (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0))
            _exit(77);
        if (geteuid() == 0) _exit(77);
        _exit(body());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return std::nullopt;
    if (WEXITSTATUS(status) == 77) return std::nullopt;
    return WEXITSTATUS(status);
}

}  // namespace test_files
