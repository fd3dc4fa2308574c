#include "info/FileTypes.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>

#include <algorithm>
#include <iterator>

#include "base/IniFile.h"
#include "base/KelvoError.h"
#include "base/WholeFile.h"

namespace {

const QString DefaultApplications = QStringLiteral("Default Applications");
const QString DesktopEntrySection = QStringLiteral("Desktop Entry");

// An XDG base folder from its variable, or the given fallback under the home folder when the
// variable is unset, empty or (invalidly) relative.
QString BaseFolder(const char* variable, const QString& fallbackUnderHome) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && !QDir::isRelativePath(value)) return QDir::cleanPath(value);
    return QDir::homePath() + QLatin1Char('/') + fallbackUnderHome;
}

QString FileFailure(const QString& fileName) {
    return QStringLiteral("Failed to set data for '") + fileName + QLatin1Char('\'');
}

QString CreateFailure(const QString& path) {
    return QStringLiteral("Failed to create key ") + path;
}

void MakeFolder(const QString& folder) {
    if (!QDir().mkpath(folder)) throw KelvoError(CreateFailure(folder));
}

// Writes the whole file through the atomic writer, so a failure leaves the old content whole;
// the message says whether the file was there before (a link to it counts as the file).
void ReplaceFile(const QString& fileName, const QByteArray& data) {
    const bool existed = QFileInfo::exists(fileName);
    try {
        ReplaceWholeFile(fileName, data);
    } catch (const KelvoError&) {
        throw KelvoError(existed ? FileFailure(fileName) : CreateFailure(fileName));
    }
}

// A string value of a desktop entry: backslash and control characters escaped.
QString EscapeDesktopString(const QString& value) {
    QString out;
    static constexpr struct {
        char16_t Char;
        const char* Escaped;
    } kEscapes[] = {{u'\\', "\\\\"}, {u'\n', "\\n"}, {u'\t', "\\t"}, {u'\r', "\\r"}};
    for (QChar c : value) {
        const auto* escape = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                          [c](const auto& e) { return e.Char == c.unicode(); });
        if (escape != std::end(kEscapes))
            out += QLatin1String(escape->Escaped);
        else
            out += c;
    }
    if (out.startsWith(QLatin1Char(' '))) out.replace(0, 1, QStringLiteral("\\s"));
    return out;
}

QStringList SplitList(const QString& value, QChar separator) {
    QStringList items;
    for (const QString& item : value.split(separator, Qt::SkipEmptyParts))
        if (!item.trimmed().isEmpty()) items.append(item.trimmed());
    return items;
}

void WriteDesktopEntry(const QString& mimeType, const QString& description,
                       const QString& programPath) {
    const QString fileName = DesktopEntryFileName();
    MakeFolder(QFileInfo(fileName).absolutePath());

    // Earlier registrations stay: the entry lists every type and description recorded so far.
    const TIniFile existing(fileName);
    QStringList mimeTypes =
        SplitList(existing.ReadString(DesktopEntrySection, QStringLiteral("MimeType"), QString()),
                  QLatin1Char(';'));
    if (!mimeTypes.contains(mimeType, Qt::CaseInsensitive)) mimeTypes.append(mimeType);
    QStringList descriptions =
        SplitList(existing.ReadString(DesktopEntrySection, QStringLiteral("Comment"), QString()),
                  QLatin1Char(','));
    if (!descriptions.contains(description)) descriptions.append(description);

    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Version=1.5\n");
    text += QStringLiteral("Name=KelvoImage\n");
    text += QStringLiteral("GenericName=Image Viewer\n");
    text += QStringLiteral("Comment=") +
            EscapeDesktopString(descriptions.join(QStringLiteral(", "))) + QLatin1Char('\n');
    text += QStringLiteral("Exec=") + DesktopExecLine(programPath) + QLatin1Char('\n');
    text += QStringLiteral("Terminal=false\n");
    text += QStringLiteral("Categories=Graphics;Viewer;\n");
    text += QStringLiteral("MimeType=") + mimeTypes.join(QLatin1Char(';')) + QStringLiteral(";\n");
    ReplaceFile(fileName, text.toUtf8());
}

void WriteDefaultApplication(const QString& mimeType) {
    const QString fileName = MimeAppsFileName();
    MakeFolder(QFileInfo(fileName).absolutePath());
    TIniFile mimeApps(fileName);
    QStringList applications =
        SplitList(mimeApps.ReadString(DefaultApplications, mimeType, QString()), QLatin1Char(';'));
    applications.removeAll(DesktopEntryId());
    applications.prepend(DesktopEntryId());
    const bool existed = QFileInfo::exists(fileName);
    try {
        mimeApps.WriteString(DefaultApplications, mimeType,
                             applications.join(QLatin1Char(';')) + QLatin1Char(';'));
    } catch (const KelvoError&) {
        // The settings-file message would name the wrong operation here.
        throw KelvoError(existed ? FileFailure(fileName) : CreateFailure(fileName));
    }
}

}  // namespace

const QList<TFileTypeKind>& FileTypeKinds() {
    static const QList<TFileTypeKind> kinds = {
        {QStringLiteral("Do you wish to use this program to Open all JPG files?"),
         {QStringLiteral(".jpg"), QStringLiteral(".jpeg"), QStringLiteral(".jpe")},
         QStringLiteral("JPEG Image"),
         QStringLiteral("JPEG Image")},
        {QStringLiteral("Do you wish to use this program to Open all BMP files?"),
         {QStringLiteral(".bmp")},
         QStringLiteral("BMP Image"),
         QStringLiteral("BMP Image")},
        {QStringLiteral("Do you wish to use this program to Open all GIF files?"),
         {QStringLiteral(".gif")},
         QStringLiteral("GIF Image"),
         QStringLiteral("GIF Image")},
        {QStringLiteral("Do you wish to use this program to Open all PNG files?"),
         {QStringLiteral(".png")},
         QStringLiteral("PNG Image"),
         QStringLiteral("PNG Image")},
    };
    return kinds;
}

QString AssociationConfirmation(const QString& extension, const QString& programPath) {
    return QStringLiteral("File-Type ") + extension + QStringLiteral(" associated with\r\n") +
           programPath + QStringLiteral("\r\n");
}

QString DesktopEntryId() {
    return QStringLiteral("kelvoimage.desktop");
}

QString DesktopEntryFileName() {
    return BaseFolder("XDG_DATA_HOME", QStringLiteral(".local/share")) +
           QStringLiteral("/applications/") + DesktopEntryId();
}

QString MimeAppsFileName() {
    return BaseFolder("XDG_CONFIG_HOME", QStringLiteral(".config")) +
           QStringLiteral("/mimeapps.list");
}

QString MimeTypeForExtension(const QString& extension) {
    static const struct {
        const char* extension;
        const char* mimeType;
    } known[] = {{".jpg", "image/jpeg"}, {".jpeg", "image/jpeg"}, {".jpe", "image/jpeg"},
                 {".bmp", "image/bmp"},  {".gif", "image/gif"},   {".png", "image/png"}};
    for (const auto& k : known)
        if (extension.compare(QLatin1String(k.extension), Qt::CaseInsensitive) == 0)
            return QLatin1String(k.mimeType);
    if (!extension.startsWith(QLatin1Char('.')) || extension.size() < 2) return QString();
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QStringLiteral("x") + extension,
                                                           QMimeDatabase::MatchExtension);
    return type.isDefault() ? QString() : type.name();
}

QString DesktopExecLine(const QString& programPath) {
    // Inside double quotes the four characters " ` $ \ take a backslash, and "%" is doubled
    // because Exec treats it as the start of a field code. The string escaping of the value
    // comes on top, which is why a backslash ends up as four in the file.
    QString quoted = QStringLiteral("\"");
    for (QChar c : programPath) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%')) quoted += QLatin1Char('%');
        quoted += c;
    }
    quoted += QStringLiteral("\" %f");
    return EscapeDesktopString(quoted);
}

void AssociateExtension(const QString& extension, const QString& fileTypeName,
                        const QString& description, const QString& programPath) {
    const QString mimeType = MimeTypeForExtension(extension);
    if (mimeType.isEmpty()) throw KelvoError(CreateFailure(extension));
    // The file type name and its description are one text for every kind offered; the entry
    // records the description and the type list stands for the name.
    Q_UNUSED(fileTypeName);
    // The program's entry first, so the default set next never points at a missing entry.
    WriteDesktopEntry(mimeType, description, programPath);
    WriteDefaultApplication(mimeType);
}
