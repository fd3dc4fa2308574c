#pragma once
// A camera's RAW+JPEG pairs and the editors' .xmp sidecars belong to one photograph: the folder
// list shows the pair once, and deleting or renaming a picture takes its companions along.

#include <QString>
#include <QStringList>
#include <optional>

// The files beside the picture that travel with it: in the same folder, with the same base name
// (the name up to its last ".", compared without regard to case) and a camera RAW ending or
// ".xmp" (also after the picture's own or a RAW ending, as "IMG_0001.CR2.xmp"), any letter
// case, the picture itself left out. Sorted by name; empty when the folder cannot be read.
QStringList CompanionFiles(const QString& picture);

// The list with each RAW file left out whose JPEG partner (same folder, same base name, a JPEG
// ending) is in the list too: the JPEG stands for the pair. Order is kept.
QStringList OneEntryPerRawJpegPair(const QStringList& paths);

// " (and IMG_0001.CR2, IMG_0001.xmp)" naming the companions, or "" when there are none: what a
// delete question adds after the picture's name.
QString CompanionClause(const QStringList& companions);

// Moves each companion to the trash; the messages of those that could not be moved, in order.
QStringList TrashCompanions(const QStringList& companions);

// Where a companion goes when its picture is renamed from picture to target: the target's base
// name with the companion's own ending, in the target's folder.
QString CompanionTarget(const QString& picture, const QString& companion, const QString& target);

// Renames the picture to target and its companions alike, never replacing a file. When any of
// the new names is taken, nothing is renamed and the message says which. When a rename fails
// part-way, the ones already made are taken back and the message says what failed; a file that
// cannot be taken back is named in the message too. Nothing when everything was renamed.
std::optional<QString> RenameWithCompanions(const QString& picture, const QString& target,
                                            const QStringList& companions);
