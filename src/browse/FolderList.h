#pragma once
// The ordered list of a folder's image files that "Next", "Prev", the file actions and the
// slideshow step through. The folder chooser and the list fields live with the main window;
// this is the enumeration, filtering and ordering underneath them.

#include <QString>
#include <QStringList>
#include <cstdint>

// ByDateTaken: by the camera's capture time (EXIF DateTimeOriginal and its sub-seconds), the
// files without one by their two-second modification step as ByDate has it, on the same local
// scale, and then by name.
enum class TFolderOrder { ByName, ByDate, ByDateTaken };

// Full paths of the folder's collected files (a name holding ".JPG", ".GIF" or ".BMP", or ending
// in any other JPEG or TIFF spelling, HEIF/AVIF, WebP or a camera RAW ending; a RAW file whose
// JPEG partner is collected is left to it), sorted by name, or by last-write time (two-second
// steps, oldest first) and then by name, or by date taken and then by name. Names compare case-insensitively in the user's
// collation. Sub-folders, links to folders and other non-regular entries are left out, hidden
// files are not. A folder that cannot be read gives an empty list.
QStringList CollectFolderImages(const QString& folder, TFolderOrder order);

// Capture dates are read once per file and session: a file is read again only when its size or
// modification time has changed. For tests.
void ForgetCaptureDates();

// Stepping passes over entries whose files are gone (deleted, or renamed by other means): the
// list keeps them at their places, so positions and counts stay as they were. The first
// position at or after from whose file is there, or the list's size when there is none.
qsizetype FirstPresentFrom(const QStringList& list, qsizetype from);
// The last position at or before from whose file is there, or -1 when there is none. A position
// at or past the list's end is returned as it is.
qsizetype LastPresentUpTo(const QStringList& list, qsizetype from);

// Whether the path, in upper case, contains ".JPG", ".GIF" or ".BMP" anywhere.
bool HasImageNameSubstring(const QString& path);

// "YYYY-MM-DD HH:MM:SS" of the time in the local time zone, with the seconds rounded down to
// an even number. Times whose local year falls outside 0000..9999 are clamped to the first or
// the last two-second step of that range.
QString FolderDateKey(std::int64_t secondsSinceEpoch);
