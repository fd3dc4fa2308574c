#pragma once
// Making the program the desktop's opener of image files. On a freedesktop.org desktop the
// association is a desktop entry named as the default for the extension's MIME type (the shared
// MIME database's: image/jpeg for .jpg .jpeg .jpe, image/bmp, image/gif, image/png; nothing is
// added to the database, whose own descriptions name the types).
// - An installed program (its desktop entry at ../share/applications/org.kelvoimage.viewer.desktop
//   from the program's folder) is registered with `xdg-mime default` for that entry, which is
//   left as installed.
// - Any other copy (a build folder, a copy run from its own folder) writes a user entry of its
//   own, $XDG_DATA_HOME/applications/kelvoimage-portable.desktop: the installed entry with the
//   copy's path in Exec and TryExec and its icon file, and names it first under [Default
//   Applications] in $XDG_CONFIG_HOME/mimeapps.list, keeping the applications listed before it
//   as fallbacks and every other line.

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

// The AppStream id's desktop entry, as installed ("org.kelvoimage.viewer.desktop").
QString InstalledDesktopEntryId();
// The installed desktop entry that belongs to the program at programPath; empty when there is
// none (the program is not installed).
QString InstalledDesktopEntryFor(const QString& programPath);
// The entry a copy that is not installed writes for itself ("kelvoimage-portable.desktop").
QString DesktopEntryId();
QString DesktopEntryFileName();
QString MimeAppsFileName();
// The text of the entry a copy that is not installed writes for the program at programPath.
QByteArray PortableDesktopEntry(const QString& programPath);
// The MIME type of an extension given with its leading "."; empty when none is known.
QString MimeTypeForExtension(const QString& extension);
// The Exec value that runs the program with one file: a plain path as it is, any other quoted
// and escaped so that any folder name (spaces, quotes, "$", "`", "\", "%") comes back unchanged;
// then %f.
QString DesktopExecLine(const QString& programPath);

// Records that files with the extension open with the program. For a copy that is not installed
// it throws KelvoError "Failed to create key " + path when a folder or a new file cannot be
// created, and "Failed to set data for '" + path + "'" when an existing file cannot be
// rewritten; whatever was written before the failure stays. For an installed program it throws
// when xdg-mime cannot be run or reports a failure, with what xdg-mime said. The confirmation
// message is the caller's to show.
void AssociateExtension(const QString& extension, const QString& fileTypeName,
                        const QString& description, const QString& programPath);
