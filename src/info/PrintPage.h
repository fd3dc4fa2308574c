#pragma once
// Printing the image on one page: as large as the page allows, from the top-left corner of the
// printable area, turned a quarter when picture and page lie in different directions.

#include "image/Bitmap32.h"

class QPageLayout;
class QPageSize;
class QPagedPaintDevice;
class QString;

// Where the picture goes: turned a quarter clockwise or not, and its size in device pixels,
// its corner being the printable area's top-left.
struct TPrintLayout {
    bool Turned = false;
    int Width = 0;
    int Height = 0;
    bool operator==(const TPrintLayout&) const = default;
};

// The layout of a width x height picture on a printable area of printableHeight x
// printableWidth device pixels, measured in the orientation chosen for the page. The picture
// fills the printable height; where that would make it wider than the page it fills the width
// instead. The page itself is printed upright, so when the measures are those of a page lying
// on its side, the width it offers is the shorter side. A zero size on either side gives an
// empty layout.
TPrintLayout PrintLayout(int width, int height, int printableHeight, int printableWidth);

// Prints the image on one page of the device: measures the printable area as the device was
// set up, sets the page upright, then draws an opaque (and, as the layout says, turned) copy
// of the image into the layout's rectangle and ends the document. The image is not changed.
// Throws KelvoError when the device cannot take the page.
TPrintLayout PrintImage(QPagedPaintDevice& device, const TBitmap32& image);

// Writes the page PrintImage prints on a printer of this page layout (its orientation being
// the one chosen for the measures) and resolution into a PDF file. The file is written through
// TAtomicFile, so a failure (a full disk, a target the user may not write, anything but a
// regular file) throws KelvoError with the save's message and leaves an existing file as it
// was. An empty image throws and writes nothing.
void WritePdfPage(const QString& fileName, const TBitmap32& image, const QPageLayout& pageLayout,
                  int resolution);
// The same on the page of a printer writing PDF: 1200 dots per inch, margins of 10 points on
// every side, upright.
void WritePdfPage(const QString& fileName, const TBitmap32& image, const QPageSize& pageSize);
