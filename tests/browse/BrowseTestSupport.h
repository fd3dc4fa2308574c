#pragma once
// Small helpers shared by the folder-list and file-operation tests.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "support/ScopedEnv.h"
#include "support/TestFiles.h"

namespace browse_test {

inline bool WriteFile(const QString& path, const QByteArray& data = {}) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return file.write(data) == data.size();
}

inline std::optional<QByteArray> ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
}

inline bool SetModified(const QString& path, std::int64_t seconds) {
    const timespec times[2] = {{time_t(seconds), 0}, {time_t(seconds), 0}};
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

// Seconds since the epoch of a UTC calendar time (the tests run with TZ set to UTC).
inline std::int64_t Utc(int year, int month, int day, int hour, int minute, int second) {
    struct tm fields {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return timegm(&fields);
}

inline std::optional<std::int64_t> Modified(const QString& path) {
    struct stat status {};
    if (stat(QFile::encodeName(path).constData(), &status) != 0) return std::nullopt;
    return status.st_mtim.tv_sec;
}

using ::TScopedEnv;
using test_files::RunUnprivileged;

}  // namespace browse_test
