#pragma once
// A photo's rating and pick mark while culling a card, kept where the common photo tools read
// them: XMP's xmp:Rating (1..5, 0 for none, -1 for rejected) and xmpDM:good for a pick. A JPEG
// carries them in its own XMP segment; every other file gets a sidecar beside it with the same
// base name and ".xmp" (IMG_0001.CR2 -> IMG_0001.xmp), so that a camera original other than a
// JPEG is never rewritten for a star.

#include <QByteArray>
#include <QString>

struct TPhotoRating {
    int Rating = 0;  // -1 rejected, 0 none, 1..5 stars
    bool Picked = false;

    bool operator==(const TPhotoRating&) const = default;
};

// The rating an XMP packet holds; none for an empty or unreadable packet.
TPhotoRating RatingFromXmp(const QByteArray& packet);
// The packet with the rating set and everything else it held kept. Throws KelvoError when the
// packet cannot be read, rather than dropping what it held.
QByteArray XmpWithRating(const QByteArray& packet, TPhotoRating rating);

// Whether the rating goes into the file itself: a JPEG, known by its first bytes.
bool RatingGoesInFile(const QString& fileName);
// The sidecar that holds the rating of a file that does not hold its own.
QString RatingSidecarPath(const QString& fileName);

// The file's rating: from its XMP packet for a JPEG (the packet the load read, passed in, so the
// file is not read twice), from its sidecar otherwise. Never throws: a rating that cannot be
// read shows as none.
TPhotoRating ReadPhotoRating(const QString& fileName, const QByteArray& loadedXmp);

// Writes the rating. A JPEG gets its XMP segment replaced (or added after the leading
// APP0/APP1 segments), every other byte of the file as it was; the file is replaced atomically.
// Returns the JPEG's new XMP packet, or an empty array when the rating went into a sidecar.
// Throws KelvoError with the file's name on failure.
QByteArray WritePhotoRating(const QString& fileName, TPhotoRating rating);

// What the caption shows after the file name: "★★★☆☆", "rejected", with " picked" after a
// pick; empty for an unrated, unpicked photo.
QString RatingCaptionText(TPhotoRating rating);
