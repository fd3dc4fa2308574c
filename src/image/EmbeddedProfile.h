#pragma once
// The ICC profile a picture's file embeds, for showing its colours: a JPEG's from the metadata
// its load kept, a PNG's iCCP chunk, a TIFF's ICC tag.

#include <QByteArray>
#include <QString>

#include "image/PhotoMetadata.h"

// Empty for a file without one, another format, or any failure to read it: the picture is then
// shown as it is, which is what a viewer without colour management would show.
QByteArray EmbeddedIccProfile(const QString& fileName, const TKeptMetadata& metadata);
