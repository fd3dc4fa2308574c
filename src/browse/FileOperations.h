#pragma once
// The file system operations behind "Del", "Del + Next" and "Rename + Next". Both return their
// outcome instead of reporting it: the commands ignore failures, but a caller may need to know.

#include <QString>

// Moves the file at from to the path to, never replacing anything that already exists there.
// A file moved to another file system is copied (contents, mode and times) and then removed.
// The same path on both sides is a success that changes nothing. On a file system that does not
// tell case apart, a change of case only gives the file its new spelling.
bool RenameWithoutReplacing(const QString& from, const QString& to);

// Moves the file (or link) to the user's trash, and deletes it for good only where the trash
// cannot take it. Returns whether the file is gone from its place. Directories are refused.
bool MoveToTrashOrDelete(const QString& path);
