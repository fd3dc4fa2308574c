#pragma once
// The one exception type of the program. Every failure that ends a command is thrown as a
// KelvoError carrying the text the user will read; the command dispatcher shows it.

#include <QString>
#include <exception>

class KelvoError : public std::exception {
  public:
    explicit KelvoError(QString message) : FMessage(std::move(message)), FUtf8(FMessage.toUtf8()) {}
    const QString& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }

  private:
    QString FMessage;
    QByteArray FUtf8;
};

// "." is appended when the message's last character sorts after "." in character-code order,
// so "Disk full" gets a period while "Unable to open file 'x'" and "Done." do not.
QString FormatErrorMessage(const QString& message);

// The platform's file-open and file-create errors, "Cannot open file "%s". %s" and
// "Cannot create file "%s". %s", with the absolute path and the system's reason for errno.
QString CannotOpenFileMessage(const QString& fileName, int errorNumber);
QString CannotCreateFileMessage(const QString& fileName, int errorNumber);
