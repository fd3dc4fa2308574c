#pragma once
// The one table of the picture files the program reads: which decoder a file goes to, by its
// first bytes and by the ending of its name. The loader, the folder lists, the read-ahead and
// the command line all ask here, so a file is the same kind of picture everywhere.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>

enum class TImageFileType { Gif, Bmp, Png, Tiff, Jpeg, Heif, Webp, Raw };

// The decoder chosen by the end of the name, case-insensitive, first match wins: .GIF, .BMP,
// .PNG, .TIF/.TIFF, then .HEIC/.HEIF/.HIF/.AVIF, .WEBP and the camera RAW endings; anything
// else JPEG.
TImageFileType ImageFileTypeOf(const QString& fileName);

// The kind of picture the first bytes of a file announce, or nothing when they announce none
// the program reads (a damaged or foreign file, or fewer bytes than any signature). TIFF-based
// camera files (CR2, NEF, DNG, ...) announce a plain TIFF; only the RAW kinds with signatures of
// their own (CR3, ORF, RW2, RAF) come out as Raw.
std::optional<TImageFileType> ImageFileTypeOfContent(const std::uint8_t* head, std::size_t size);

// How many first bytes ImageFileTypeOfContent needs at most.
inline constexpr std::size_t kImageSignatureBytes = 32;

// The decoder for a file: its content decides when its first bytes say which kind it is (a PNG
// named .jpg is read as a PNG, a HEIC named .jpg as a HEIC), its ending otherwise, so a damaged
// file still gets its format's own message. A TIFF structure under a RAW ending stays RAW. A
// file that cannot be read, or is not a regular file, is judged by its ending alone, and its
// decoder then reports why it cannot be opened.
TImageFileType ImageDecoderOf(const QString& fileName);

// The type the ending names explicitly (.JPG, .JPEG, .JPE and every ending above), or nothing
// for a name whose ending the table does not know (which ImageFileTypeOf sends to JPEG).
std::optional<TImageFileType> ImageFileTypeOfEnding(const QString& fileName);

// The table's endings of one type as file-dialog patterns, "*.HEIC;*.HEIF;*.HIF;*.AVIF".
QString ImageFilePatterns(TImageFileType type);

// Whether the name ends in a camera RAW ending (.CR2, .NEF, ...), case-insensitive.
bool HasRawEnding(const QString& fileName);
