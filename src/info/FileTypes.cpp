#include "info/FileTypes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <iterator>

#include "base/IniFile.h"
#include "base/KelvoError.h"
#include "base/WholeFile.h"

namespace {

const QString DefaultApplications = QStringLiteral("Default Applications");

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

void WritePortableEntry(const QString& programPath) {
    const QString fileName = DesktopEntryFileName();
    MakeFolder(QFileInfo(fileName).absolutePath());
    ReplaceFile(fileName, PortableDesktopEntry(programPath));
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

// The installed entry is the desktop's to look after: xdg-mime records the default the way the
// running desktop expects it.
void MakeInstalledEntryDefault(const QString& mimeType) {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    const QString what = InstalledDesktopEntryId() + QStringLiteral(" the default for ") + mimeType;
    if (xdgMime.isEmpty())
        throw KelvoError(QStringLiteral("Cannot make ") + what +
                         QStringLiteral(": xdg-mime (from xdg-utils) is not installed"));
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(xdgMime, {QStringLiteral("default"), InstalledDesktopEntryId(), mimeType});
    // A shell script that edits one small file; a minute means it hangs.
    const bool finished = process.waitForFinished(60000);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString said = QString::fromLocal8Bit(process.readAll()).trimmed();
        throw KelvoError(QStringLiteral("xdg-mime could not make ") + what +
                         (said.isEmpty() ? QString() : QStringLiteral(": ") + said));
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

QString InstalledDesktopEntryId() {
    return QStringLiteral("org.kelvoimage.viewer.desktop");
}

QString InstalledDesktopEntryFor(const QString& programPath) {
    // `cmake --install` puts the program in <prefix>/bin and the entry in
    // <prefix>/share/applications, so an installed program finds its entry from its own folder.
    const QString entry =
        QDir::cleanPath(QFileInfo(programPath).absolutePath() +
                        QStringLiteral("/../share/applications/") + InstalledDesktopEntryId());
    return QFileInfo(entry).isFile() ? entry : QString();
}

QString DesktopEntryId() {
    return QStringLiteral("kelvoimage-portable.desktop");
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
    // A plain path goes in as it is: xdg-mime's own check of a default application reads the
    // Exec value's first word without undoing quotes, and would pass a quoted path over.
    static const QString reserved = QStringLiteral(" \t\n\r\"'\\><~|&;$*?#()`%=");
    if (std::none_of(programPath.begin(), programPath.end(),
                     [](QChar c) { return reserved.contains(c) || c.unicode() < 0x20; }))
        return programPath + QStringLiteral(" %f");
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

QByteArray PortableDesktopEntry(const QString& programPath) {
    // The installed entry, compiled in, is the pattern: the two entries never drift apart.
    QFile pattern(QStringLiteral(":/desktop/") + InstalledDesktopEntryId());
    if (!pattern.open(QIODevice::ReadOnly))
        throw KelvoError(QStringLiteral("The desktop entry's pattern is missing from the program"));
    const QString iconFile =
        QFileInfo(programPath).absolutePath() + QStringLiteral("/org.kelvoimage.viewer.svg");
    QByteArray entry;
    for (const QByteArray& line : pattern.readAll().split('\n')) {
        if (line.isEmpty()) continue;
        if (line.startsWith("Exec="))
            entry += "Exec=" + DesktopExecLine(programPath).toUtf8();
        else if (line.startsWith("TryExec="))
            entry += "TryExec=" + EscapeDesktopString(programPath).toUtf8();
        else if (line.startsWith("Icon=") && QFileInfo(iconFile).isFile())
            entry += "Icon=" + EscapeDesktopString(iconFile).toUtf8();
        else
            entry += line;
        entry += '\n';
    }
    return entry;
}

void AssociateExtension(const QString& extension, const QString& fileTypeName,
                        const QString& description, const QString& programPath) {
    const QString mimeType = MimeTypeForExtension(extension);
    if (mimeType.isEmpty()) throw KelvoError(CreateFailure(extension));
    // The MIME database describes each type in the user's language; the entry names the types.
    Q_UNUSED(fileTypeName);
    Q_UNUSED(description);
    if (!InstalledDesktopEntryFor(programPath).isEmpty()) {
        MakeInstalledEntryDefault(mimeType);
        return;
    }
    // The program's entry first, so the default set next never points at a missing entry.
    WritePortableEntry(programPath);
    WriteDefaultApplication(mimeType);
}
