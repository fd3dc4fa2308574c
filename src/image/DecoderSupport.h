#pragma once
// Pieces shared by the file decoders: opening the input file with the platform's error message,
// and refusing a declared picture size before any pixel memory is taken.

#include <QString>
#include <cstdint>
#include <cstdio>
#include <memory>

class TImageInputFile {
  public:
    // Throws KelvoError(CannotOpenFileMessage(...)) for a missing, unreadable or empty name, and
    // for anything but a regular file (or a link to one): a folder, which stdio would happily
    // open and then fail to read, and a FIFO or device, which could block forever. The open
    // itself never waits for a writer.
    explicit TImageInputFile(const QString& fileName);
    ~TImageInputFile();
    TImageInputFile(const TImageInputFile&) = delete;
    TImageInputFile& operator=(const TImageInputFile&) = delete;

    std::FILE* Handle() const noexcept { return FHandle; }
    std::int64_t Size() const noexcept { return FSize; }

  private:
    std::unique_ptr<char[]> FBuffer;  // outlives the handle, which the destructor closes
    std::FILE* FHandle = nullptr;
    std::int64_t FSize = 0;
};

// How much memory one picture may take, by the size of its file: 256 MB whatever the file, and
// beyond that 10,000 bytes per byte of file. Real pictures never come near that ratio (their
// compressed pixel data stays under about 2,000 : 1); a tiny file declaring a huge picture does.
std::int64_t DecodeMemoryBound(std::int64_t fileSize);

// Throws the raster's own allocation failure when a header declares more pixels than a raster
// may hold, or a raster larger than DecodeMemoryBound(fileSize), so that neither the codec nor
// the raster reserves memory for a lying header.
void CheckDeclaredSize(std::int64_t width, std::int64_t height, std::int64_t fileSize);

// Pictures up to this many raster bytes are decoded whatever their data looks like, so that a
// damaged small file still shows what it holds; above it, a decoder that can tell how little
// its file can fill refuses the picture before any pixel memory (a decompression bomb).
inline constexpr std::int64_t kAlwaysDecodedRasterBytes = std::int64_t(16) << 20;
