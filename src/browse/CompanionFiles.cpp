#include "browse/CompanionFiles.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cerrno>
#include <utility>
#include <vector>

#include "browse/FileOperations.h"
#include "image/ImageFileTypes.h"

namespace {

QString FolderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QStringLiteral(".") : path.left(slash == 0 ? 1 : slash);
}

QString NameOf(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// The name up to its last "."; the whole name when it has none.
QString BaseOf(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

bool IsXmp(const QString& ending) {
    return ending.compare(QLatin1String(".xmp"), Qt::CaseInsensitive) == 0;
}

// What follows the shared base name of a companion: ".CR2", ".xmp", ".CR2.xmp", ".JPG.xmp".
bool IsCompanionSuffix(const QString& suffix, const QString& pictureEnding) {
    if (HasRawEnding(suffix) && suffix.count(QLatin1Char('.')) == 1) return true;
    if (IsXmp(suffix)) return true;
    if (!suffix.endsWith(QLatin1String(".xmp"), Qt::CaseInsensitive)) return false;
    const QString inner = suffix.left(suffix.size() - 4);
    return inner.count(QLatin1Char('.')) == 1 &&
           (HasRawEnding(inner) || inner.compare(pictureEnding, Qt::CaseInsensitive) == 0);
}

bool NameTaken(const QString& path) {
    struct stat status {};
    return lstat(QFile::encodeName(path).constData(), &status) == 0;
}

}  // namespace

QStringList CompanionFiles(const QString& picture) {
    if (picture.isEmpty()) return {};
    const QString name = NameOf(picture);
    const QString base = BaseOf(name);
    if (base.isEmpty() || base == name) return {};
    const QString ending = name.mid(base.size());
    const QString folder = FolderOf(picture);
    QStringList companions;
    const QStringList entries =
        QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& entry : entries) {
        if (entry == name || entry.size() <= base.size() ||
            !entry.startsWith(base, Qt::CaseInsensitive) || entry[base.size()] != QLatin1Char('.'))
            continue;
        if (IsCompanionSuffix(entry.mid(base.size()), ending))
            companions.append(picture.left(picture.size() - name.size()) + entry);
    }
    return companions;
}

QStringList OneEntryPerRawJpegPair(const QStringList& paths) {
    QSet<QString> jpegBases;
    for (const QString& path : paths)
        if (ImageFileTypeOfEnding(path) == TImageFileType::Jpeg)
            jpegBases.insert(BaseOf(path).toCaseFolded());
    if (jpegBases.isEmpty()) return paths;
    QStringList kept;
    kept.reserve(paths.size());
    for (const QString& path : paths)
        if (!HasRawEnding(path) || !jpegBases.contains(BaseOf(path).toCaseFolded()))
            kept.append(path);
    return kept;
}

QString CompanionClause(const QStringList& companions) {
    if (companions.isEmpty()) return {};
    QStringList names;
    for (const QString& companion : companions)
        names.append(NameOf(companion));
    return QStringLiteral(" (and ") + names.join(QStringLiteral(", ")) + QLatin1Char(')');
}

QStringList TrashCompanions(const QStringList& companions) {
    QStringList failures;
    for (const QString& companion : companions) {
        int error = 0;
        if (!MoveToTrashOrDelete(companion, &error))
            failures.append(CannotDeleteFileMessage(companion, error));
    }
    return failures;
}

QString CompanionTarget(const QString& picture, const QString& companion, const QString& target) {
    const QString suffix = NameOf(companion).mid(BaseOf(NameOf(picture)).size());
    const QString targetName = NameOf(target);
    const qsizetype dot = targetName.lastIndexOf(QLatin1Char('.'));
    const QString targetBase = dot < 0 ? target : target.left(target.size() - targetName.size() + dot);
    return targetBase + suffix;
}

std::optional<QString> RenameWithCompanions(const QString& picture, const QString& target,
                                            const QStringList& companions) {
    std::vector<std::pair<QString, QString>> moves = {{picture, target}};
    for (const QString& companion : companions)
        moves.emplace_back(companion, CompanionTarget(picture, companion, target));
    // A name that is taken refuses the whole rename before anything moves, so a pair is never
    // left with half its files under the new name. The file itself (a change of case) is no
    // other file.
    for (const auto& [from, to] : moves)
        if (to != from && NameTaken(to) && !SameFile(from, to))
            return CannotRenameFileMessage(from, to, EEXIST);
    for (std::size_t i = 0; i < moves.size(); ++i) {
        int error = 0;
        if (RenameWithoutReplacing(moves[i].first, moves[i].second, &error)) continue;
        QString message = CannotRenameFileMessage(moves[i].first, moves[i].second, error);
        // Back to the names they had, so the photograph's files stay together.
        for (std::size_t j = i; j-- > 0;) {
            int backError = 0;
            if (!RenameWithoutReplacing(moves[j].second, moves[j].first, &backError))
                message += QLatin1Char('\n') +
                           CannotRenameFileMessage(moves[j].second, moves[j].first, backError);
        }
        return message;
    }
    return std::nullopt;
}
