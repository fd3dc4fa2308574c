#include "base/KelvoError.h"

#include <QFileInfo>
#include <cstring>

QString FormatErrorMessage(const QString& message) {
    if (!message.isEmpty() && message.back() > QChar('.')) return message + QChar('.');
    return message;
}

static QString FileErrorMessage(const char* verb, const QString& fileName, int errorNumber) {
    const QString fullName = fileName.isEmpty() ? fileName : QFileInfo(fileName).absoluteFilePath();
    return QStringLiteral("Cannot %1 file \"%2\". %3")
        .arg(QString::fromLatin1(verb), fullName,
             QString::fromLocal8Bit(std::strerror(errorNumber)));
}

QString CannotOpenFileMessage(const QString& fileName, int errorNumber) {
    return FileErrorMessage("open", fileName, errorNumber);
}

QString CannotCreateFileMessage(const QString& fileName, int errorNumber) {
    return FileErrorMessage("create", fileName, errorNumber);
}
