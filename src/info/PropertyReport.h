#pragma once
// The extended information report: the TIFF/EXIF tags of an image file turned into labelled
// lines of text. The tags are read from the file's first image directory and its EXIF
// directory (thumbnail, GPS and maker-note directories are never consulted); the picture
// itself is not decoded.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

// TIFF/EXIF field types the report distinguishes.
enum TPropertyType : std::uint16_t {
    ptByte = 1,
    ptAscii = 2,
    ptShort = 3,
    ptLong = 4,
    ptRational = 5,
    ptUndefined = 7,
    ptSLong = 9,
    ptSRational = 10,
};

// One tag as read from the file. Value holds the value bytes in the machine's byte order; its
// size is the item's length in bytes.
struct TPropertyItem {
    std::uint32_t Id = 0;
    std::uint16_t Type = 0;
    QByteArray Value;
};

// One row of the property table: the tag, the text that begins its line, its value list
// ("item|item|..."; null for none) and the decimals of its rational values.
struct TPropertyTag {
    std::uint32_t Id;
    const char* Label;
    const char* ValueList;
    int Decimals;
};

// Every tag the report knows, in table order.
std::span<const TPropertyTag> PropertyTable();
// The row of a tag; null for a tag the report does not know.
const TPropertyTag* FindPropertyTag(std::uint32_t id);

// The items of the first image directory, then those of the EXIF directory, each in the order
// the file lists them; only items of the property table's tags, as no other makes a line.
// Throws KelvoError when the file cannot be opened or is not an image
// the tag reader knows.
std::vector<TPropertyItem> ReadPropertyItems(const QString& fileName);

// Item `index` (from 0) of a "|"-separated value list; empty beyond the last item.
QString PickListItem(const QString& list, int index);

// A number rounded to two significant digits and at most `decimals` decimals (halves away
// from zero), written with the locale's decimal separator: "0.017", "19.0", or from 100 on in
// exponent form with at least `decimals` exponent digits ("1.1E2", "1.2E002").
QString RatioText(double value, int decimals);

// The item's line, label and value text ending with CR LF; empty for a tag the table does not
// know and for an item that holds no value.
QString PropertyLine(const TPropertyItem& item);

// The lines of every item of the file, in order. Throws KelvoError as ReadPropertyItems does.
QString ReadPropertyReport(const QString& fileName);
// The same, empty when the file name is empty or the file cannot be read.
QString PropertyReport(const QString& fileName);

// Every tag the tag reader finds in the file, EXIF, IPTC and XMP, by the tag reader's key
// ("Exif.Image.Make") with its value as the tag reader interprets it ("Canon", "1/60 s"), in
// the file's order; a key met again has its values joined by ", ". Width and Height: the
// picture's size as the file's header gives it, 0 when the tag reader cannot tell.
struct TTagListing {
    int Width = 0;
    int Height = 0;
    std::vector<std::pair<QString, QString>> Tags;
};
// Throws KelvoError when the file cannot be opened; a file the tag reader does not know gives
// an empty listing (the caller decides whether it is a picture).
TTagListing ReadTagListing(const QString& fileName);

// The tag reader's XMP parser must be set up once before tags are read on several threads.
void PrepareTagReaderForThreads();
