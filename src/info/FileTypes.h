#pragma once
// Making the program the desktop's opener of image files. On a freedesktop.org desktop the
// association is recorded in the user's own folders:
// - the extension's MIME type is the shared MIME database's (image/jpeg for .jpg .jpeg .jpe,
//   image/bmp, image/gif, image/png); nothing is added to the database;
// - the program's desktop entry $XDG_DATA_HOME/applications/kelvoimage.desktop holds the file
//   type names (as its Comment), the open command (Exec) and every MIME type registered so far;
// - $XDG_CONFIG_HOME/mimeapps.list names that entry first under [Default Applications] for the
//   MIME type, keeping the applications listed before it as fallbacks and every other line.

#include <QList>
#include <QString>
#include <QStringList>

// One kind of image offered for registration, in the order the questions are asked.
struct TFileTypeKind {
    QString Question;
    QStringList Extensions;
    QString FileTypeName;
    QString Description;
};
const QList<TFileTypeKind>& FileTypeKinds();

// "File-Type " + extension + " associated with" CR LF + program path + CR LF.
QString AssociationConfirmation(const QString& extension, const QString& programPath);

QString DesktopEntryId();  // "kelvoimage.desktop"
QString DesktopEntryFileName();
QString MimeAppsFileName();
// The MIME type of an extension given with its leading "."; empty when none is known.
QString MimeTypeForExtension(const QString& extension);
// The Exec value that runs the program with one file: the path quoted and escaped so that any
// folder name (spaces, quotes, "$", "`", "\", "%") comes back unchanged, then %f.
QString DesktopExecLine(const QString& programPath);

// Records that files with the extension open with the program. Throws KelvoError
// "Failed to create key " + path when a folder or a new file cannot be created, and
// "Failed to set data for '" + path + "'" when an existing file cannot be rewritten; whatever
// was written before the failure stays. The confirmation message is the caller's to show.
void AssociateExtension(const QString& extension, const QString& fileTypeName,
                        const QString& description, const QString& programPath);
