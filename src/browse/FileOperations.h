#pragma once
// The file system operations behind "Del", "Del + Next" and "Rename + Next", and the questions
// the stepping commands ask about files. The operations return their outcome and, when asked,
// the reason (an errno) instead of reporting it; the commands compose the message.

#include <QString>

// Moves the file at from to the path to, never replacing anything that already exists there.
// A file moved to another file system is copied (contents, mode and times) and then removed.
// The same path on both sides is a success that changes nothing. On a file system that does not
// tell case apart, a change of case only gives the file its new spelling.
bool RenameWithoutReplacing(const QString& from, const QString& to, int* errorNumber = nullptr);

// Moves the file (or link) to the user's trash, and deletes it for good only where the trash
// cannot take it. Returns whether the file is gone from its place. Directories are refused.
bool MoveToTrashOrDelete(const QString& path, int* errorNumber = nullptr);

// "Cannot delete file "<path>". <reason>" and "Cannot rename file "<from>" to "<to>". <reason>",
// with absolute paths.
QString CannotDeleteFileMessage(const QString& path, int errorNumber);
QString CannotRenameFileMessage(const QString& from, const QString& to, int errorNumber);

// Nothing is there under the name any more (deleted, renamed away); a link that leads nowhere
// counts as gone. A file that is there but cannot be read is not gone.
bool FileIsGone(const QString& path);

// Both names lead to one file: the same path, however spelt, or one file reached through a
// link or a hard link. An empty name is no file.
bool SameFile(const QString& a, const QString& b);
