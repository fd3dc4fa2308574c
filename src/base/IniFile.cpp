#include "base/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <cmath>
#include <optional>

#include "base/KelvoError.h"
#include "base/KelvoUtils.h"
#include "base/WholeFile.h"

namespace {

constexpr qsizetype MaxValueLength = 2047;
const QByteArray Utf8Bom("\xEF\xBB\xBF");

// One physical line of the file: its bytes without the terminator, and the terminator
// ("\n", "\r\n" or nothing for an unterminated last line) kept apart so untouched lines can be
// written back exactly as they were read.
struct TIniLine {
    QByteArray Text;
    QByteArray Ending;
};

struct TIniContent {
    QByteArray Bom;
    QList<TIniLine> Lines;
};

TIniContent SplitLines(QByteArray data) {
    TIniContent content;
    if (data.startsWith(Utf8Bom)) {
        content.Bom = Utf8Bom;
        data.remove(0, Utf8Bom.size());
    }
    qsizetype start = 0;
    while (start < data.size()) {
        const qsizetype newline = data.indexOf('\n', start);
        TIniLine line;
        if (newline < 0) {
            line.Text = data.mid(start);
            start = data.size();
        } else {
            qsizetype end = newline;
            if (end > start && data[end - 1] == '\r') --end;
            line.Text = data.mid(start, end - start);
            line.Ending = data.mid(end, newline + 1 - end);
            start = newline + 1;
        }
        content.Lines.append(line);
    }
    return content;
}

// The section named by a "[name]" line, or nothing for any other line.
std::optional<QString> SectionOf(const QByteArray& line) {
    const QString text = QString::fromUtf8(line).trimmed();
    if (!text.startsWith(QLatin1Char('['))) return std::nullopt;
    const qsizetype close = text.indexOf(QLatin1Char(']'));
    if (close < 0) return std::nullopt;
    return text.mid(1, close - 1).trimmed();
}

// Position just after the first "=" of a key line, or -1 when the line holds no key.
qsizetype ValueStart(const QByteArray& line) {
    const qsizetype equals = line.indexOf('=');
    return equals < 0 ? -1 : equals + 1;
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a key lives: the index of its section header (or -1), the index of the key's own line
// (or -1), and the index after which a new key of that section belongs.
struct TKeyPosition {
    qsizetype SectionLine = -1;
    qsizetype KeyLine = -1;
    qsizetype LastContentLine = -1;
};

TKeyPosition FindKey(const TIniContent& content, const QString& section, const QString& key) {
    TKeyPosition position;
    const QString wantedSection = section.trimmed();
    const QString wantedKey = key.trimmed();
    bool inSection = false;
    for (qsizetype i = 0; i < content.Lines.size(); ++i) {
        const QByteArray& line = content.Lines[i].Text;
        if (const auto name = SectionOf(line)) {
            // The first section of the name is the one that counts, as is the first matching key.
            if (inSection) break;
            if (position.SectionLine < 0 && SameName(*name, wantedSection)) {
                inSection = true;
                position.SectionLine = i;
                position.LastContentLine = i;
            }
            continue;
        }
        if (!inSection) continue;
        if (!QString::fromUtf8(line).trimmed().isEmpty()) position.LastContentLine = i;
        const qsizetype valueStart = ValueStart(line);
        if (valueStart < 0) continue;
        const QString name = QString::fromUtf8(line.left(valueStart - 1)).trimmed();
        if (SameName(name, wantedKey)) {
            position.KeyLine = i;
            break;
        }
    }
    return position;
}

std::optional<QString> ReadValue(const QString& fileName, const QString& section,
                                 const QString& key) {
    QByteArray data;
    try {
        data = ReadWholeFile(fileName);
    } catch (const KelvoError&) {
        return std::nullopt;  // an unreadable settings file reads as an empty one
    }
    const TIniContent content = SplitLines(data);
    const TKeyPosition position = FindKey(content, section, key);
    if (position.KeyLine < 0) return std::nullopt;
    const QByteArray& line = content.Lines[position.KeyLine].Text;
    QString value = QString::fromUtf8(line.mid(ValueStart(line))).trimmed();
    if (value.size() > MaxValueLength) {
        qsizetype length = MaxValueLength;
        // Never hand out half of a surrogate pair.
        if (value[length - 1].isHighSurrogate()) --length;
        value.truncate(length);
    }
    return value;
}

// The user's number format, without thousands separators either way so that a value written
// can always be read back.
QLocale NumberLocale() {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

bool HasLineBreak(const QString& text) {
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

}  // namespace

TIniFile::TIniFile(QString fileName) : FFileName(std::move(fileName)) {}

QString TIniFile::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const {
    return ReadValue(FFileName, section, key).value_or(defaultValue);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    const std::optional<QString> text = ReadValue(FFileName, section, key);
    if (!text || text->isEmpty()) return defaultValue;
    try {
        return StrToInt(*text);
    } catch (const KelvoError&) {
        return defaultValue;
    }
}

double TIniFile::ReadFloat(const QString& section, const QString& key, double defaultValue) const {
    const std::optional<QString> text = ReadValue(FFileName, section, key);
    if (!text || text->isEmpty()) return defaultValue;
    bool ok = false;
    const double value = NumberLocale().toDouble(*text, &ok);
    // "inf" and "nan" convert but are no factor anyone wrote; treat them as unreadable.
    if (!ok || !std::isfinite(value)) return defaultValue;
    return value;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QString fullName = QFileInfo(FFileName).absoluteFilePath();
    const KelvoError failure(QStringLiteral("Unable to write to ") + fullName);
    // A line break would smuggle further lines (even whole sections) into the file, and a
    // bracket or "=" in a name would make it unreadable; such writes are refused outright.
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
        section.contains(QLatin1Char(']')) || key.contains(QLatin1Char('=')) ||
        key.trimmed().startsWith(QLatin1Char('[')))
        throw failure;

    // A missing file (or a link to one) is written from nothing; a file that exists but cannot
    // be read, such as a folder, is never replaced by one that lost its other lines.
    TIniContent content;
    if (QFileInfo::exists(FFileName)) {
        try {
            content = SplitLines(ReadWholeFile(FFileName));
        } catch (const KelvoError&) {
            throw failure;
        }
    }

    QByteArray newline("\n");
    for (const TIniLine& line : content.Lines) {
        if (line.Ending == "\r\n") {
            newline = "\r\n";
            break;
        }
        if (line.Ending == "\n") break;
    }
    const QByteArray valueBytes = value.toUtf8();
    const QByteArray keyLine = key.trimmed().toUtf8() + '=' + valueBytes;

    const TKeyPosition position = FindKey(content, section, key);
    if (position.KeyLine >= 0) {
        QByteArray& text = content.Lines[position.KeyLine].Text;
        // Keep the key's own spelling and any blank before the value; replace only the value.
        const qsizetype start = ValueStart(text);
        qsizetype valueOffset = start;
        while (valueOffset < text.size() && (text[valueOffset] == ' ' || text[valueOffset] == '\t'))
            ++valueOffset;
        text = text.left(valueOffset) + valueBytes;
    } else {
        // An unterminated last line gets its terminator only when something is written after
        // it; a key inserted earlier in the file leaves it byte for byte as it was.
        if (position.SectionLine >= 0) {
            TIniLine& after = content.Lines[position.LastContentLine];
            if (after.Ending.isEmpty()) after.Ending = newline;
            content.Lines.insert(position.LastContentLine + 1, TIniLine{keyLine, newline});
        } else {
            if (!content.Lines.isEmpty() && content.Lines.last().Ending.isEmpty())
                content.Lines.last().Ending = newline;
            content.Lines.append(TIniLine{'[' + section.trimmed().toUtf8() + ']', newline});
            content.Lines.append(TIniLine{keyLine, newline});
        }
    }

    QByteArray data = content.Bom;
    for (const TIniLine& line : content.Lines)
        data += line.Text + line.Ending;

    try {
        ReplaceWholeFile(FFileName, data);
    } catch (const KelvoError&) {
        throw failure;
    }
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteFloat(const QString& section, const QString& key, double value) {
    WriteString(section, key, NumberLocale().toString(value, 'g', 15));
}

bool ReadYesNo(const TIniFile& file, const QString& section, const QString& key,
               bool defaultValue) {
    const QString text =
        file.ReadString(section, key, defaultValue ? QStringLiteral("Yes") : QStringLiteral("No"));
    return text == QLatin1String("Yes");
}

void WriteYesNo(TIniFile& file, const QString& section, const QString& key, bool value) {
    file.WriteString(section, key, value ? QStringLiteral("Yes") : QStringLiteral("No"));
}

bool ReadYN(const TIniFile& file, const QString& section, const QString& key, bool defaultValue) {
    const QString text =
        file.ReadString(section, key, defaultValue ? QStringLiteral("Y") : QStringLiteral("N"));
    return text == QLatin1String("Y");
}

void WriteYN(TIniFile& file, const QString& section, const QString& key, bool value) {
    file.WriteString(section, key, value ? QStringLiteral("Y") : QStringLiteral("N"));
}

namespace {

QString ConfigHome() {
    const QString configHome =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    // Qt passes a relative XDG_CONFIG_HOME through; the base-directory rules say to ignore it.
    if (configHome.isEmpty() || QDir::isRelativePath(configHome))
        return QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(configHome);
}

bool IsThere(const QString& fileName) {
    const QFileInfo info(fileName);
    return info.exists() || info.isSymLink();
}

// A settings file in the user's own folder, made on first use. An earlier version kept it at
// `legacy`; that file is copied (never moved, so a copy of the older version still running
// keeps its settings too) the first time the new name is asked for.
QString OwnSettingsFile(const QString& name, const QString& legacy) {
    const QString folder = ConfigHome() + QStringLiteral("/KelvoImage");
    const QString fileName = folder + QLatin1Char('/') + name;
    QDir().mkpath(folder);
    if (!IsThere(fileName) && QFileInfo(legacy).isFile()) QFile::copy(legacy, fileName);
    return fileName;
}

}  // namespace

QString MainSettingsFileName(const QString& exeDir) {
    const QString chosen = qEnvironmentVariable("KELVO_EXE_DIR");
    if (!chosen.isEmpty()) return QDir(chosen).filePath(QStringLiteral("KelvoImage.Ini"));
    // A settings file beside the program makes it a portable copy, which keeps everything in
    // its own folder; an installed program never writes beside itself.
    const QString beside = exeDir + QStringLiteral("KelvoImage.Ini");
    if (IsThere(beside)) return beside;
    return OwnSettingsFile(QStringLiteral("KelvoImage.Ini"),
                           ConfigHome() + QStringLiteral("/kelvoimage/KelvoImage.Ini"));
}

QString SliderSettingsFileName() {
    return OwnSettingsFile(QStringLiteral("Sliders.Ini"),
                           ConfigHome() + QStringLiteral("/KelvoImage.Ini"));
}
